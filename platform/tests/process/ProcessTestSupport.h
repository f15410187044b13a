#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

namespace process_test {

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream input(path);
  std::stringstream text;
  text << input.rdbuf();
  return text.str();
}

// The state letter of /proc/PID/stat; 0 once the process is gone (reaped).
// A process that has ended and waits for its parent shows 'Z'.
inline char ProcessState(pid_t pid) {
  const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return 0;
  return stat[close + 2];
}

// Polls condition every 5 ms; false when it still fails after 10 s.
inline bool WaitUntil(const std::function<bool()>& condition) {
  constexpr auto kDeadline = std::chrono::seconds(10);
  constexpr auto kPollInterval = std::chrono::milliseconds(5);
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

}  // namespace process_test
