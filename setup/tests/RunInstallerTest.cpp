#include "setup/launch/RunInstaller.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/ui/backend/XfUiScript.h"
#include "framework/ui/backend/XfUiScriptedBackend.h"
#include "framework/ui/backend/XfUiTranscript.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/testsupport/ForkedChild.h"
#include "setup/launch/CPrepareMsgDlg.h"
#include "setup/tests/LaunchTestSupport.h"
#include "setup/tests/SetupTestSupport.h"
#include "setup/tests/tools/RecordingMsiexec.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Real time for the notice: the installer runs on the real clock.
constexpr const char* kWaitingScript = "option clock real\noption timeout 600000\n";

class RunInstallerFixture : public setuptest::SetupFixture {
 protected:
  void SetUp() override {
    SetupFixture::SetUp();
    std::string error;
    fs::create_directories(Program().parent_path());
    ASSERT_TRUE(setuptest::WriteRecordingMsiexec(Program().string(), &error)) << error;
    SetEnv("MSIEXEC_RECORD", Record().string());
    host_ = MakeHost();
  }

  // A scripted host whose transcript also notes, when the notice ends,
  // whether the installer had ended by then.
  std::unique_ptr<XfUiHost> MakeHost() {
    XfUiScript script;
    std::string error;
    EXPECT_TRUE(XfUiScript::Parse(kWaitingScript, &script, &error)) << error;
    auto transcript = std::make_unique<XfUiTranscript>([this](std::string_view line) {
      lines_->emplace_back(line);
      if (line.starts_with("form") && line.find(" end ") != std::string_view::npos) {
        const auto runs = Runs();
        installerEndedAtWindowEnd_ = !runs.empty() && runs.back().endNs != 0;
      }
    });
    auto backend = std::make_unique<XfUiScriptedBackend>(std::move(script), std::move(transcript));
    XfUiHostOptions options;
    options.catchSignals = false;
    return std::make_unique<XfUiHost>(std::move(backend), options);
  }

  fs::path Program() const { return Root() / "bin/Msiexec"; }
  fs::path Record() const { return Root() / "record"; }
  std::vector<setuptest::MsiexecRun> Runs() const { return setuptest::ReadMsiexecRecord(Record().string()); }

  // Runs the installer on a worker while this thread is the UI thread,
  // with the notice shown when window is set; the notice is ended after it.
  uint32_t Run(bool prepareMsg, bool window) {
    InstallerLaunch launch;
    launch.program = XpString::FromUtf8(Program().string());
    launch.command = u" /I \"a b.msi\" REBOOT=ReallySuppress";
    launch.workingFolder = ProgramFolder();
    launch.prepareMsg = prepareMsg;
    if (window) {
      window_ = std::make_unique<PreparingWindow>(*host_, u"QMV");
      window_->Start();
      launch.window = window_.get();
    }
    std::atomic<bool> done{false};
    uint32_t exitCode = 0;
    std::thread worker([&] {
      exitCode = RunInstaller(launch);
      // As setup does at its end: the notice's loop must be left.
      endedByRun_ = window_ && window_->HasEnded();
      if (window_) window_->End();
      done = true;
      host_->Post([] {});
    });
    host_->RunUntil([&] { return done.load(); });
    worker.join();
    return exitCode;
  }

  // The notice was shown and ended, as the transcript says.
  bool WindowShownAndEnded() const {
    bool shown = false;
    bool ended = false;
    for (const std::string& line : *lines_) {
      if (!line.starts_with("form")) continue;
      if (line.find(" show \"QMV Installer\"") != std::string::npos) shown = true;
      if (line.find(" end ") != std::string::npos) ended = true;
    }
    return shown && ended;
  }

  setuptest::Lines lines_ = std::make_shared<std::vector<std::string>>();
  std::unique_ptr<XfUiHost> host_;
  std::unique_ptr<PreparingWindow> window_;
  std::optional<bool> installerEndedAtWindowEnd_;
  // The notice had ended when RunInstaller returned.
  bool endedByRun_ = false;
};
using RunInstaller = RunInstallerFixture;

