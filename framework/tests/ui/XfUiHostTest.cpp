#include "framework/ui/host/XfUiHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/backend/XfUiTerminalBackend.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using ui_test::AddOkCancel;
using ui_test::Lines;
using ui_test::MakeScriptedHost;
using ui_test::TestPresenter;

using XfUiHost = testsupport::HermeticTest;

// Records each firing with the clock's time and the thread it ran on.
class Recorder final : public XfUiTimerTarget {
 public:
  struct Firing {
    std::string name;
    int64_t at;
    std::thread::id thread;
  };

  Recorder(::XfUiHost& host, std::string name, std::vector<Firing>* firings, int killAfter = 0)
      : host_(host), name_(std::move(name)), firings_(firings), killAfter_(killAfter) {}

  void OnTimer(uint32_t id) override {
    firings_->push_back(Firing{name_, host_.NowMs(), std::this_thread::get_id()});
    if (killAfter_ != 0 && ++fired_ == killAfter_) {
      host_.KillTimer(this, id);
    }
  }

 private:
  ::XfUiHost& host_;
  std::string name_;
  std::vector<Firing>* firings_;
  int killAfter_;
  int fired_ = 0;
};

TEST_F(XfUiHost, TimersFireInDueOrderOnTheUiThread) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost("", lines);
  std::vector<Recorder::Firing> firings;
  Recorder a(*host, "a30", &firings);
  Recorder b(*host, "b20", &firings);
  Recorder once(*host, "once25", &firings, 1);
  Recorder killed(*host, "killed15", &firings, 2);
  host->SetTimer(&a, 1, 30);
  host->SetTimer(&b, 1, 20);
  host->SetTimer(&once, 7, 25);
  host->SetTimer(&killed, 1, 15);
  host->Advance(60);

  std::vector<std::string> order;
  for (const auto& firing : firings) {
    order.push_back(firing.name + "@" + std::to_string(firing.at));
    EXPECT_EQ(firing.thread, std::this_thread::get_id());
  }
  const std::vector<std::string> expected = {"killed15@15", "b20@20", "once25@25", "a30@30", "killed15@30",
                                             "b20@40",      "a30@60", "b20@60"};
  EXPECT_EQ(order, expected);
  EXPECT_FALSE(host->Timers().IsSet(&once, 7));
  EXPECT_FALSE(host->Timers().IsSet(&killed, 1));
  host->KillTimer(&a, 1);
  host->KillTimer(&b, 1);
}

TEST_F(XfUiHost, ClosuresFromFourThreadsRunOnTheUiThreadInOrder) {
  constexpr int kThreads = 4;
  constexpr int kEach = 1000;
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost("", lines);
  std::vector<std::vector<int>> seen(kThreads);
  std::atomic<int> offThread{0};
  int ran = 0;
  const std::thread::id ui = std::this_thread::get_id();
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        host->Post([&, t, i] {
          if (std::this_thread::get_id() != ui) {
            ++offThread;
          }
          seen[t].push_back(i);
          ++ran;
        });
      }
    });
  }
  host->RunUntil([&] { return ran == kThreads * kEach; });
  for (std::thread& poster : posters) {
    poster.join();
  }
  EXPECT_EQ(offThread.load(), 0);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<size_t>(kEach));
    for (int i = 0; i < kEach; ++i) {
      ASSERT_EQ(seen[t][i], i) << "thread " << t;
    }
  }
}

TEST_F(XfUiHost, PostToDialogRunsNothingOnceTheDialogHasEnded) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost("form 900 press 1\n", lines);
  TestPresenter dialog(900);
  int ranWhileOpen = 0;
  int ranAfterEnd = 0;
  dialog.onInit = [&](TestPresenter& self, XfDialogModel& model, ::XfUiHost& h) {
    AddOkCancel(model, u"Posts");
    EXPECT_TRUE(h.PostToDialog(self, [&] { ++ranWhileOpen; }));
  };
  dialog.onCommand = [&](TestPresenter& self, int32_t id) {
    // Queued before the end, run after it: dropped.
    host->PostToDialog(self, [&] { ++ranAfterEnd; });
    self.End(id);
  };
  EXPECT_EQ(host->RunModal(dialog), kXfIdOk);
  EXPECT_FALSE(host->PostToDialog(dialog, [&] { ++ranAfterEnd; }));
  host->RunPending();
  EXPECT_EQ(ranWhileOpen, 1);
  EXPECT_EQ(ranAfterEnd, 0);
}

