#include "platform/process/XpFindProgram.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"

namespace {

constexpr std::u16string_view kExeSuffix = u".exe";
constexpr char16_t kPathListSeparator = u':';
constexpr mode_t kAnyExecuteBit = S_IXUSR | S_IXGRP | S_IXOTH;

bool IsExecutableFile(const XpString& path) {
  struct stat status;
  if (XpSysCalls::Current().Stat(path.ToMultiByte().CStr(), &status) != 0) return false;
  return S_ISREG(status.st_mode) && (status.st_mode & kAnyExecuteBit) != 0;
}

bool EndsWithExe(const XpString& program) {
  const std::u16string_view text = program.View();
  if (text.size() <= kExeSuffix.size()) return false;
  return XpString(text.substr(text.size() - kExeSuffix.size()))
             .CompareNoCase(XpString(kExeSuffix).CStr()) == 0;
}

XpString MakeAbsolute(const XpString& path) {
  if (path.IsEmpty() || path.CStr()[0] == kXpPathSeparator) return path;
  std::vector<char> buffer(PATH_MAX);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return path;
  return XpPathJoin(XpStringA(buffer.data()).ToWide(), path);
}

std::vector<XpString> SearchFolders(const XpString& givenFolder) {
  std::vector<XpString> folders;
  if (!givenFolder.IsEmpty()) folders.push_back(givenFolder);
  const XpString programFolder = XpGetSpecialFolder(kXpFolderProgramFolder, false);
  if (!programFolder.IsEmpty()) folders.push_back(programFolder);
  const char* pathVariable = ::getenv("PATH");
  if (pathVariable == nullptr) return folders;
  const XpString list = XpStringA(pathVariable).ToWide();
  const std::u16string_view text = list.View();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(kPathListSeparator, start);
    if (end == std::u16string_view::npos) end = text.size();
    // Empty entries would mean the working folder; they are left out.
    if (end > start) folders.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

}  // namespace

XpString XpFindProgram(const XpString& program) {
  if (program.IsEmpty()) return XpString();
  if (XpFileExists(program)) return MakeAbsolute(program);
  XpString name = program;
  if (EndsWithExe(name)) name = name.Left(name.GetLength() - static_cast<int32_t>(kExeSuffix.size()));
  const XpString leaf = XpPathGetFileName(name);
  if (leaf.IsEmpty()) return XpString();
  for (const XpString& folder : SearchFolders(XpPathGetDirectory(name))) {
    const XpString candidate = XpPathJoin(folder, leaf);
    if (IsExecutableFile(candidate)) return MakeAbsolute(candidate);
  }
  return XpString();
}
