#include "platform/system/XpSysRoot.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr size_t kReadChunk = 4096;

std::string SysRootPrefix() {
  const char* value = ::getenv(kXpSysRootVariable);
  std::string prefix = value != nullptr ? value : "";
  while (!prefix.empty() && prefix.back() == '/') {
    prefix.pop_back();
  }
  return prefix;
}

std::string SysRootPathString(const char* absolutePath) {
  return SysRootPrefix() + (absolutePath != nullptr ? absolutePath : "");
}

}  // namespace

XpStringA XpSysRoot() {
  std::string prefix = SysRootPrefix();
  return XpStringA(prefix.c_str(), static_cast<int32_t>(prefix.size()));
}

XpStringA XpSysRootPath(const char* absolutePath) {
  std::string path = SysRootPathString(absolutePath);
  return XpStringA(path.c_str(), static_cast<int32_t>(path.size()));
}

[[nodiscard]] XpResult XpSysRootReadFile(const char* absolutePath, std::string* contents) {
  if (absolutePath == nullptr || contents == nullptr) {
    return kXpErrBadArgument;
  }
  contents->clear();
  const std::string path = SysRootPathString(absolutePath);
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(path.c_str(), O_RDONLY, 0);
  if (fd < 0) {
    return XpResultFromErrno(errno, path.c_str());
  }
  char buffer[kReadChunk];
  XpResult result = kXpOk;
  for (;;) {
    const ssize_t count = calls.Read(fd, buffer, sizeof(buffer));
    if (count > 0) {
      contents->append(buffer, static_cast<size_t>(count));
      continue;
    }
    if (count < 0) {
      result = XpResultFromErrno(errno);
      contents->clear();
    }
    break;
  }
  (void)calls.Close(fd);  // opened for reading
  return result;
}
