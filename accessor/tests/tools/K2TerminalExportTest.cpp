// The export as a person runs it in a terminal: the program in a
// pseudo-terminal of 80 columns, answering as typed.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "accessor/tests/app/AccessorTestSupport.h"
#include "accessor/tests/tools/ExportFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace export_fixture;

constexpr int32_t kItems = 50;
constexpr unsigned short kColumns = 80;
constexpr unsigned short kRows = 24;
// Big enough that the conversion of fifty keeps the run going for a while.
constexpr int32_t kPictureWidth = 1600;
constexpr int32_t kPictureHeight = 1200;
constexpr auto kPatience = std::chrono::seconds(60);
constexpr double kShotDay = 45000.5;

// The terminal turns each "\n" the program writes into "\r\n".
constexpr const char* kFormPrompt = "Type a number, or a number and text.\r\n> ";
constexpr const char* kProgressHeading = "== [UI/ExportProgress/0-0] ==";
constexpr const char* kStopQuestion = "[Messages/Confirms/ExportingStop]\r\nYes (y) / No (n) [No] > ";
constexpr const char* kCompletedBox = "\r\n[[UI/ExportProgress/0-0]]\r\n[Messages/Informations/ExportCompleted]";

// The program on the far side of a pseudo-terminal.
class TerminalRun {
 public:
  TerminalRun(const fs::path& program, const std::vector<std::string>& args) {
    winsize size = {};
    size.ws_row = kRows;
    size.ws_col = kColumns;
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ != 0) {
      return;
    }
    unsetenv("KAVO_UI_SCRIPT");
    unsetenv("KAVO_UI_TRANSCRIPT");
    std::vector<std::string> text{program.string()};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : text) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;
  ~TerminalRun() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  bool Started() const { return pid_ > 0; }

  // True once needle has appeared after the last text waited for.
  bool WaitFor(std::string_view needle) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
      const size_t found = text_.find(needle, cursor_);
      if (found != std::string::npos) {
        cursor_ = found + needle.size();
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) return false;
      if (!ReadSome(1000) && ended_) return false;
    }
  }

  void Type(std::string_view text) {
    while (!text.empty()) {
      const ssize_t written = write(master_, text.data(), text.size());
      ASSERT_GT(written, 0);
      text.remove_prefix(static_cast<size_t>(written));
    }
  }

  // The exit status once the program has ended; what it wrote until then.
  // -1 when it is still running after the patience, and then killed.
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    int status = 0;
    for (;;) {
      ReadSome(200);
      if (waitpid(pid_, &status, WNOHANG) == pid_) break;
      if (std::chrono::steady_clock::now() >= deadline) return -1;
    }
    while (ReadSome(0)) {
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

  const std::string& Text() const { return text_; }
  size_t Cursor() const { return cursor_; }

 private:
  bool ReadSome(int timeoutMs) {
    pollfd pfd{master_, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(master_, buffer, sizeof(buffer));
    if (got <= 0) {
      ended_ = true;
      return false;
    }
    text_.append(buffer, static_cast<size_t>(got));
    return true;
  }

  int master_ = -1;
  pid_t pid_ = -1;
  int status_ = -1;
  bool ended_ = false;
  std::string text_;
  size_t cursor_ = 0;
};

// The rows a terminal of kColumns columns shows for text: carriage
// returns go back to the row's start, ESC [ K erases to its end, other
// escapes are skipped; a character past the last column wraps (counted).
struct Rows {
  std::vector<std::string> rows{std::string()};
  size_t wraps = 0;
};
Rows ShowOnScreen(std::string_view text) {
  Rows screen;
  size_t column = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    std::string& row = screen.rows.back();
    if (ch == '\x1b' && i + 1 < text.size() && text[i + 1] == '[') {
      size_t end = i + 2;
      while (end < text.size() && !(text[end] >= '@' && text[end] <= '~')) ++end;
      if (end < text.size() && text[end] == 'K') row.resize(std::min(row.size(), column));
      i = end;
    } else if (ch == '\r') {
      column = 0;
    } else if (ch == '\n') {
      screen.rows.emplace_back();
      column = 0;
    } else if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) {
      if (column == kColumns) {
        ++screen.wraps;
        screen.rows.emplace_back();
        column = 0;
      }
      std::string& current = screen.rows.back();
      if (current.size() <= column) current.resize(column + 1, ' ');
      current[column++] = ch;
    }
  }
  return screen;
}

