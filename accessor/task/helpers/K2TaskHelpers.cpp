#include "accessor/task/helpers/K2TaskHelpers.h"

#include <sys/statvfs.h>

#include <set>

#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/time/XpDateTimeSpan.h"

namespace {

constexpr int32_t kSmallFileQuality = 70;
constexpr int32_t kNormalQuality = 90;
constexpr uint32_t kLargeBatch = 50;
constexpr uint32_t kSmallBatch = 10;
constexpr const char16_t* kRootFolder = u"/";

// The folder part of path without its trailing '/'.
XpString FolderWithoutSlash(const XpString& path) {
  XpString folder;
  XpPathSplit(path, &folder, nullptr, nullptr);
  XpPathRemoveTrailingBackslash(folder);
  return folder;
}

}  // namespace

std::string K2DescribeFailure(const XpString& path, const char* reason) {
  const XpSysFailure& failure = XpLastSysFailure();
  if (!failure.Empty()) {
    return XpDescribeSysFailure(failure);
  }
  return std::string(path.ToMultiByte().View()) + ": " + reason;
}

uint32_t K2GetVolumeClusterSize(const XpString& path) {
  struct statvfs info {};
  const XpStringA bytes = path.ToMultiByte();
  if (path.IsEmpty() || XpSysCalls::Current().Statvfs(bytes.CStr(), &info) != 0 ||
      info.f_bsize == 0) {
    return kK2DefaultClusterSize;
  }
  return static_cast<uint32_t>(info.f_bsize);
}

uint64_t K2RoundUpToClusters(int64_t size, uint32_t cluster) {
  if (size <= 0) {
    return 0;
  }
  const auto bytes = static_cast<uint64_t>(size);
  if (cluster == 0) {
    return bytes;
  }
  return (bytes + cluster - 1) / cluster * cluster;
}

XpString K2GetAppDataFolder() {
  XpString folder = XpGetSpecialFolder(kXpFolderAppData, true);
  folder = XpPathJoin(folder, u"Kavo Corporation");
  folder = XpPathJoin(folder, u"QMV");
  folder = XpPathJoin(folder, u"Accessor");
  folder = XpPathJoin(folder, u"K2");
  if (!XpDirectoryExists(folder)) {
    (void)XpCreateDirectoryTree(folder);
  }
  return folder;
}

int32_t K2ChooseJpegQuality(bool smallFile) {
  return smallFile ? kSmallFileQuality : kNormalQuality;
}

uint32_t K2GetBatchSize(bool largeBatch) { return largeBatch ? kLargeBatch : kSmallBatch; }

XpDateTime K2LocalToUtc(const XpDateTime& local) {
  XpDateTime converted = local;
  if (!converted.UtcToLocal()) {
    return local;
  }
  return local - (converted - local);
}

[[nodiscard]] XpResult K2GetParentFolderName(const XpString& filePath, XpString* name) {
  if (name == nullptr || filePath.IsEmpty()) {
    return kXpErrBadArgument;
  }
  if (XpPathGetDirectory(filePath) == kRootFolder) {
    // The root names a file directly in it, as a drive names a file
    // directly on the drive.
    *name = kRootFolder;
    return kXpOk;
  }
  const XpString folder = FolderWithoutSlash(filePath);
  const int32_t slash = folder.ReverseFind(kXpPathSeparator);
  if (slash < 0 || slash + 1 >= folder.GetLength()) {
    return kXpErrBadArgument;
  }
  *name = folder.Mid(slash + 1);
  return kXpOk;
}

bool K2IsFileInFolder(const XpString& folder, const XpString& filePath) {
  XpString wanted = folder;
  XpPathRemoveTrailingBackslash(wanted);
  return FolderWithoutSlash(filePath).CompareNoCase(wanted.CStr()) == 0;
}

[[nodiscard]] XpResult K2CollectFolders(const XpStringVector& paths, XpStringVector* folders) {
  if (folders == nullptr || paths.empty()) {
    return kXpErrBadArgument;
  }
  std::set<XpString> distinct;
  for (const XpString& path : paths) {
    distinct.insert(XpPathGetDirectory(path));
  }
  folders->assign(distinct.begin(), distinct.end());
  return kXpOk;
}

[[nodiscard]] XpResult K2CollectParentFolderNames(const XpStringVector& paths,
                                                  XpStringVector* names) {
  if (names == nullptr || paths.empty()) {
    return kXpErrBadArgument;
  }
  std::set<XpString> distinct;
  for (const XpString& path : paths) {
    XpString name;
    const XpResult result = K2GetParentFolderName(path, &name);
    if (result != kXpOk) {
      return result;
    }
    distinct.insert(name);
  }
  names->assign(distinct.begin(), distinct.end());
  return kXpOk;
}

bool K2IsDestinationPresent(const XpString& root) {
  if (root.IsEmpty() || !XpDirectoryExists(root)) {
    return false;
  }
  XpString mountPoint = root;
  XpPathAddTrailingBackslash(mountPoint);
  return XpPathGetRoot(mountPoint) == mountPoint;
}
