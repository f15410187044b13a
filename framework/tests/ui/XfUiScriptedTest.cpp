#include "framework/ui/backend/XfUiScriptedBackend.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/backend/XfUiBackendFactory.h"
#include "framework/ui/backend/XfUiScript.h"
#include "framework/ui/backend/XfUiTranscript.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using ui_test::AddOkCancel;
using ui_test::Lines;
using ui_test::LinesStartingWith;
using ui_test::MakeScriptedHost;
using ui_test::TestPresenter;

using XfUiScripted = testsupport::HermeticTest;

Lines NewLines() { return std::make_shared<std::vector<std::string>>(); }

TEST_F(XfUiScripted, ParsesStepsWithTheirConditionsAndActions) {
  const char* text =
      "# a comment\n"
      "option clock real\n"
      "option timeout 2500\n"
      "box \"Stop?\" press no   # trailing comment\n"
      "form 157 when 1011 != \"Calculating\" press 1\n"
      "form \"Settings\" check 1016 off type 1012 \"C:\\\\tmp \\\"x\\\"\" click 1022 cancel\n"
      "form 132 at 50 % press 2\n"
      "form * at 75% press 2\n"
      "folder * pick \"/tmp\"\n"
      "wait 300\n";
  XfUiScript script;
  std::string error;
  ASSERT_TRUE(XfUiScript::Parse(text, &script, &error)) << error;
  EXPECT_TRUE(script.realClock);
  EXPECT_EQ(script.timeoutMs, 2500);
  ASSERT_EQ(script.steps.size(), 7u);

  const XfUiStep& box = script.steps[0];
  EXPECT_EQ(box.kind, XfUiStepKind::kBox);
  EXPECT_EQ(box.line, 4);
  EXPECT_EQ(box.source, "box \"Stop?\" press no");
  EXPECT_EQ(box.matchText, u"Stop?");
  ASSERT_EQ(box.actions.size(), 1u);
  EXPECT_EQ(box.actions[0].id, kXfIdNo);

  const XfUiStep& confirm = script.steps[1];
  EXPECT_EQ(confirm.dialogId, 157);
  EXPECT_EQ(confirm.condition.kind, XfUiConditionKind::kTextDiffers);
  EXPECT_EQ(confirm.condition.id, 1011);
  EXPECT_EQ(confirm.condition.text, u"Calculating");

  const XfUiStep& settings = script.steps[2];
  EXPECT_EQ(settings.matchText, u"Settings");
  ASSERT_EQ(settings.actions.size(), 4u);
  EXPECT_EQ(settings.actions[0].kind, XfUiActionKind::kCheck);
  EXPECT_FALSE(settings.actions[0].on);
  EXPECT_EQ(settings.actions[1].kind, XfUiActionKind::kType);
  EXPECT_EQ(settings.actions[1].text, u"C:\\tmp \"x\"");
  EXPECT_EQ(settings.actions[2].kind, XfUiActionKind::kClick);
  EXPECT_EQ(settings.actions[3].kind, XfUiActionKind::kCancel);

  EXPECT_EQ(script.steps[3].condition.kind, XfUiConditionKind::kPercentAtLeast);
  EXPECT_EQ(script.steps[3].condition.percent, 50);
  EXPECT_EQ(script.steps[4].condition.percent, 75);
  EXPECT_TRUE(script.steps[4].matchAny);
  EXPECT_EQ(script.steps[5].kind, XfUiStepKind::kFolder);
  EXPECT_EQ(script.steps[5].actions[0].text, u"/tmp");
  EXPECT_EQ(script.steps[6].kind, XfUiStepKind::kWait);
  EXPECT_EQ(script.steps[6].waitMs, 300);
}

