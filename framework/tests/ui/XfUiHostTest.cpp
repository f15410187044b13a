#include "framework/ui/host/XfUiHost.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/queue/XfMessageQueue.h"
#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/backend/XfUiAutomaticBackend.h"
#include "framework/ui/backend/XfUiTerminalBackend.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using ui_test::AddOkCancel;
using ui_test::Lines;
using ui_test::MakeScriptedHost;
using ui_test::TestPresenter;

// Hosts on the scripted back end come from MakeScriptedHost; this one is on
// the terminal back end over pipes and catches signals, for Ctrl-C.
class HostFixture : public testsupport::HermeticTest {
 protected:
  void TearDown() override {
    host_.reset();
    for (int fd : {input_[0], input_[1], output_[0], output_[1]}) {
      if (fd >= 0) {
        close(fd);
      }
    }
    HermeticTest::TearDown();
  }

  ::XfUiHost& MakeInterruptibleHost() {
    EXPECT_EQ(pipe(input_), 0);
    EXPECT_EQ(pipe(output_), 0);
    XfUiHostOptions options;
    options.catchSignals = true;
    host_ = std::make_unique<::XfUiHost>(std::make_unique<XfUiTerminalBackend>(input_[0], output_[1], false),
                                         options);
    return *host_;
  }

  // Raises SIGINT from inside the next loop of the host.
  static void InterruptSoon(::XfUiHost& host) {
    host.Post([] { raise(SIGINT); });
  }

 private:
  int input_[2] = {-1, -1};
  int output_[2] = {-1, -1};
  std::unique_ptr<::XfUiHost> host_;
};

using XfUiHost = HostFixture;

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

// A back end that draws the pictures of its dialogs.
class PictureBackend final : public XfUiBackend {
 public:
  bool ShowsPictures() const override { return true; }
  bool Step(::XfUiHost& /*host*/) override { return false; }
};

TEST_F(XfUiHost, ShowsPicturesOnlyWhenItsBackEndDrawsThem) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  EXPECT_FALSE(MakeScriptedHost("", lines)->ShowsPictures());
  XfUiHostOptions options;
  options.catchSignals = false;
  options.yes = true;
  EXPECT_FALSE(::XfUiHost(std::make_unique<XfUiAutomaticBackend>(STDERR_FILENO, true), options)
                   .ShowsPictures());
  EXPECT_TRUE(::XfUiHost(std::make_unique<PictureBackend>(), options).ShowsPictures());
  EXPECT_FALSE(MakeInterruptibleHost().ShowsPictures());
}

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

TEST_F(XfUiHost, XfPumpMessageRunsPostedClosuresAndWorkerBoxes) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost("option clock real\nbox \"waiting\" press yes\n", lines);
  host->RunPending();
  bool ran = false;
  host->Post([&ran] { ran = true; });
  EXPECT_TRUE(XfPumpMessage());
  EXPECT_TRUE(ran);
  EXPECT_FALSE(XfPumpMessage());

  // A UI thread that waits by pumping framework messages (as a wait for a
  // notification's reply does) still shows a worker's box.
  std::atomic<int32_t> answer{0};
  std::thread worker([&] { answer = host->MessageBox(u"Worker", u"waiting", kXfMbYesNo); });
  while (answer.load() == 0) {
    XfPumpMessage();
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(answer.load(), kXfIdYes);
  EXPECT_FALSE(host->HasFailed());
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
    EXPECT_EQ(text.Format(u"settings %d", host->RunModal(settings)), kXpOk);
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
      EXPECT_EQ(text.Format(u"worker %d", i), kXpOk);
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

TEST_F(XfUiHost, ABoxStillWaitingWhenTheHostGoesGetsItsCancelAnswer) {
  std::atomic<int32_t> answer{0};
  std::thread worker;
  {
    Lines lines = std::make_shared<std::vector<std::string>>();
    auto host = MakeScriptedHost("", lines);
    // Items left on this thread's queue by earlier hosts go first.
    host->RunPending();
    worker = std::thread([&] { answer = host->MessageBox(u"Worker", u"never shown", kXfMbYesNoCancel); });
    // The worker's box is queued for the UI thread, which never runs it.
    const XpSharedPtr<XfMessageQueue> queue = XfMessageQueue::ForCurrentThread();
    while (!queue->HasItem(kXfUiPostedMessage, kXfUiPostedMessage)) {
      std::this_thread::yield();
    }
  }
  worker.join();
  EXPECT_EQ(answer.load(), kXfIdCancel);
}

TEST_F(XfUiHost, EndOfADialogKillsItsTimersAndItsBarsTimers) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost("form 132 at 20 % press 1\n", lines);
  TestPresenter dialog(132);
  dialog.onInit = [](TestPresenter& self, XfDialogModel& model, ::XfUiHost& h) {
    AddOkCancel(model, u"Bars");
    SfProgressCtrl& bar = *model.Add(1007, XfItemKind::kProgress).Progress();
    EXPECT_TRUE(bar.IsCreated());
    bar.SetShowHideDelays(0, 5000);
    bar.ShowWindow(kSfShowHide);
    bar.SetPos(100);
    h.SetTimer(&self, 1, 1000);
  };
  EXPECT_EQ(host->RunModal(dialog), kXfIdOk);
  EXPECT_EQ(host->Timers().Count(), 0u);
  EXPECT_FALSE(dialog.Model().Progress(1007)->IsCreated());
  EXPECT_EQ(host->NowMs(), 40);
}

