#include "platform/volume/XpInitializeProcess.h"

#include <clocale>
#include <csignal>
#include <mutex>

[[nodiscard]] XpResult XpInitializeProcess() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::setlocale(LC_ALL, "");
    std::signal(SIGPIPE, SIG_IGN);
  });
  return kXpOk;
}