TEST_F(XfUiHost, NestedRunModalReturnsItsEndCodeToTheOuterDialog) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost(
      "form 157 press 1012\n"
      "form 158 click 1016 press 1\n"
      "form 157 when 1011 == \"settings 1\" press 2\n",
      lines);
  TestPresenter settings(158);
  settings.onInit = [](TestPresenter&, XfDialogModel& model, ::XfUiHost&) {
    AddOkCancel(model, u"Settings");
    model.Add(1016, XfItemKind::kCheckBox, u"Convert");
  };
  TestPresenter confirm(157);
  confirm.onInit = [](TestPresenter&, XfDialogModel& model, ::XfUiHost&) {
    AddOkCancel(model, u"Confirm");
    model.Add(1012, XfItemKind::kButton, u"Settings...");
    model.Add(1011, XfItemKind::kStatic, u"Calculating");
  };
  confirm.onCommand = [&](TestPresenter& self, int32_t id) {
    if (id != 1012) {
      self.End(id);
      return;
    }
    XpString text;
    text.Format(u"settings %d", host->RunModal(settings));
    self.Model().SetText(1011, text);
  };
  EXPECT_EQ(host->RunModal(confirm), kXfIdCancel);
  EXPECT_EQ(confirm.Model().Text(1011), u"settings 1");
  EXPECT_TRUE(settings.Model().IsChecked(1016));
  EXPECT_EQ(confirm.commands, std::vector<int32_t>({1012, kXfIdCancel}));
  EXPECT_FALSE(host->HasFailed());
}

TEST_F(XfUiHost, QuitRequestSurvivesTheEndOfANestedLoop) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost("form 2 press 1\nform 1 press 1\n", lines);
  TestPresenter inner(2);
  inner.onInit = [](TestPresenter&, XfDialogModel& model, ::XfUiHost& h) {
    AddOkCancel(model, u"Inner");
    h.RequestQuit();
  };
  TestPresenter outer(1);
  bool quitAfterInner = false;
  outer.onInit = [&](TestPresenter&, XfDialogModel& model, ::XfUiHost& h) {
    AddOkCancel(model, u"Outer");
    h.RunModal(inner);
    quitAfterInner = h.IsQuitRequested();
  };
  EXPECT_EQ(host->RunModal(outer), kXfIdOk);
  EXPECT_TRUE(quitAfterInner);
  EXPECT_TRUE(host->IsQuitRequested());
}

TEST_F(XfUiHost, WorkerMessageBoxGetsItsAnswerWhileTheDialogBeneathWaits) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost(
      "option clock real\n"
      "box \"from a worker\" press yes\n"
      "form 700 press 1\n",
      lines);
  std::atomic<int32_t> answer{0};
  std::thread worker;
  TestPresenter dialog(700);
  std::vector<std::string> shownAtCommand;
  dialog.onInit = [&](TestPresenter&, XfDialogModel& model, ::XfUiHost& h) {
    AddOkCancel(model, u"Progress");
    worker = std::thread([&answer, &h] { answer = h.MessageBox(u"Worker", u"from a worker", kXfMbYesNo); });
  };
  dialog.onCommand = [&](TestPresenter& self, int32_t id) {
    shownAtCommand = *lines;
    self.End(id);
  };
  EXPECT_EQ(host->RunModal(dialog), kXfIdOk);
  worker.join();
  EXPECT_EQ(answer.load(), kXfIdYes);
  // The box came up over the running dialog, and the dialog's one input
  // came only after the box was answered.
  ASSERT_GE(shownAtCommand.size(), 4u);
  EXPECT_EQ(shownAtCommand[0], "form 700 show \"Progress\"");
  EXPECT_EQ(ui_test::LinesStartingWith(shownAtCommand, "box answer"), std::vector<std::string>({"box answer Yes"}));
  EXPECT_EQ(shownAtCommand.back(), "form 700 input press 1");
  EXPECT_EQ(dialog.commands, std::vector<int32_t>({kXfIdOk}));
  EXPECT_FALSE(host->HasFailed());
}