TEST_F(XfUiHost, BusyHostRefusesInputToForms) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost("form 9 press 1\nwait 150\nform 9 press 1\n", lines);
  TestPresenter dialog(9);
  dialog.onInit = [](TestPresenter& self, XfDialogModel& model, ::XfUiHost& h) {
    AddOkCancel(model, u"Busy");
    h.SetModalBusy(true);
    h.SetTimer(&self, 1, 100);
  };
  dialog.onTimer = [&](TestPresenter& self, uint32_t id) {
    host->SetModalBusy(false);
    host->KillTimer(&self, id);
  };
  EXPECT_EQ(host->RunModal(dialog), kXfIdOk);
  EXPECT_EQ(dialog.commands, std::vector<int32_t>({kXfIdOk}));
  EXPECT_EQ(ui_test::LinesStartingWith(*lines, "form 9 refused"), std::vector<std::string>({"form 9 refused: busy"}));
}

TEST_F(XfUiHost, ThemeHoldsSystemColoursAndAnnouncesChanges) {
  Lines lines = std::make_shared<std::vector<std::string>>();
  auto host = MakeScriptedHost("", lines);
  XfUiTheme& theme = host->Theme();
  EXPECT_EQ(theme.GetSysColor(kXfColourButtonFace), XfRgb(240, 240, 240));
  EXPECT_EQ(theme.GetSysColor(kXfColourHighlight), XfRgb(51, 153, 255));
  EXPECT_EQ(theme.GetSysColor(99), 0u);
  int notices = 0;
  const int32_t token = theme.Subscribe([&] { ++notices; });
  theme.SetSysColor(kXfColourButtonFace, XfRgb(1, 2, 3));
  theme.SetSysColors({{kXfColourHighlight, XfRgb(4, 5, 6)}, {kXfColourWindow, XfRgb(7, 8, 9)}});
  EXPECT_EQ(theme.GetSysColor(kXfColourButtonFace), 0x030201u);
  EXPECT_EQ(notices, 2);
  theme.Unsubscribe(token);
  theme.Reset();
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(theme.GetSysColor(kXfColourButtonFace), XfRgb(240, 240, 240));
}

TEST_F(XfUiHost, CtrlCCancelsTheBoxThenTheDialogThenRequestsQuit) {
  ::XfUiHost& host = MakeInterruptibleHost();
  InterruptSoon(host);
  EXPECT_EQ(host.MessageBox(u"Stop", u"Stop?", kXfMbYesNo | kXfMbDefButton2), kXfIdNo);
  InterruptSoon(host);
  EXPECT_EQ(host.MessageBox(u"Stop", u"Stop?", kXfMbYesNoCancel), kXfIdCancel);

  TestPresenter dialog(132);
  dialog.accept = 0;
  dialog.onInit = [&](TestPresenter&, XfDialogModel& model, ::XfUiHost&) {
    model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
    InterruptSoon(host);
  };
  EXPECT_EQ(host.RunModal(dialog), kXfIdCancel);
  EXPECT_EQ(dialog.commands, std::vector<int32_t>({kXfIdCancel}));
  EXPECT_FALSE(host.IsQuitRequested());

  InterruptSoon(host);
  host.RunUntil([&host] { return host.IsQuitRequested(); });
  EXPECT_TRUE(host.IsQuitRequested());
}

