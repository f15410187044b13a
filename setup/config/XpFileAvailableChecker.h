#pragma once

#include <deque>
#include <list>

#include "platform/sync/XpCriticalSection.h"
#include "platform/sync/XpManualEvent.h"
#include "platform/text/XpString.h"
#include "platform/thread/XpThread.h"

// A worker that tests files on threads. setup carries its members and its
// destructor only: nothing in setup queues work.
class XpFileAvailableChecker {
 public:
  XpFileAvailableChecker();
  XpFileAvailableChecker(const XpFileAvailableChecker&) = delete;
  XpFileAvailableChecker& operator=(const XpFileAvailableChecker&) = delete;
  // Under the queue's lock, takes every queued worker thread in turn, waits
  // for each one that is not the calling thread and deletes it; a worker
  // that destroys the checker itself is let run on.
  virtual ~XpFileAvailableChecker();

  // For tests: starts function on a new thread and queues it; false when
  // the thread cannot start.
  bool QueueWorkerForTest(XpThreadFunction function, void* argument);

 private:
  XpCriticalSection queueLock_;
  XpCriticalSection listLock_;
  std::deque<XpThread*> workers_;
  XpManualEvent stopEvent_{false};
  std::list<XpString> pendingFiles_;
  std::list<XpString> availableFiles_;
};
