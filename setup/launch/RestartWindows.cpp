#include "setup/launch/RestartWindows.h"

#include <cstdio>

void RestartWindows(const std::function<void(const std::string& line)>& writeLine) {
  if (writeLine) {
    writeLine(kSetupRestartLine);
    return;
  }
  std::printf("%s\n", kSetupRestartLine);
  std::fflush(stdout);
}