// Ctrl-C at a box that asks whether to stop answers Yes, so that a second
// Ctrl-C stops what the first one asked about; at every other box, and at a
// stop question without a Yes, it keeps its cancel answer.
TEST_F(XfUiHost, CtrlCAnswersAStopQuestionYes) {
  struct Case {
    uint32_t style;
    XfUiBoxRole role;
    int32_t answer;
  };
  const Case cases[] = {
      {kXfMbYesNo | kXfMbIconExclamation | kXfMbDefButton2, XfUiBoxRole::kAsksToStop, kXfIdYes},
      {kXfMbYesNo | kXfMbIconExclamation | kXfMbDefButton2, XfUiBoxRole::kPlain, kXfIdNo},
      {kXfMbYesNoCancel, XfUiBoxRole::kAsksToStop, kXfIdYes},
      {kXfMbOkCancel, XfUiBoxRole::kAsksToStop, kXfIdCancel},
      {kXfMbOk, XfUiBoxRole::kAsksToStop, kXfIdOk},
  };
  ::XfUiHost& host = MakeInterruptibleHost();
  for (const Case& c : cases) {
    InterruptSoon(host);
    EXPECT_EQ(host.MessageBox(u"Export", u"Stop the export?", c.style, c.role), c.answer) << std::hex << c.style;
  }

  // The first Ctrl-C sends the stop command, whose question the second one
  // answers: the dialog stops.
  TestPresenter dialog(132);
  dialog.accept = 0;
  int32_t stopAnswer = 0;
  dialog.onInit = [&](TestPresenter&, XfDialogModel& model, ::XfUiHost&) {
    model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
    InterruptSoon(host);
  };
  dialog.onCommand = [&](TestPresenter& self, int32_t) {
    InterruptSoon(host);
    stopAnswer = host.MessageBox(u"Export", u"Stop the export?", kXfMbYesNo | kXfMbDefButton2,
                                 XfUiBoxRole::kAsksToStop);
    self.End(stopAnswer == kXfIdYes ? kXfIdCancel : kXfIdOk);
  };
  EXPECT_EQ(host.RunModal(dialog), kXfIdCancel);
  EXPECT_EQ(stopAnswer, kXfIdYes);
}

// Ctrl-C on a dialog that cannot be cancelled now leaves the dialog as it is
// and no quit request behind for the rest of the program.
TEST_F(XfUiHost, CtrlCOnADialogThatRefusesCancelLeavesNoQuitRequest) {
  struct Case {
    const char* name;
    int32_t cancel;
    bool stopEnabled;
    bool busy;
  };
  const Case cases[] = {
      {"disabled stop button", kXfIdCancel, false, false},
      {"no cancel command", 0, true, false},
      {"busy host", kXfIdCancel, true, true},
  };
  ::XfUiHost& host = MakeInterruptibleHost();
  for (const Case& c : cases) {
    TestPresenter dialog(132);
    dialog.accept = 0;
    dialog.cancel = c.cancel;
    dialog.onInit = [&](TestPresenter& self, XfDialogModel& model, ::XfUiHost& h) {
      model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop").SetEnabled(c.stopEnabled);
      h.SetModalBusy(c.busy);
      h.Post([&self, &h] {
        h.Interrupt();
        EXPECT_FALSE(self.HasEnded());
        h.SetModalBusy(false);
        self.End(kXfIdOk);
      });
    };
    EXPECT_EQ(host.RunModal(dialog), kXfIdOk) << c.name;
    EXPECT_TRUE(dialog.commands.empty()) << c.name;
    EXPECT_FALSE(host.IsQuitRequested()) << c.name;
  }
}

}  // namespace