TEST_F(XfUiScripted, RefusesWhatIsNoScriptNamingTheLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"box \"x\"\n", "line 1: the step has no action"},
      {"\nbox \"x\" press maybe\n", "line 2: \"press\" needs a button of the box"},
      {"form 1 press\n", "line 1: a control id is missing"},
      {"box 157 press ok\n", "line 1: cannot match \"157\""},
      {"folder * type 1 \"x\"\n", "line 1: \"type\" is no action of a folder step"},
      {"form 1 when 5 ~ \"x\" press 1\n", "line 1: unknown test \"~\""},
      {"form 1 at 150 % press 1\n", "line 1: \"at\" needs a percentage"},
      {"box \"unterminated press ok\n", "line 1: unterminated text"},
      {"option clock sundial\n", "line 1: unknown option \"clock sundial\""},
      {"dance \"x\" press 1\n", "line 1: unknown step \"dance\""},
      {"wait soon\n", "line 1: \"wait\" needs milliseconds"},
  };
  for (const Case& c : cases) {
    XfUiScript script;
    std::string error;
    EXPECT_FALSE(XfUiScript::Parse(c.text, &script, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

TEST_F(XfUiScripted, QuotesTranscriptTextAsEscapedUtf8) {
  struct Case {
    XpString text;
    std::string quoted;
  };
  const Case cases[] = {
      {u"plain", "\"plain\""},
      {u"say \"hi\"\\", "\"say \\\"hi\\\"\\\\\""},
      {u"a\nb\tc\r", "\"a\\nb\\tc\\r\""},
      {u"\x01\x7f", "\"\\x01\\x7F\""},
      {u"Gr\u00fc\u00dfe \u65e5", "\"Gr\xc3\xbc\xc3\x9f" "e \xe6\x97\xa5\""},
      // A byte that is not UTF-8 (kept in a lone surrogate) is written in hex.
      {u"\xdc80x", "\"\\x80x\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XfUiTranscript::Quote(c.text), c.quoted);
  }
}

TEST_F(XfUiScripted, UnexpectedBoxFailsTheRun) {
  Lines lines = NewLines();
  auto host = MakeScriptedHost("form 157 press 1\n", lines);
  EXPECT_EQ(host->MessageBox(u"Orvane", u"Disk full", kXfMbYesNoCancel | kXfMbIconExclamation), kXfIdCancel);
  EXPECT_TRUE(host->HasFailed());
  EXPECT_EQ(host->Result(), kXpErrGeneric);
  EXPECT_EQ(host->Finish(), 1);
  const std::vector<std::string> expected = {
      "box \"Orvane\" \"Disk full\" style 0x33 buttons Yes/No/Cancel default Yes",
      "unexpected box \"Orvane\" \"Disk full\" style 0x33 buttons Yes/No/Cancel default Yes",
      "box answer Cancel",
  };
  EXPECT_EQ(*lines, expected);
}

TEST_F(XfUiScripted, StepWhoseConditionNeverHoldsFailsAtItsTimeOut) {
  Lines lines = NewLines();
  auto host = MakeScriptedHost("form 700 when 1011 == \"done\" press 1\n", lines);
  TestPresenter dialog(700);
  int ticks = 0;
  dialog.onInit = [&](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    AddOkCancel(model, u"Waiting");
    model.Add(1011, XfItemKind::kStatic, u"working");
    h.SetTimer(&self, 1, 100);
  };
  dialog.onTimer = [&](TestPresenter&, uint32_t) { ++ticks; };
  EXPECT_EQ(host->RunModal(dialog), kXfIdCancel);
  EXPECT_EQ(host->NowMs(), 10000);
  EXPECT_EQ(ticks, 100);
  EXPECT_TRUE(host->HasFailed());
  EXPECT_EQ(LinesStartingWith(*lines, "unexpected"),
            std::vector<std::string>(
                {"unexpected timeout after 10000 ms: line 1 not met: form 700 when 1011 == \"done\" press 1"}));
  EXPECT_EQ(lines->back(), "form 700 end 2");
}

// The dialog a step waits on ends before the step's condition held: the
// failure names that step, not the box that comes next.
TEST_F(XfUiScripted, StepWhoseDialogEndsBeforeItsConditionIsNamed) {
  Lines lines = NewLines();
  auto host = MakeScriptedHost("form 700 when 1011 == \"done\" press 1\nbox \"Finished\" press ok\n", lines);
  TestPresenter dialog(700);
  dialog.onInit = [](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    AddOkCancel(model, u"Waiting");
    model.Add(1011, XfItemKind::kStatic, u"working");
    h.SetTimer(&self, 1, 100);
  };
  dialog.onTimer = [](TestPresenter& self, uint32_t) { self.End(kXfIdOk); };
  EXPECT_EQ(host->RunModal(dialog), kXfIdOk);
  EXPECT_EQ(host->MessageBox(u"Export", u"Finished", kXfMbOk), kXfIdOk);
  EXPECT_TRUE(host->HasFailed());
  EXPECT_EQ(LinesStartingWith(*lines, "unexpected"),
            std::vector<std::string>(
                {"unexpected form 700 end: line 1 not met: form 700 when 1011 == \"done\" press 1"}));
}

// A box over the dialog a step waits on names the step beside the box.
TEST_F(XfUiScripted, BoxOverADialogAStepWaitsOnNamesTheStep) {
  Lines lines = NewLines();
  auto host = MakeScriptedHost("form 700 at 100 % press 1\n", lines);
  TestPresenter dialog(700);
  int32_t answer = 0;
  dialog.onInit = [&](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    AddOkCancel(model, u"Copying");
    model.Add(1007, XfItemKind::kProgress).Progress()->SetPos(40);
    h.SetTimer(&self, 1, 100);
  };
  dialog.onTimer = [&](TestPresenter& self, uint32_t id) {
    host->KillTimer(&self, id);
    answer = host->MessageBox(u"Export", u"Disk full", kXfMbOk);
  };
  EXPECT_EQ(host->RunModal(dialog), kXfIdCancel);
  EXPECT_EQ(answer, kXfIdOk);
  EXPECT_EQ(LinesStartingWith(*lines, "unexpected"),
            std::vector<std::string>({"unexpected box \"Export\" \"Disk full\" style 0x0 buttons OK default OK"
                                      " while line 1 not met: form 700 at 100 % press 1"}));
}

TEST_F(XfUiScripted, StepsLeftAtTheEndFailTheRun) {
  Lines lines = NewLines();
  auto host = MakeScriptedHost("box * press ok\nbox \"never\" press ok\n", lines);
  EXPECT_EQ(host->MessageBox(u"A", u"first", kXfMbOk), kXfIdOk);
  EXPECT_FALSE(host->HasFailed());
  EXPECT_EQ(host->Finish(), 1);
  EXPECT_EQ(lines->back(), "unexpected end: line 2 not met: box \"never\" press ok");
}

TEST_F(XfUiScripted, WaitLetsClockTimePass) {
  Lines lines = NewLines();
  auto host = MakeScriptedHost("wait 300\nform 5 when 9 == \"3\" press 1\n", lines);
  TestPresenter dialog(5);
  int ticks = 0;
  dialog.onInit = [&](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    AddOkCancel(model, u"Ticks");
    model.Add(9, XfItemKind::kStatic, u"0");
    h.SetTimer(&self, 1, 100);
  };
  dialog.onTimer = [&](TestPresenter& self, uint32_t) {
    XpString text;
    EXPECT_EQ(text.Format(u"%d", ++ticks), kXpOk);
    self.Model().SetText(9, text);
  };
  EXPECT_EQ(host->RunModal(dialog), kXfIdOk);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(host->NowMs(), 300);
  EXPECT_FALSE(host->HasFailed());
  EXPECT_EQ(LinesStartingWith(*lines, "wait"), std::vector<std::string>({"wait 300"}));
}

// A small program: a dialog whose bar glides under a timer, a question
// from a nested step, a refused folder and a final box.
std::vector<std::string> RunSmallProgram() {
  Lines lines = NewLines();
  auto host = MakeScriptedHost(
      "form 132 at 40 % press 2\n"
      "box \"Stop?\" press yes\n"
      "folder * pick \"/nonexistent/kavo-ui-test\"\n"
      "folder * cancel\n"
      "box \"Done\" press ok\n",
      lines);
  TestPresenter progress(132);
  progress.accept = 0;
  int32_t target = 0;
  progress.onInit = [&](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    model.SetTitle(u"Progress");
    model.Add(1007, XfItemKind::kProgress);
    model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
    h.SetTimer(&self, 1, 250);
  };
  progress.onTimer = [&](TestPresenter& self, uint32_t) {
    target += 10;
    self.Model().Progress(1007)->SetPos(target);
  };
  progress.onCommand = [&](TestPresenter& self, int32_t id) {
    if (host->MessageBox(u"Demo", u"Stop?", kXfMbYesNo | kXfMbDefButton2) == kXfIdYes) {
      self.End(id);
    }
  };
  host->RunModal(progress);
  host->PickFolder(u"Folder", u"Pick one", u"Use", u"/tmp", [](const XpString& path) {
    return path == u"/tmp" ? XfFolderCheck::Ok() : XfFolderCheck::Refuse(u"no such folder");
  });
  host->MessageBox(u"Demo", u"Done", kXfMbOk);
  EXPECT_EQ(host->Finish(), 0);
  return *lines;
}

TEST_F(XfUiScripted, TheSameScriptGivesTheSameTranscriptTwice) {
  const std::vector<std::string> first = RunSmallProgram();
  const std::vector<std::string> second = RunSmallProgram();
  EXPECT_EQ(first, second);
  EXPECT_EQ(LinesStartingWith(first, "unexpected"), std::vector<std::string>());
  EXPECT_EQ(LinesStartingWith(first, "form 132 progress 1007 40 %").size(), 1u);
  EXPECT_EQ(LinesStartingWith(first, "folder refused"),
            std::vector<std::string>({"folder refused \"no such folder\""}));
  EXPECT_EQ(first.back(), "box answer OK");
}

TEST_F(XfUiScripted, TheEnvironmentChoosesTheScriptAndTheTranscriptFile) {
  const std::string script = (Root() / "ui.script").string();
  const std::string transcript = (Root() / "transcript.txt").string();
  std::ofstream(script) << "box \"hello\" press no\n";
  SetEnv(kXfUiScriptVariable, script);
  SetEnv(kXfUiTranscriptVariable, transcript);
  std::string error;
  std::unique_ptr<XfUiBackend> backend = XfUiCreateBackend(&error);
  ASSERT_NE(backend, nullptr) << error;
  EXPECT_TRUE(backend->UsesVirtualClock());
  {
    XfUiHostOptions options;
    options.catchSignals = false;
    XfUiHost host(std::move(backend), options);
    EXPECT_EQ(host.MessageBox(u"Demo", u"hello", kXfMbYesNo), kXfIdNo);
  }
  std::stringstream content;
  content << std::ifstream(transcript).rdbuf();
  EXPECT_EQ(content.str(),
            "box \"Demo\" \"hello\" style 0x4 buttons Yes/No default Yes\n"
            "box answer No\n");

  SetEnv(kXfUiScriptVariable, (Root() / "missing.script").string());
  EXPECT_EQ(XfUiCreateBackend(&error), nullptr);
  EXPECT_NE(error.find("cannot read the script"), std::string::npos) << error;
}

}  // namespace
