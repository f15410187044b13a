#include "setup/package/ReadFileBytes.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/fs/XpSysCalls.h"

namespace {

constexpr size_t kBlockSize = 65536;

}  // namespace

bool ReadFileBytes(const XpString& path, std::string* bytes) {
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(path.ToMultiByte().CStr(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  bytes->clear();
  char block[kBlockSize];
  bool ok = true;
  for (;;) {
    const ssize_t count = calls.Read(fd, block, sizeof block);
    if (count < 0) ok = false;
    if (count <= 0) break;
    bytes->append(block, static_cast<size_t>(count));
  }
  (void)calls.Close(fd);  // read-only: nothing to lose
  return ok;
}
