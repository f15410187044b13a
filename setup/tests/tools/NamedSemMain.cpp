// namedsem NAME: opens the named semaphore and releases it once.
// namedsem --probe NAME: only tells whether it can be opened.
// Exit 0 on success, 1 when it cannot be opened or released, 2 for usage.

#include <cstdio>
#include <string>

#include "platform/sync/XpNamedObject.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage() {
  std::fprintf(stderr, "usage: namedsem [--probe] NAME\n");
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const bool probe = argc == 3 && std::string(argv[1]) == "--probe";
  if (argc != 2 && !probe) return Usage();
  const XpString name = XpString::FromUtf8(argv[argc - 1]);
  XpNamedObject semaphore;
  if (XpFailed(semaphore.Open(name, XpNamedObjectKind::kSemaphore))) return kFailed;
  if (probe) return kDone;
  return XpSucceeded(semaphore.ReleaseSemaphore()) ? kDone : kFailed;
}
