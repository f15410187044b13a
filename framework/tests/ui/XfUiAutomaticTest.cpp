#include "framework/ui/backend/XfUiAutomaticBackend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using ui_test::AddOkCancel;
using ui_test::TestPresenter;

// A host on the automatic back end (virtual clock) whose echo goes to a pipe.
class AutomaticFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    ASSERT_EQ(pipe2(echo_, O_CLOEXEC | O_NONBLOCK), 0);
  }
  void TearDown() override {
    host_.reset();
    close(echo_[0]);
    close(echo_[1]);
    HermeticTest::TearDown();
  }

  XfUiHost& MakeHost(bool yes = false) {
    XfUiHostOptions options;
    options.yes = yes;
    options.catchSignals = false;
    host_.reset();
    host_ = std::make_unique<XfUiHost>(std::make_unique<XfUiAutomaticBackend>(echo_[1], true), options);
    return *host_;
  }

  std::string Echoed() {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(echo_[0], buffer, sizeof(buffer))) > 0) {
      text.append(buffer, static_cast<size_t>(got));
    }
    return text;
  }

  int echo_[2] = {-1, -1};
  std::unique_ptr<XfUiHost> host_;
};

using XfUiAutomatic = AutomaticFixture;

TEST_F(XfUiAutomatic, EveryBoxTakesItsDefaultButton) {
  struct Case {
    uint32_t style;
    int32_t answer;
  };
  const Case cases[] = {
      {0x134, kXfIdNo},      // Yes/No, second default, exclamation
      {0x41, kXfIdOk},       // OK/Cancel, information
      {0x24, kXfIdYes},      // Yes/No, question
      {0x203, kXfIdCancel},  // Yes/No/Cancel, third default
      {0x2, kXfIdAbort},     // Abort/Retry/Ignore
      {0x305, kXfIdRetry},   // a fourth default that does not exist: the first
      {0x30, kXfIdOk},
  };
  XfUiHost& host = MakeHost();
  for (const Case& c : cases) {
    EXPECT_EQ(host.MessageBox(u"Orvane", u"Question", c.style), c.answer) << std::hex << c.style;
  }
  host.MessageBox(u"Export", u"Stop the export?", 0x134);
  const std::string echoed = Echoed();
  EXPECT_NE(echoed.find("[Export] Stop the export? -> No\n"), std::string::npos) << echoed;
}

TEST_F(XfUiAutomatic, ConfirmationIsDeclinedUnlessYesAndOtherDialogsAccepted) {
  struct Case {
    bool confirmation;
    bool yes;
    int32_t code;
  };
  const Case cases[] = {
      {true, false, kXfIdCancel},
      {true, true, kXfIdOk},
      {false, false, kXfIdOk},
  };
  for (const Case& c : cases) {
    XfUiHost& host = MakeHost(c.yes);
    TestPresenter dialog(157);
    dialog.confirmation = c.confirmation;
    dialog.onInit = [](TestPresenter&, XfDialogModel& model, XfUiHost&) { AddOkCancel(model, u"Export"); };
    EXPECT_EQ(host.RunModal(dialog), c.code) << c.confirmation << c.yes;
    EXPECT_EQ(dialog.commands, std::vector<int32_t>({c.code}));
  }
}

// The host tells when a confirmation went unanswered for want of a person,
// so that the program can say why nothing happened.
TEST_F(XfUiAutomatic, DeclinedConfirmationIsRecordedForTheProgramToTell) {
  struct Case {
    const char* name;
    bool yes;
    bool dialog;
    bool confirmation;
    bool declined;
  };
  const Case cases[] = {
      {"confirmation dialog", false, true, true, true},
      {"confirmation dialog with --yes", true, true, true, false},
      {"other dialog", false, true, false, false},
      {"question box", false, false, true, true},
      {"question box with --yes", true, false, true, false},
      {"information box", false, false, false, false},
  };
  for (const Case& c : cases) {
    XfUiHost& host = MakeHost(c.yes);
    EXPECT_FALSE(host.HasDeclinedUnattended()) << c.name;
    if (c.dialog) {
      TestPresenter dialog(157);
      dialog.confirmation = c.confirmation;
      dialog.onInit = [](TestPresenter&, XfDialogModel& model, XfUiHost&) { AddOkCancel(model, u"Export"); };
      host.RunModal(dialog);
    } else {
      const uint32_t style = c.confirmation ? kXfMbOkCancel | kXfMbIconQuestion : kXfMbOk | kXfMbIconInformation;
      host.MessageBox(u"Import", u"Go on?", style);
    }
    EXPECT_EQ(host.HasDeclinedUnattended(), c.declined) << c.name;
  }
}

TEST_F(XfUiAutomatic, FolderPickerGivesNothing) {
  XfUiHost& host = MakeHost(true);
  EXPECT_FALSE(host.PickFolder(u"Folder", u"Pick", u"OK", u"/tmp", nullptr).has_value());
  EXPECT_EQ(Echoed(), "[Folder] no folder chosen\n");
}

TEST_F(XfUiAutomatic, DialogThatStaysOpenIsCancelledASecondLater) {
  XfUiHost& host = MakeHost();
  TestPresenter dialog(500);
  dialog.onInit = [](TestPresenter&, XfDialogModel& model, XfUiHost&) {
    AddOkCancel(model, u"Form");
    model.SetEnabled(kXfIdOk, false);
  };
  EXPECT_EQ(host.RunModal(dialog), kXfIdCancel);
  EXPECT_EQ(dialog.commands, std::vector<int32_t>({kXfIdCancel}));
  EXPECT_EQ(host.NowMs(), 1000);
}

TEST_F(XfUiAutomatic, DialogWithoutAcceptCommandEndsByItself) {
  XfUiHost& host = MakeHost();
  TestPresenter progress(132);
  progress.accept = 0;
  progress.onInit = [](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
    h.SetTimer(&self, 1, 5000);
  };
  progress.onTimer = [](TestPresenter& self, uint32_t) { self.End(kXfIdOk); };
  EXPECT_EQ(host.RunModal(progress), kXfIdOk);
  EXPECT_TRUE(progress.commands.empty());
  EXPECT_EQ(host.NowMs(), 5000);
}

}  // namespace
