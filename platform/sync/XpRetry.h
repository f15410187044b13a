#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"

// Runs a step that may fail for a while (a card that is still busy, a file
// that another program holds) up to `tries` times. A try that gives kXpOk,
// or a result that isAnswer takes as final, ends the run at once; after
// every other failure, the last try's too, afterFailure(result) runs (a log
// line, a pause). Gives the last try's result.
//
//   const XpResult moved = XpRetry(
//       kTries, [&] { return Move(from, to); },
//       [](XpResult result) { return result == kXpErrAlreadyExists; },
//       [&](XpResult) { clock.SleepFor(kPause); });
template <typename Attempt, typename IsAnswer, typename AfterFailure>
[[nodiscard]] XpResult XpRetry(int32_t tries, Attempt attempt, IsAnswer isAnswer,
                               AfterFailure afterFailure) {
  XpResult result = kXpErrGeneric;
  for (int32_t done = 0; done < tries; ++done) {
    result = attempt();
    if (result == kXpOk || isAnswer(result)) {
      return result;
    }
    afterFailure(result);
  }
  return result;
}

// The same where only kXpOk ends the run early.
template <typename Attempt, typename AfterFailure>
[[nodiscard]] XpResult XpRetry(int32_t tries, Attempt attempt, AfterFailure afterFailure) {
  return XpRetry(
      tries, attempt, [](XpResult) { return false; }, afterFailure);
}
