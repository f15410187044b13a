#include "platform/process/XpFindProcessesByExeName.h"

#include <dirent.h>
#include <limits.h>

#include <algorithm>
#include <string>

#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/system/XpSysRoot.h"

namespace {

constexpr const char* kProcFolder = "/proc";

// The digits of a /proc entry as a pid; 0 for any other name.
pid_t PidOfEntry(const char* entry) {
  if (entry == nullptr || *entry == '\0') return 0;
  pid_t pid = 0;
  for (const char* c = entry; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return 0;
    pid = pid * 10 + (*c - '0');
  }
  return pid;
}

XpString Leaf(const std::string& path) {
  return XpPathGetLeafName(XpStringA(path.c_str()).ToWide());
}

// The leaf name of the process's executable; "" when neither the link nor
// the command line can be read.
XpString ExecutableLeaf(const std::string& procEntry) {
  const XpStringA link = XpSysRootPath((procEntry + "/exe").c_str());
  char target[PATH_MAX];
  const ssize_t length = XpSysCalls::Current().Readlink(link.CStr(), target, sizeof(target));
  if (length > 0 && static_cast<size_t>(length) < sizeof(target)) {
    return Leaf(std::string(target, static_cast<size_t>(length)));
  }
  std::string commandLine;
  if (XpFailed(XpSysRootReadFile((procEntry + "/cmdline").c_str(), &commandLine))) return XpString();
  // argv[0] ends at the first NUL.
  return Leaf(std::string(commandLine.c_str()));
}

}  // namespace

std::vector<pid_t> XpFindProcessesByExeName(const XpString& name) {
  std::vector<pid_t> found;
  if (name.IsEmpty()) return found;
  XpSysCalls& sys = XpSysCalls::Current();
  const XpStringA folder = XpSysRootPath(kProcFolder);
  DIR* dir = sys.Opendir(folder.CStr());
  if (dir == nullptr) return found;
  while (const struct dirent* entry = sys.Readdir(dir)) {
    const pid_t pid = PidOfEntry(entry->d_name);
    if (pid == 0) continue;
    if (ExecutableLeaf(std::string(kProcFolder) + "/" + entry->d_name) == name) found.push_back(pid);
  }
  static_cast<void>(sys.Closedir(dir));
  std::sort(found.begin(), found.end());
  return found;
}