TEST_F(RunInstaller, WithoutPrepareMsgNoSemaphoreExistsAndTheExitCodeIsTaken) {
  SetEnv("MSIEXEC_PROBE", "1");
  EXPECT_EQ(Run(false, false), 0u);
  const auto runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].probe, "absent");
  EXPECT_EQ(runs[0].arguments, (std::vector<std::string>{"/I", "a b.msi", "REBOOT=ReallySuppress"}));
  EXPECT_EQ(runs[0].workingFolder, ProgramDir().string());
}

TEST_F(RunInstaller, TheNoticeEndsAndTheExitCodeIsTakenAfterTheInstallerEnded) {
  struct Case {
    const char* name;
    bool release;
    const char* sleep;
    const char* exitCode;
    uint32_t expected;
    // Whether the installer had ended as the notice ended; unset when racy.
    std::optional<bool> installerEndedAtWindowEnd;
  };
  const Case cases[] = {
      {"released, then 0 a second later", true, "1", "0", 0, false},
      {"released, then 5", true, "", "5", 5, std::nullopt},
      {"released, then 0 a moment later", true, "0.3", "0", 0, std::nullopt},
      {"1603 without releasing", false, "", "1603", 1603 & 0xFF, true},
      {"3010", true, "", "3010", 3010 & 0xFF, std::nullopt},
      {"7 without releasing", false, "", "7", 7, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(Record());
    lines_->clear();
    installerEndedAtWindowEnd_.reset();
    SetEnv("MSIEXEC_RELEASE", c.release ? "1" : "");
    SetEnv("MSIEXEC_SLEEP", c.sleep);
    SetEnv("MSIEXEC_EXIT", c.exitCode);
    EXPECT_EQ(Run(true, true), c.expected);
    EXPECT_TRUE(endedByRun_);
    EXPECT_TRUE(WindowShownAndEnded());
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].released, c.release);
    if (c.installerEndedAtWindowEnd) {
      EXPECT_EQ(installerEndedAtWindowEnd_, c.installerEndedAtWindowEnd);
    }
  }
}

TEST_F(RunInstaller, ASemaphoreThatExistedLeavesTheWaitToTheInstallerAlone) {
  testsupport::ForkedChild holder;
  ASSERT_TRUE(holder.Start([](testsupport::ChildChannel& channel) {
    XpNamedObject semaphore;
    if (XpFailed(semaphore.CreateSemaphore(kSetupPrepareSemaphoreName, 0, 1))) return 1;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(holder.WaitReady());
  SetEnv("MSIEXEC_SLEEP", "0.3");
  EXPECT_EQ(Run(true, true), 0u);
  const auto runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NE(runs[0].endNs, 0);
  // Nobody released the semaphore: the notice stayed until setup ended it.
  EXPECT_FALSE(endedByRun_);
  holder.LetGo();
  EXPECT_EQ(holder.Wait(), 0);
}

TEST_F(RunInstaller, AnInstallerThatCannotStartGivesTheNotStartedCode) {
  struct Case {
    const char* name;
    XpString program;
  };
  const Case cases[] = {
      {"no program", XpString()},
      {"missing program", XpString::FromUtf8((Root() / "missing/Msiexec").string())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InstallerLaunch launch;
    launch.program = c.program;
    EXPECT_EQ(::RunInstaller(launch), kSetupInstallerNotStarted);
    EXPECT_TRUE(Runs().empty());
  }
}

TEST_F(RunInstaller, ThePreparingNoticeSaysWhatItIs) {
  CPrepareMsgDlg named(u"Foo", u"");
  CPrepareMsgDlg unnamed(u"", u"");
  EXPECT_EQ(named.Caption(), u"Foo Installer");
  EXPECT_EQ(unnamed.Caption(), u"QMV Installer");
  EXPECT_EQ(unnamed.Text(), u"Preparing. Please wait...");
  for (int32_t command : {1, 2}) {
    CPrepareMsgDlg dialog(u"", u"");
    dialog.OnCommand(command);
    EXPECT_TRUE(dialog.HasEnded());
    EXPECT_EQ(dialog.EndCode(), command);
  }
  CPrepareMsgDlg other(u"", u"");
  other.OnCommand(3);
  EXPECT_FALSE(other.HasEnded());
}

}  // namespace