TEST_F(XfUiHost, BoxesFromSeveralThreadsAreShownOneAtATime) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost(
      "option clock real\n"
      "box * press ok\n"
      "box * press ok\n"
      "box * press ok\n",
      lines);
  std::vector<std::thread> workers;
  std::atomic<int> answered{0};
  for (int i = 0; i < 3; ++i) {
    workers.emplace_back([&host, &answered, i] {
      XpString text;
      text.Format(u"worker %d", i);
      const int32_t answer = host->MessageBox(u"Worker", text, kXfMbOk);
      // The loop wakes for posts, so the count is kept on the UI thread.
      host->Post([&answered, answer] { answered += answer == kXfIdOk ? 1 : 0; });
    });
  }
  host->RunUntil([&] { return answered.load() == 3; });
  for (std::thread& worker : workers) {
    worker.join();
  }
  // Each box was shown and answered before the next one was shown.
  std::vector<std::string> kinds;
  for (const std::string& line : *lines) {
    kinds.push_back(line.starts_with("box answer") ? "answer" : "show");
  }
  EXPECT_EQ(kinds, std::vector<std::string>({"show", "answer", "show", "answer", "show", "answer"}));
}

TEST_F(XfUiHost, ABoxAnsweredOnTheDestructionOfTheHostWakesItsWorker) {
  std::atomic<int32_t> answer{0};
  std::thread worker;
  {
    Lines lines = std::make_shared<std::vector<std::string>>();
    auto host = MakeScriptedHost("", lines);
    std::atomic<bool> started{false};
    worker = std::thread([&] {
      started = true;
      answer = host->MessageBox(u"Worker", u"never shown", kXfMbYesNoCancel);
    });
    while (!started.load()) {
      std::this_thread::yield();
    }
    // The worker may not have posted yet; either way it must wake.
  }
  worker.join();
  EXPECT_EQ(answer.load(), kXfIdCancel);
}

// Ctrl-C acts on the innermost thing shown.
class Interruptible : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    ASSERT_EQ(pipe(input_), 0);
    ASSERT_EQ(pipe(output_), 0);
    XfUiHostOptions options;
    options.catchSignals = true;
    host_ = std::make_unique<::XfUiHost>(std::make_unique<XfUiTerminalBackend>(input_[0], output_[1], false), options);
  }
  void TearDown() override {
    host_.reset();
    for (int fd : {input_[0], input_[1], output_[0], output_[1]}) {
      close(fd);
    }
    HermeticTest::TearDown();
  }
  // Raises SIGINT from inside the next loop.
  void InterruptSoon() {
    host_->Post([] { raise(SIGINT); });
  }

  int input_[2] = {-1, -1};
  int output_[2] = {-1, -1};
  std::unique_ptr<::XfUiHost> host_;
};

TEST_F(Interruptible, CtrlCCancelsTheBoxThenTheDialogThenRequestsQuit) {
  InterruptSoon();
  EXPECT_EQ(host_->MessageBox(u"Stop", u"Stop?", kXfMbYesNo | kXfMbDefButton2), kXfIdNo);
  InterruptSoon();
  EXPECT_EQ(host_->MessageBox(u"Stop", u"Stop?", kXfMbYesNoCancel), kXfIdCancel);

  TestPresenter dialog(132);
  dialog.accept = 0;
  dialog.onInit = [&](TestPresenter&, XfDialogModel& model, ::XfUiHost&) {
    model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
    InterruptSoon();
  };
  EXPECT_EQ(host_->RunModal(dialog), kXfIdCancel);
  EXPECT_FALSE(host_->IsQuitRequested());

  InterruptSoon();
  host_->RunUntil([this] { return host_->IsQuitRequested(); });
  EXPECT_TRUE(host_->IsQuitRequested());
}

}  // namespace
