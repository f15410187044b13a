#include "platform/fs/XpReadAll.h"

#include <cerrno>

#include "platform/result/XpResultTranslation.h"

namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

[[nodiscard]] XpResult XpReadAll(XpSysCalls& calls, int fd, std::string* text) {
  for (;;) {
    const size_t used = text->size();
    text->resize(used + kChunk);
    const ssize_t got = calls.Read(fd, text->data() + used, kChunk);
    if (got <= 0) {
      text->resize(used);
      return got == 0 ? kXpOk : XpResultFromErrno(errno);
    }
    text->resize(used + static_cast<size_t>(got));
  }
}
