#include "platform/fs/XpAbstractFSObj.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/fs/XpSysCalls.h"

XpAbstractFSObj::~XpAbstractFSObj() = default;

XpResult XpAbstractFSObj::SetPath(const XpString& path) {
  path_ = path;
  return kXpOk;
}

XpString XpAbstractFSObj::GetPath() const { return path_; }

XpDateTime XpAbstractFSObj::GetCreationTime() const {
  XpDateTime time;
  return GetTimes(&time, nullptr, nullptr) == kXpOk ? time : XpDateTime();
}

XpDateTime XpAbstractFSObj::GetModificationTime() const {
  XpDateTime time;
  return GetTimes(nullptr, &time, nullptr) == kXpOk ? time : XpDateTime();
}

XpDateTime XpAbstractFSObj::GetAccessTime() const {
  XpDateTime time;
  return GetTimes(nullptr, nullptr, &time) == kXpOk ? time : XpDateTime();
}

XpResult XpAbstractFSObj::SetTimes(const XpDateTime*, const XpDateTime*, const XpDateTime*) {
  return kXpErrNotSupportedByOs;
}

XpResult XpAbstractFSObj::ReadPathTimes(const XpString& path, XpDateTime* created,
                                        XpDateTime* modified, XpDateTime* accessed) {
  struct statx info {};
  const unsigned int wanted = STATX_BASIC_STATS | STATX_BTIME;
  if (path.IsEmpty() ||
      XpSysCalls::Current().Statx(path.ToMultiByte().CStr(), AT_STATX_SYNC_AS_STAT, wanted,
                                  &info) != 0) {
    return kXpErrFileNotFound;
  }
  const bool hasBirth = (info.stx_mask & STATX_BTIME) != 0;
  if (created != nullptr) {
    *created = XpDateTime(static_cast<time_t>(hasBirth ? info.stx_btime.tv_sec
                                                       : info.stx_mtime.tv_sec));
  }
  if (modified != nullptr) {
    *modified = XpDateTime(static_cast<time_t>(info.stx_mtime.tv_sec));
  }
  if (accessed != nullptr) {
    *accessed = XpDateTime(static_cast<time_t>(info.stx_atime.tv_sec));
  }
  return kXpOk;
}
