#include "installer-actions/tlvproc/TlvFolderGuard.h"

#include <sys/stat.h>

#include <cstdlib>

#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"

namespace {

constexpr char16_t kSeparator = u'/';

constexpr int32_t kProtectedKinds[] = {
    kXpFolderProfile,       kXpFolderDesktop,       kXpFolderDocuments,   kXpFolderPictures,
    kXpFolderVideos,        kXpFolderMusic,         kXpFolderTemp,        kXpFolderCommonAppData,
    kXpFolderProgramFiles,  kXpFolderCommonPrograms,
};

// The path with links resolved, or "" when it cannot be resolved.
XpString Resolved(const XpString& path) {
  char* real = XpSysCalls::Current().Realpath(path.ToMultiByte().CStr(), nullptr);
  if (real == nullptr) return XpString();
  XpString resolved = XpString::FromUtf8(real);
  std::free(real);
  return resolved;
}

bool HasDotComponent(const XpString& path) {
  const std::u16string_view text = path.View();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(kSeparator, start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view part = text.substr(start, end - start);
    if (part == u"." || part == u"..") return true;
    start = end + 1;
  }
  return false;
}

bool IsFolderNotLink(const XpString& path) {
  struct stat info {};
  if (XpSysCalls::Current().Lstat(path.ToMultiByte().CStr(), &info) != 0) return false;
  return S_ISDIR(info.st_mode);
}

bool IsVolumeRoot(const XpString& path) {
  XpString folder = path;
  XpPathAddTrailingBackslash(folder);
  return XpPathGetRoot(folder) == folder;
}

}  // namespace

TlvFolderGuard::TlvFolderGuard() {
  for (const int32_t kind : kProtectedKinds) {
    const XpString folder = XpGetSpecialFolder(kind, false);
    if (folder.IsEmpty()) continue;
    protected_.push_back(folder);
    const XpString resolved = Resolved(folder);
    if (!resolved.IsEmpty() && resolved != folder) protected_.push_back(resolved);
  }
}

bool TlvFolderGuard::IsSameOrAbove(const XpString& folder, const XpString& other) {
  if (folder.IsEmpty() || other.IsEmpty()) return false;
  const int relation = XpPathGetRelation(folder, other);
  return relation == kXpPathSame || relation == kXpPathContains;
}

bool TlvFolderGuard::Accepts(const XpString& folder) const {
  if (folder.IsEmpty() || folder.CStr()[0] != kSeparator || HasDotComponent(folder)) return false;
  XpString path = folder;
  XpPathRemoveTrailingBackslash(path);
  if (path.IsEmpty() || !IsFolderNotLink(path)) return false;
  const XpString resolved = Resolved(path);
  if (resolved.IsEmpty() || IsVolumeRoot(path) || IsVolumeRoot(resolved)) return false;
  for (const XpString& kept : protected_) {
    if (IsSameOrAbove(path, kept) || IsSameOrAbove(resolved, kept)) return false;
  }
  return true;
}

bool TlvFolderGuard::AcceptsBeside(const XpString& folder, const XpStringVector& others) const {
  if (!Accepts(folder)) return false;
  const XpString resolved = Resolved(folder);
  for (const XpString& other : others) {
    if (IsSameOrAbove(folder, other) || IsSameOrAbove(resolved, other)) return false;
    const XpString otherResolved = Resolved(other);
    if (IsSameOrAbove(resolved, otherResolved)) return false;
  }
  return true;
}
