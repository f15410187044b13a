#pragma once

#include <chrono>
#include <thread>

namespace synctest {

// Polls condition until it holds or the limit passes; for states that
// another thread reaches soon.
template <typename Condition>
bool Eventually(Condition condition,
                std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace synctest
