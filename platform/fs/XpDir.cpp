#include "platform/fs/XpDir.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/fs/XpFile.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr uint32_t kDefaultClusterSize = 4096;

bool IsDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Links and everything else that is not a folder count as files.
bool IsFolderEntry(const dirent& entry, const XpString& folder, const XpString& name) {
  if (entry.d_type != DT_UNKNOWN) {
    return entry.d_type == DT_DIR;
  }
  struct stat info {};
  const XpString path = XpPathJoin(folder, name);
  return XpSysCalls::Current().Lstat(path.ToMultiByte().CStr(), &info) == 0 &&
         S_ISDIR(info.st_mode);
}

}  // namespace

// A running enumeration: the open folder stream and the entry GetNext hands
// out next, unless the folder is exhausted.
struct XpDir::FindState {
  DIR* dir = nullptr;
  XpString name;
  bool isDirectory = false;
  bool exhausted = false;
};

XpDir::XpDir(const XpString& path) {
  (void)SetPath(path);  // taken as given; the enumeration tells what it holds
}

XpDir::~XpDir() {
  (void)EndEnum();  // fails only when no enumeration runs
}

XpString XpDir::GetName() const { return XpPathGetBaseName(path_); }

XpResult XpDir::GetTimes(XpDateTime* created, XpDateTime* modified, XpDateTime* accessed) const {
  return ReadPathTimes(path_, created, modified, accessed);
}

bool XpDir::IsReadOnly() const { return XpFileIsReadOnly(path_); }

bool XpDir::IsHidden() const { return XpFileIsHidden(path_); }

XpResult XpDir::BeginEnum(XpEnumFilter filter, const XpString& pattern) {
  // Any earlier listing is abandoned; closing it loses nothing.
  (void)EndEnum();
  SetFilter(filter, pattern);
  FindState* find = new (std::nothrow) FindState;
  if (find == nullptr) {
    return kXpErrOutOfMemory;
  }
  const XpStringA osPath = path_.ToMultiByte();
  find->dir = XpSysCalls::Current().Opendir(osPath.CStr());
  if (find->dir == nullptr) {
    const int error = errno;
    delete find;
    return XpResultFromErrno(error, osPath.CStr());
  }
  find_ = find;
  Advance();
  return kXpOk;
}

XpSharedPtr<XpAbstractFSObj> XpDir::GetNext() {
  if (find_ == nullptr || find_->exhausted) {
    return XpSharedPtr<XpAbstractFSObj>();
  }
  const XpString childPath = XpPathJoin(path_, find_->name);
  XpAbstractFSObj* child = nullptr;
  if (find_->isDirectory) {
    child = new (std::nothrow) XpDir(childPath);
  } else {
    child = new (std::nothrow) XpFile(childPath);
  }
  Advance();
  return XpSharedPtr<XpAbstractFSObj>(child);
}

XpResult XpDir::EndEnum() {
  if (find_ == nullptr) {
    return kXpErrWrongState;
  }
  XpSysCalls::Current().Closedir(find_->dir);
  delete find_;
  find_ = nullptr;
  return kXpOk;
}

void XpDir::Advance() {
  XpSysCalls& calls = XpSysCalls::Current();
  // A failing read ends the enumeration as the end of the folder does.
  while (const dirent* entry = calls.Readdir(find_->dir)) {
    if (IsDotEntry(entry->d_name)) {
      continue;
    }
    XpString name = XpStringA(entry->d_name).ToWide();
    const bool isDirectory = IsFolderEntry(*entry, path_, name);
    if (MatchEntry(isDirectory, name)) {
      find_->name = name;
      find_->isDirectory = isDirectory;
      return;
    }
  }
  find_->exhausted = true;
}

int64_t XpDir::GetTotalSpace() {
  struct statvfs info {};
  if (XpSysCalls::Current().Statvfs(path_.ToMultiByte().CStr(), &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>(info.f_blocks * info.f_frsize);
}

int64_t XpDir::GetUsedSpace() {
  struct statvfs info {};
  if (XpSysCalls::Current().Statvfs(path_.ToMultiByte().CStr(), &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>((info.f_blocks - info.f_bfree) * info.f_frsize);
}

int64_t XpDir::GetFreeSpace() {
  struct statvfs info {};
  if (XpSysCalls::Current().Statvfs(path_.ToMultiByte().CStr(), &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>(info.f_bavail * info.f_frsize);
}

uint64_t XpDir::GetSizeOnDisk(uint64_t bytes) {
  const uint64_t cluster = GetClusterSize();
  const uint64_t clusters = bytes / cluster + (bytes % cluster != 0 ? 1 : 0);
  return clusters * cluster;
}

uint32_t XpDir::GetClusterSize() {
  if (clusterSize_ != 0) {
    return clusterSize_;
  }
  clusterSize_ = kDefaultClusterSize;
  struct statvfs info {};
  if (!path_.IsEmpty() &&
      XpSysCalls::Current().Statvfs(path_.ToMultiByte().CStr(), &info) == 0 &&
      info.f_bsize != 0) {
    clusterSize_ = static_cast<uint32_t>(info.f_bsize);
  }
  return clusterSize_;
}
