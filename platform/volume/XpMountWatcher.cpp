#include "platform/volume/XpMountWatcher.h"

#include <algorithm>
#include <new>
#include <utility>

#include "platform/path/XpPath.h"
#include "platform/thread/XpThread.h"
#include "platform/volume/XpProcMountTableSource.h"
#include "platform/volume/XpVolumeEnumerator.h"

namespace {

bool Contains(const auto& list, const auto& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

XpString RootOf(const XpString& mountPoint) {
  XpString root = mountPoint;
  XpPathAddTrailingBackslash(root);
  return root;
}

}  // namespace

XpMountWatcher::XpMountWatcher(Listener listener, std::unique_ptr<IXpMountTableSource> source)
    : listener_(std::move(listener)), source_(std::move(source)) {
  if (!source_) source_.reset(new (std::nothrow) XpProcMountTableSource());
}

XpMountWatcher::~XpMountWatcher() {
  (void)Stop();  // a destructor cannot report; the thread ends either way
}

XpResult XpMountWatcher::Start() {
  std::lock_guard<std::mutex> lock(threadMutex_);
  if (thread_ != nullptr) return kXpErrWrongState;
  if (!source_) return kXpErrOutOfMemory;
  if (XpFailed(source_->Open())) return kXpErrSystem;
  volumes_.clear();
  if (!ReadVolumes(&volumes_)) {
    source_->Close();
    return kXpErrSystem;
  }
  thread_ = XpThread::Create(&XpMountWatcher::ThreadEntry, this);
  if (thread_ == nullptr) {
    source_->Close();
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}

XpResult XpMountWatcher::Stop() {
  std::lock_guard<std::mutex> lock(threadMutex_);
  if (thread_ == nullptr) return kXpErrWrongState;
  source_->Interrupt();
  XpThread::Join(thread_);
  thread_ = nullptr;
  source_->Close();
  return kXpOk;
}

bool XpMountWatcher::IsRunning() const {
  std::lock_guard<std::mutex> lock(threadMutex_);
  return thread_ != nullptr;
}

uint32_t XpMountWatcher::GetThreadId() const {
  std::lock_guard<std::mutex> lock(threadMutex_);
  return thread_ != nullptr ? thread_->GetThreadId() : 0;
}

std::vector<XpMountEntry> XpMountWatcher::SelectReadyVolumes(
    const std::vector<XpMountEntry>& mounts) {
  std::vector<XpMountEntry> volumes = XpVolumeEnumerator::SelectVolumes(mounts, false);
  std::erase_if(volumes, [](const XpMountEntry& mount) {
    return !XpIsVolumeReady(mount.mountPoint, false);
  });
  return volumes;
}

uint32_t XpMountWatcher::ThreadEntry(void* argument) {
  return static_cast<XpMountWatcher*>(argument)->Run();
}

uint32_t XpMountWatcher::Run() {
  while (source_->WaitForChange()) {
    std::vector<Mount> now;
    // A table that cannot be read now says nothing about the volumes.
    if (ReadVolumes(&now)) ReportChanges(now);
  }
  return kXpOk;
}

bool XpMountWatcher::ReadVolumes(std::vector<Mount>* volumes) {
  XpMountTable table;
  if (XpFailed(source_->Read(&table))) return false;
  for (const XpMountEntry& entry : SelectReadyVolumes(table.Entries())) {
    volumes->push_back({entry.mountPoint, entry.major, entry.minor});
  }
  return true;
}

void XpMountWatcher::ReportChanges(const std::vector<Mount>& now) {
  const std::vector<Mount> before = std::exchange(volumes_, now);
  if (!listener_) return;
  for (const Mount& mount : before) {
    if (!Contains(now, mount)) listener_(RootOf(mount.mountPoint), false);
  }
  for (const Mount& mount : now) {
    if (!Contains(before, mount)) listener_(RootOf(mount.mountPoint), true);
  }
}
