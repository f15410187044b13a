#include "accessor/task/helpers/K2CardCleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "camerastore/dcf/XpDCFNames.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/text/XpStringA.h"

namespace {

// The prefixes of the DCF files that an export writes.
constexpr const char16_t* kExportPrefixes[] = {u"QMVS", u"QMVM"};
constexpr int32_t kPrefixLength = 4;
// The pictures, the movies and the movies' thumbnails.
constexpr const char16_t* kExportExtensions[] = {u".JPG", u".MPG", u".THM"};

bool IsOneOf(const XpString& text, const char16_t* const* choices, size_t count) {
  for (size_t index = 0; index < count; ++index) {
    if (text.CompareNoCase(choices[index]) == 0) {
      return true;
    }
  }
  return false;
}

struct Entry {
  std::string name;
  std::string path;
};

// The regular files of folder (UTF-8 paths).
std::vector<Entry> FilesIn(const std::string& folder) {
  std::vector<Entry> files;
  XpSysCalls& calls = XpSysCalls::Current();
  DIR* dir = calls.Opendir(folder.c_str());
  if (dir == nullptr) {
    return files;
  }
  for (struct dirent* entry = calls.Readdir(dir); entry != nullptr; entry = calls.Readdir(dir)) {
    const std::string path = folder + "/" + entry->d_name;
    struct stat info {};
    if (calls.Lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      files.push_back({entry->d_name, path});
    }
  }
  (void)calls.Closedir(dir);
  return files;
}

std::string FolderPath(const XpString& folder) {
  std::string path(folder.ToMultiByte().View());
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

// The DCF file number of an export's file name; -1 for any other name.
int32_t ExportFileNumber(const std::string& name) {
  XpString base;
  XpString extension;
  XpPathSplit(XpStringA(name.c_str()).ToWide(), nullptr, &base, &extension);
  const bool ours = IsOneOf(base.Left(kPrefixLength), kExportPrefixes, std::size(kExportPrefixes)) &&
                    IsOneOf(extension, kExportExtensions, std::size(kExportExtensions));
  if (!ours || !XpDCFIsFileName(base)) {
    return -1;
  }
  return XpDCFGetFileNumber(base);
}

}  // namespace

void K2RemovePendingTemporaries(const XpString& folder) {
  XpPendingFile::RemoveUnheldTemporaries(FolderPath(folder));
}

size_t K2RemoveUnrecordedExports(const XpString& folder, const std::set<int32_t>& recorded) {
  size_t removed = 0;
  for (const Entry& file : FilesIn(FolderPath(folder))) {
    const int32_t number = ExportFileNumber(file.name);
    if (number < 0 || recorded.count(number) != 0) {
      continue;
    }
    if (XpSysCalls::Current().Unlink(file.path.c_str()) == 0) {
      ++removed;
    }
  }
  return removed;
}
