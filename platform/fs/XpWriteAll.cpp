#include "platform/fs/XpWriteAll.h"

#include <algorithm>
#include <cerrno>

#include "platform/result/XpResultTranslation.h"

namespace {

// The most one write call is asked to move.
constexpr size_t kMaxTransfer = size_t{1} << 30;

}  // namespace

[[nodiscard]] XpResult XpWriteAll(XpSysCalls& calls, int fd, const void* bytes, size_t count,
                                  size_t* written) {
  const char* next = static_cast<const char*>(bytes);
  size_t done = 0;
  XpResult result = kXpOk;
  while (done < count) {
    const ssize_t moved = calls.Write(fd, next + done, std::min(count - done, kMaxTransfer));
    if (moved < 0) {
      result = XpResultFromErrno(errno);
      break;
    }
    if (moved == 0) {
      errno = ENOSPC;
      result = XpResultFromErrno(errno);
      break;
    }
    done += static_cast<size_t>(moved);
  }
  if (written != nullptr) {
    *written = done;
  }
  return result;
}