class K2TerminalExport : public accessor_test::AccessorTest {
 protected:
  void SetUp() override {
    AccessorTest::SetUp();
    fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    MakeCamera(*fake_, Root() / "cam", 0);
    WriteRegistry(Root() / "tmp", true);
    std::vector<HandOverContent> contents;
    for (int32_t number = 1; number <= kItems; ++number) {
      char name[32];
      std::snprintf(name, sizeof(name), "IMG_%04d.JPG", number);
      const fs::path picture = Root() / "pc" / name;
      WritePicture(picture, kPictureWidth, kPictureHeight, "2023:03:15 12:00:00");
      contents.push_back({{picture}, kPictureType, kShotDay, {}});
    }
    WriteHandOver(Root() / "h.xml", contents);
  }

  // Starts the export and confirms it; true once its progress shows.
  bool StartAndConfirm(TerminalRun& run) {
    if (!run.Started() || !run.WaitFor("== [UI/ExportConfirm/0-0] ==") || !run.WaitFor(kFormPrompt)) {
      return false;
    }
    run.Type("\n");
    return run.WaitFor(kProgressHeading);
  }

  std::unique_ptr<testsupport::FakeSysfs> fake_;
};

// Fifty pictures scroll the progress dialog's heading once; everything
// else it shows is one status line redrawn in place.
TEST_F(K2TerminalExport, ProgressOfFiftyItemsPrintsAHandfulOfLines) {
  TerminalRun run(ProgramCopy(), {"-export", (Root() / "h.xml").string()});
  ASSERT_TRUE(StartAndConfirm(run)) << run.Text();
  const size_t progressStart = run.Cursor() - std::string_view(kProgressHeading).size();
  ASSERT_TRUE(run.WaitFor(kCompletedBox)) << run.Text();
  const size_t progressEnd = run.Cursor() - std::string_view(kCompletedBox).size();
  ASSERT_TRUE(run.WaitFor("OK (o) [OK] > ")) << run.Text();
  run.Type("\n");
  EXPECT_EQ(run.Wait(), 0) << run.Text();

  const std::string progress = run.Text().substr(progressStart, progressEnd - progressStart);
  const Rows screen = ShowOnScreen(progress);
  EXPECT_EQ(screen.wraps, 0u) << progress;
  std::vector<std::string> filled;
  for (const std::string& row : screen.rows) {
    if (!row.empty()) filled.push_back(row);
  }
  // The heading, the stop button, the hint and the status line.
  ASSERT_LE(filled.size(), 4u) << progress;
  ASSERT_FALSE(filled.empty()) << progress;
  const std::string& status = filled.back();
  EXPECT_EQ(status.rfind("[", 0), 0u) << progress;
  // The bar with its percentage, then the time left beside its label.
  EXPECT_NE(status.find(" %  [UI/CommonConfirm/8-1] [Format/Duration/"), std::string::npos) << progress;
  EXPECT_LT(status.size(), kColumns) << progress;
  size_t published = 0;
  for (const auto& entry : fs::recursive_directory_iterator(Root() / "cam" / "DCIM")) {
    published += entry.path().extension() == ".JPG" ? 1 : 0;
  }
  EXPECT_EQ(published, static_cast<size_t>(kItems));
}

// The first Ctrl-C asks whether to stop; the second one answers it: the
// export stops and the program ends as cancelled.
TEST_F(K2TerminalExport, CtrlCTwiceStopsTheExport) {
  TerminalRun run(ProgramCopy(), {"-export", (Root() / "h.xml").string()});
  ASSERT_TRUE(StartAndConfirm(run)) << run.Text();
  // Ctrl-C, as typed: the terminal sends SIGINT to the program.
  run.Type("\x03");
  ASSERT_TRUE(run.WaitFor(kStopQuestion)) << run.Text();
  run.Type("\x03");
  EXPECT_EQ(run.Wait(), 2) << run.Text();
  EXPECT_EQ(run.Text().find("[Messages/Informations/ExportCompleted]"), std::string::npos) << run.Text();
}

}  // namespace
