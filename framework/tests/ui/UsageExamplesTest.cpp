// The usage example at the top of XfUiHost.h, run as written.
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "framework/ui/backend/XfUiAutomaticBackend.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class FrameworkUsageExamples : public testsupport::HermeticTest {};

struct Outcome {
  int32_t answer = 0;
  bool declined = false;
  int status = -1;
};

// The XfUiHost example, with --yes as given.
Outcome AskFromAWorker(bool yes) {
  XfUiHostOptions options;
  options.yes = yes;
  XfUiHost host(std::make_unique<XfUiAutomaticBackend>(STDERR_FILENO), options);
  int32_t answer = 0;
  std::thread worker([&host, &answer] {
    const int32_t got =
        host.MessageBox(u"Export", u"Copy the files?", kXfMbOkCancel | kXfMbIconQuestion);
    host.Post([&answer, got] { answer = got; });
  });
  host.RunUntil([&answer] { return answer != 0; });
  worker.join();
  return Outcome{answer, host.HasDeclinedUnattended(), host.Finish()};
}

TEST_F(FrameworkUsageExamples, XfUiHostAnswersAWorkersQuestionOnTheUiThread) {
  struct Case {
    bool yes;
    int32_t answer;
    bool declined;
  } const cases[] = {
      {true, kXfIdOk, false},
      {false, kXfIdCancel, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.yes ? "--yes" : "no one there");
    const Outcome outcome = AskFromAWorker(c.yes);
    EXPECT_EQ(outcome.answer, c.answer);
    EXPECT_EQ(outcome.declined, c.declined);
    EXPECT_EQ(outcome.status, 0);
  }
}

}  // namespace
