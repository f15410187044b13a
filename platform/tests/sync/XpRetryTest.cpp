#include "platform/sync/XpRetry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr XpResult kBusy = kXpErrAccessDenied;
constexpr XpResult kFinal = kXpErrAlreadyExists;

struct Case {
  const char* name;
  int32_t tries;
  std::vector<XpResult> answers;  // what each try gives, in order
  XpResult result;
  size_t triesMade;
  std::vector<XpResult> failuresSeen;
};

TEST(XpRetry, StopsAtSuccessAtAnAnswerOrWhenTheTriesRunOut) {
  const Case cases[] = {
      {"first try succeeds", 3, {kXpOk}, kXpOk, 1, {}},
      {"succeeds after two failures", 3, {kBusy, kBusy, kXpOk}, kXpOk, 3, {kBusy, kBusy}},
      {"every try fails: the last failure comes back, after afterFailure saw it too",
       3,
       {kBusy, kXpErrDiskFull, kXpErrDeviceNotReady},
       kXpErrDeviceNotReady,
       3,
       {kBusy, kXpErrDiskFull, kXpErrDeviceNotReady}},
      {"an answer ends the run without a pause", 5, {kBusy, kFinal}, kFinal, 2, {kBusy}},
      {"no tries", 0, {}, kXpErrGeneric, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    size_t next = 0;
    std::vector<XpResult> seen;
    const XpResult result = XpRetry(
        c.tries, [&] { return c.answers.at(next++); },
        [](XpResult answer) { return answer == kFinal; },
        [&](XpResult failure) { seen.push_back(failure); });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(next, c.triesMade);
    EXPECT_EQ(seen, c.failuresSeen);
  }
}

TEST(XpRetry, WithoutAnAnswerTestOnlySuccessEndsTheRunEarly) {
  size_t next = 0;
  const std::vector<XpResult> answers = {kFinal, kFinal, kXpOk};
  int failures = 0;
  EXPECT_EQ(XpRetry(
                5, [&] { return answers.at(next++); }, [&](XpResult) { ++failures; }),
            kXpOk);
  EXPECT_EQ(next, 3u);
  EXPECT_EQ(failures, 2);
}

}  // namespace
