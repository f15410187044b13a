#include "setup/config/XpFileAvailableChecker.h"

#include "platform/sync/XpSingleLock.h"

XpFileAvailableChecker::XpFileAvailableChecker() = default;

XpFileAvailableChecker::~XpFileAvailableChecker() {
  XpSingleLock lock(&queueLock_);
  while (!workers_.empty()) {
    XpThread* worker = workers_.front();
    workers_.pop_front();
    if (worker->IsCurrentThread()) {
      delete worker;
      continue;
    }
    // Join reads the exit code and deletes the thread; the code carries
    // nothing for the checker.
    static_cast<void>(XpThread::Join(worker));
  }
}

bool XpFileAvailableChecker::QueueWorkerForTest(XpThreadFunction function, void* argument) {
  XpThread* worker = XpThread::Create(function, argument);
  if (worker == nullptr) return false;
  XpSingleLock lock(&queueLock_);
  workers_.push_back(worker);
  return true;
}
