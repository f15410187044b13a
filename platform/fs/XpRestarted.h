#pragma once

#include <cerrno>

// Repeats a POSIX call for as long as a signal breaks it off (-1 with EINTR)
// and gives the first other result, errno as the call left it. Not for close:
// Linux frees the descriptor even when close is interrupted.
template <typename Call>
[[nodiscard]] auto XpRestarted(Call call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) {
      return result;
    }
  }
}
