#include "platform/fs/XpRestarted.h"

#include <cerrno>
#include <vector>

#include <gtest/gtest.h>

namespace {

// One outcome of a scripted call: what it returns and the errno it leaves.
struct Outcome {
  int result;
  int error;
};

constexpr Outcome kInterrupted = {-1, EINTR};

struct Case {
  const char* name;
  std::vector<Outcome> script;
  int result;
  int error;
  size_t calls;
};

TEST(XpRestarted, RepeatsOnlyACallThatASignalBrokeOff) {
  const Case cases[] = {
      {"done at once", {{5, 0}}, 5, 0, 1},
      {"interrupted twice, then done", {kInterrupted, kInterrupted, {5, 0}}, 5, 0, 3},
      {"interrupted, then a real failure", {kInterrupted, {-1, EIO}}, -1, EIO, 2},
      {"another failure is not repeated", {{-1, EAGAIN}, {5, 0}}, -1, EAGAIN, 1},
      {"a result with a stale EINTR is not repeated", {{0, EINTR}, {5, 0}}, 0, EINTR, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    size_t calls = 0;
    const int result = XpRestarted([&] {
      const Outcome& outcome = c.script.at(calls++);
      errno = outcome.error;
      return outcome.result;
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(errno, c.error);
    EXPECT_EQ(calls, c.calls);
  }
}

}  // namespace
