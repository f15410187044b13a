#include "framework/ui/backend/XfUiTerminalBackend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/backend/XfUiTerminalFormat.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fmt = XfUiTerminalFormat;
using ui_test::AddOkCancel;
using ui_test::TestPresenter;

constexpr auto kPatience = std::chrono::seconds(10);
constexpr unsigned short kPtyRows = 24;

void WriteText(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    ASSERT_GT(written, 0);
    text.remove_prefix(static_cast<size_t>(written));
  }
}

// Collects what a descriptor gives and waits for texts in it, each after
// the one waited for before.
class OutputReader {
 public:
  explicit OutputReader(int fd) : fd_(fd) {}

  // True once needle has appeared after the last text waited for.
  bool WaitFor(std::string_view needle) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
      const size_t found = text_.find(needle, cursor_);
      if (found != std::string::npos) {
        cursor_ = found + needle.size();
        return true;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) {
        return false;
      }
    }
  }

  // Reads what is there until the descriptor ends (or stays silent).
  void Drain() {
    while (ReadSome(200)) {
    }
  }

  const std::string& Text() const { return text_; }

 private:
  bool ReadSome(int timeoutMs) {
    pollfd pfd{fd_, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0) {
      return false;
    }
    char buffer[4096];
    const ssize_t got = read(fd_, buffer, sizeof(buffer));
    if (got <= 0) {
      return false;
    }
    text_.append(buffer, static_cast<size_t>(got));
    return true;
  }

  int fd_;
  std::string text_;
  size_t cursor_ = 0;
};

// What a terminal of a fixed width shows for the bytes it is given: '\r',
// '\n', ESC [ K (erase to the end of the line), other escape sequences
// skipped. A character written past the last column moves to the next row,
// as a terminal wraps; each such wrap is counted with the row it left.
class Screen {
 public:
  explicit Screen(size_t columns) : columns_(columns), rows_(1) {}

  void Feed(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const char ch = bytes[i];
      if (ch == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
        size_t end = i + 2;
        while (end < bytes.size() && !(bytes[end] >= '@' && bytes[end] <= '~')) ++end;
        if (end < bytes.size() && bytes[end] == 'K') Row().resize(std::min(Row().size(), column_));
        i = end;
      } else if (ch == '\r') {
        column_ = 0;
      } else if (ch == '\n') {
        NextRow();
      } else if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) {
        Put(ch);
      }
    }
  }

  const std::vector<std::string>& Rows() const { return rows_; }
  const std::vector<std::string>& WrappedRows() const { return wrapped_; }

 private:
  std::string& Row() { return rows_[row_]; }

  void NextRow() {
    ++row_;
    column_ = 0;
    if (row_ == rows_.size()) rows_.emplace_back();
  }

  void Put(char ch) {
    if (column_ == columns_) {
      wrapped_.push_back(Row());
      NextRow();
    }
    if (Row().size() <= column_) Row().resize(column_ + 1, ' ');
    Row()[column_++] = ch;
  }

  size_t columns_;
  std::vector<std::string> rows_;
  std::vector<std::string> wrapped_;
  size_t row_ = 0;
  size_t column_ = 0;
};

// A host on the terminal back end, over pipes or over a pseudo-terminal.
class TerminalFixture : public testsupport::HermeticTest {
 protected:
  void TearDown() override {
    host_.reset();
    for (int fd : fds_) {
      close(fd);
    }
    HermeticTest::TearDown();
  }

  // The test writes to input_ and reads output_.
  XfUiHost& OverPipes(bool virtualClock = false) {
    int in[2];
    int out[2];
    EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    fds_ = {in[0], in[1], out[0], out[1]};
    input_ = in[1];
    output_ = out[0];
    return MakeHost(std::make_unique<XfUiTerminalBackend>(in[0], out[1], false, virtualClock));
  }

  // The test writes to and reads from the master side; columns 0 leaves
  // the terminal's size unset.
  XfUiHost& OverPty(unsigned short columns = 0) {
    int master = -1;
    int slave = -1;
    winsize size = {};
    size.ws_row = kPtyRows;
    size.ws_col = columns;
    EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, columns > 0 ? &size : nullptr), 0);
    fds_ = {master, slave};
    input_ = master;
    output_ = master;
    return MakeHost(std::make_unique<XfUiTerminalBackend>(slave, slave, true));
  }

  void EndInput() {
    close(input_);
    std::erase(fds_, input_);
  }

  XfUiHost& MakeHost(std::unique_ptr<XfUiBackend> backend) {
    XfUiHostOptions options;
    options.catchSignals = false;
    host_ = std::make_unique<XfUiHost>(std::move(backend), options);
    return *host_;
  }

  std::vector<int> fds_;
  int input_ = -1;
  int output_ = -1;
  std::unique_ptr<XfUiHost> host_;
};

using XfUiTerminal = TerminalFixture;

TEST_F(XfUiTerminal, BoxAnswersByInitialLetterNameOrEnter) {
  struct Case {
    uint32_t style;
    const char* line;
    int32_t answer;
  };
  const Case cases[] = {
      {kXfMbYesNo, "y", kXfIdYes},       {kXfMbYesNo, " N ", kXfIdNo},   {kXfMbYesNo, "yes", kXfIdYes},
      {kXfMbYesNo | kXfMbDefButton2, "", kXfIdNo}, {kXfMbOkCancel, "c", kXfIdCancel},
      {kXfMbAbortRetryIgnore, "I", kXfIdIgnore},   {kXfMbRetryCancel, "r", kXfIdRetry},
      {kXfMbOk, "", kXfIdOk},            {kXfMbYesNo, "o", 0},           {kXfMbYesNo, "maybe", 0},
  };
  for (const Case& c : cases) {
    const std::optional<int32_t> answer = fmt::ParseBoxAnswer(XfMessageBoxStyle(c.style), c.line);
    EXPECT_EQ(answer.value_or(0), c.answer) << c.style << " '" << c.line << "'";
  }
  EXPECT_EQ(fmt::BoxPrompt(u"Export", u"Stop?", XfMessageBoxStyle(0x134)),
            "\n[Export]\nStop?\nYes (y) / No (n) [No] > ");
  EXPECT_EQ(fmt::BoxRetry(XfMessageBoxStyle(0x3)), "Please answer y, n, c (Enter: Yes).\n");
}

TEST_F(XfUiTerminal, FormsPrintNumberedControlsAndReadNumbersWithText) {
  XfDialogModel model(158);
  model.SetTitle(u"Settings");
  model.Add(1020, XfItemKind::kStatic, u"Conversion");
  model.Add(1016, XfItemKind::kCheckBox, u"Change size").SetChecked(true);
  model.Add(1022, XfItemKind::kRadio, u"Small").SetChecked(true);
  model.Add(1023, XfItemKind::kRadio, u"Large");
  model.Add(1012, XfItemKind::kEdit, u"/tmp");
  model.Add(1014, XfItemKind::kButton, u"Browse").SetVisible(false);
  model.Add(1, XfItemKind::kButton, u"OK");
  model.Add(2, XfItemKind::kButton, u"Cancel").SetEnabled(false);
  const fmt::FormBlock block = fmt::RenderForm(model, 1);
  EXPECT_EQ(block.text,
            "\n== Settings ==\n"
            "     Conversion\n"
            "  1) [x] Change size\n"
            "  2) (*) Small\n"
            "  3) ( ) Large\n"
            "  4) [/tmp]\n"
            "  5) <OK> (Enter)\n"
            "  6) <Cancel> (unavailable)\n"
            "Type a number, or a number and text.\n");
  EXPECT_EQ(block.numbers, std::vector<int32_t>({1016, 1022, 1023, 1012, 1, 2}));

  struct Case {
    const char* line;
    fmt::FormInput::Kind kind;
    int32_t id;
    const char16_t* text;
  };
  const Case cases[] = {
      {"", fmt::FormInput::Kind::kAccept, 0, nullptr},
      {"3", fmt::FormInput::Kind::kControl, 1023, nullptr},
      {"4  /home/kavo pictures ", fmt::FormInput::Kind::kControl, 1012, u"/home/kavo pictures"},
      {"7", fmt::FormInput::Kind::kInvalid, 0, nullptr},
      {"0", fmt::FormInput::Kind::kInvalid, 0, nullptr},
      {"4x", fmt::FormInput::Kind::kInvalid, 0, nullptr},
      {"ok", fmt::FormInput::Kind::kInvalid, 0, nullptr},
  };
  for (const Case& c : cases) {
    const fmt::FormInput input = fmt::ParseFormLine(block.numbers, c.line);
    EXPECT_EQ(input.kind, c.kind) << c.line;
    EXPECT_EQ(input.id, c.id) << c.line;
    EXPECT_EQ(input.hasText, c.text != nullptr) << c.line;
    if (c.text != nullptr) {
      EXPECT_EQ(input.text, c.text);
    }
  }
}

TEST_F(XfUiTerminal, ProgressLineFillsCellsOrWalksTheMarquee) {
  XfUiVirtualClock clock;
  XfUiTimers timers(clock);
  SfProgressCtrl bar;
  bar.Create(&timers, false);
  bar.SetPos(45);
  EXPECT_EQ(fmt::ProgressLine(bar, 10, 0), "[####......]  45 %");
  bar.SetPos(100);
  EXPECT_EQ(fmt::ProgressLine(bar, 10, 0), "[##########] 100 %");
  bar.SetMarquee(true, 20);
  // 30 cells of 8 pixels, 24 positions of blocks 10 pixels wide: a cell
  // lights when a block reaches into it.
  EXPECT_EQ(fmt::ProgressLine(bar, 30, 0), "[#######                       ]");
  EXPECT_EQ(fmt::ProgressLine(bar, 30, -5), "[                              ]");
  EXPECT_EQ(fmt::ProgressLine(bar, 30, 22), "[####                       ###]");
}

// The confirmation's model as the export fills it: labels first, their
// values later, then a picture.
void FillConfirmation(XfDialogModel& model, const char16_t* size) {
  model.SetTitle(u"Export to Camera");
  model.Add(1, XfItemKind::kButton, u"OK");
  model.Add(2, XfItemKind::kButton, u"Cancel");
  model.Add(1005, XfItemKind::kStatic, u"The pictures will be written to the camera.");
  model.Add(1004, XfItemKind::kStatic, u"Folders:");
  model.Add(1008, XfItemKind::kStatic, u"Files:");
  model.Add(1006, XfItemKind::kStatic, u"Space needed:");
  model.Add(1010, XfItemKind::kStatic, u"Camera:");
  model.Add(1011, XfItemKind::kStatic, size).SetLabel(1006);
  model.Add(1007, XfItemKind::kStatic, u"2").SetLabel(1004);
  model.Add(1009, XfItemKind::kStatic, u"4").SetLabel(1008);
  model.Add(1028, XfItemKind::kPicture).SetPictureArea(XfUiSize{0, 0});
}

TEST_F(XfUiTerminal, FormShowsEachValueBesideItsLabelAndNoPicture) {
  XfDialogModel model(157);
  FillConfirmation(model, u"Calculating...");
  const fmt::FormBlock block = fmt::RenderForm(model, 1);
  EXPECT_EQ(block.text,
            "\n== Export to Camera ==\n"
            "  1) <OK> (Enter)\n"
            "  2) <Cancel>\n"
            "     The pictures will be written to the camera.\n"
            "     Folders: 2\n"
            "     Files: 4\n"
            "     Space needed: Calculating...\n"
            "     Camera:\n"
            "Type a number, or a number and text.\n");
  // A hidden label leaves its value a line of its own, where it stands.
  model.SetVisible(1008, false);
  EXPECT_NE(fmt::RenderForm(model, 1).text.find("     Space needed: Calculating...\n     Camera:\n     4\n"),
            std::string::npos);
}

TEST_F(XfUiTerminal, StatusLineHoldsBarTimeLeftAndFileWithinTheWidth) {
  XfDialogModel model(132);
  model.SetTitle(u"Exporting");
  model.Add(2, XfItemKind::kButton, u"Stop");
  model.Add(1006, XfItemKind::kPicture);
  model.Add(1007, XfItemKind::kProgress);
  model.Add(1008, XfItemKind::kStatic, u"47 seconds").SetLabel(1021);
  model.Add(1009, XfItemKind::kStatic, u"40%");
  model.Add(1010, XfItemKind::kStatic, u"Exporting: IMG_0015.JPG");
  model.Add(1020, XfItemKind::kStatic, u"To: /media/CAM");
  model.Add(1021, XfItemKind::kStatic, u"Time left:");
  model.Add(1029, XfItemKind::kStatic, u"Finishing").SetVisible(false);
  const std::vector<std::string> texts = fmt::StatusTexts(model);
  EXPECT_EQ(texts, std::vector<std::string>({"Time left: 47 seconds", "Exporting: IMG_0015.JPG", "To: /media/CAM"}));
  EXPECT_EQ(fmt::RenderForm(model, 0, 80, true).text,
            "\n== Exporting ==\n  1) <Stop>\nType a number, or a number and text.\n");

  struct PercentCase {
    const char* text;
    bool percent;
  };
  const PercentCase percents[] = {{"40%", true},   {" 7 % ", true},        {"100%", true}, {"1000%", false},
                                  {"40% done", false}, {"%", false}, {"Copying 40%", false}};
  for (const PercentCase& c : percents) {
    EXPECT_EQ(fmt::IsPercentText(c.text), c.percent) << c.text;
  }

  struct LineCase {
    int32_t columns;
    const char* bar;
    const char* line;
  };
  const std::string bar = "[####......]  40 %";
  const LineCase lines[] = {
      {90, "[####......]  40 %", "[####......]  40 %  Time left: 47 seconds  Exporting: IMG_0015.JPG  To: /media/CAM  > "},
      {80, "[####......]  40 %", "[####......]  40 %  Time left: 47 seconds  Exporting: IMG_0015.JPG  To: ...  > "},
      {60, "[####......]  40 %", "[####......]  40 %  Time left: 47 seconds  Exporting...  > "},
      {24, "[####......]  40 %", "[####......]  40 %  > "},
      {20, "[####......]  40 %", "[####......]  40 %"},
      {10, "[####......]  40 %", "[####...."},
      {30, "", "Time left: 47 seconds ...  > "},
  };
  for (const LineCase& c : lines) {
    const std::string line = fmt::StatusLine(c.bar, texts, "  > ", c.columns);
    EXPECT_EQ(line, c.line) << c.columns;
    EXPECT_LT(line.size(), static_cast<size_t>(c.columns)) << c.columns;
  }
  // Characters, not bytes, count against the width.
  EXPECT_EQ(fmt::StatusLine("", {"Bild \xC3\xA4\xC3\xB6\xC3\xBC.JPG"}, "", 14), "Bild \xC3\xA4\xC3\xB6\xC3\xBC.JPG");
  EXPECT_EQ(fmt::StatusLine("", {"Bild \xC3\xA4\xC3\xB6\xC3\xBC.JPG"}, "", 11), "Bild \xC3\xA4\xC3\xB6...");
  // The bar gets what the texts leave, never fewer than its minimum.
  EXPECT_EQ(fmt::StatusBarCells(80, {}, "  > "), fmt::kBarCells);
  EXPECT_EQ(fmt::StatusBarCells(80, texts, "  > "), fmt::kMinBarCells);
  EXPECT_EQ(fmt::StatusBarCells(80, {std::string(40, 'x')}, "  > "), 79 - 8 - 42 - 4);
}

TEST_F(XfUiTerminal, YesAnswersABoxOverPipesAndEndOfInputCancels) {
  XfUiHost& host = OverPipes();
  WriteText(input_, "x\ny\n");
  EXPECT_EQ(host.MessageBox(u"Export", u"Go on?", kXfMbYesNo), kXfIdYes);
  OutputReader output(output_);
  EXPECT_TRUE(output.WaitFor("[Export]\nGo on?\nYes (y) / No (n) [Yes] > "));
  EXPECT_TRUE(output.WaitFor("Please answer y, n (Enter: Yes).\n> "));

  EndInput();
  EXPECT_EQ(host.MessageBox(u"Export", u"Really?", kXfMbYesNoCancel), kXfIdCancel);
  EXPECT_EQ(host.MessageBox(u"Export", u"Sure?", kXfMbYesNo), kXfIdNo);
  EXPECT_FALSE(host.PickFolder(u"Folder", u"", u"OK", u"/tmp", nullptr).has_value());
}

TEST_F(XfUiTerminal, YesAnswersABoxOverAPseudoTerminal) {
  XfUiHost& host = OverPty();
  std::thread typist([this] {
    OutputReader output(output_);
    EXPECT_TRUE(output.WaitFor("Yes (y) / No (n) [No] > "));
    WriteText(input_, "y\n");
  });
  EXPECT_EQ(host.MessageBox(u"Export", u"Stop?", kXfMbYesNo | kXfMbDefButton2), kXfIdYes);
  typist.join();
}

TEST_F(XfUiTerminal, FolderPickerAsksAgainWithTheReason) {
  XfUiHost& host = OverPipes();
  WriteText(input_, "/nonexistent\n/tmp\n");
  const std::optional<XpString> picked =
      host.PickFolder(u"Choose", u"A folder", u"Use", u"/tmp", [](const XpString& path) {
        return path == u"/tmp" ? XfFolderCheck::Ok() : XfFolderCheck::Refuse(u"No such folder.");
      });
  ASSERT_TRUE(picked.has_value());
  EXPECT_EQ(*picked, u"/tmp");
  OutputReader output(output_);
  EXPECT_TRUE(output.WaitFor("[Choose]\nA folder\nFolder [/tmp] (Enter takes it, - cancels): "));
  EXPECT_TRUE(output.WaitFor("No such folder.\nFolder [/tmp] (Enter takes it, - cancels): "));
}

// A default shows in brackets only where Enter takes it.
TEST_F(XfUiTerminal, FolderPromptShowsTheDefaultThatEnterTakes) {
  EXPECT_EQ(fmt::FolderPrompt(u"Choose", u"", u"/data"), "\n[Choose]\nFolder [/data] (Enter takes it, - cancels): ");
  EXPECT_EQ(fmt::FolderPrompt(u"Choose", u"Where", u""), "\n[Choose]\nWhere\nFolder (empty line cancels): ");
  struct Case {
    const char* line;
    const char16_t* initial;
    const char16_t* picked;  // null: cancelled
  };
  const Case cases[] = {
      {"", u"/data", u"/data"},   {"-", u"/data", nullptr},      {" - ", u"/data", nullptr},
      {"/x y", u"/data", u"/x y"}, {"", u"", nullptr},            {"-", u"", u"-"},
      {"/x", u"", u"/x"},
  };
  for (const Case& c : cases) {
    const std::optional<XpString> picked = fmt::ParseFolderAnswer(c.line, c.initial);
    EXPECT_EQ(picked.has_value(), c.picked != nullptr) << "'" << c.line << "'";
    if (picked && c.picked != nullptr) {
      EXPECT_EQ(*picked, c.picked) << "'" << c.line << "'";
    }
  }

  XfUiHost& host = OverPipes();
  WriteText(input_, "\n");
  const std::optional<XpString> picked = host.PickFolder(u"Choose", u"", u"Use", u"/data", nullptr);
  ASSERT_TRUE(picked.has_value());
  EXPECT_EQ(*picked, u"/data");
  WriteText(input_, "-\n");
  EXPECT_FALSE(host.PickFolder(u"Choose", u"", u"Use", u"/data", nullptr).has_value());
  WriteText(input_, "\n");
  EXPECT_FALSE(host.PickFolder(u"Choose", u"", u"Use", u"", nullptr).has_value());
}

TEST_F(XfUiTerminal, PlainOutputGetsOneProgressLinePerFivePercent) {
  XfUiHost& host = OverPipes(true);
  TestPresenter dialog(132);
  dialog.accept = 0;
  dialog.onInit = [](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    model.SetTitle(u"Progress");
    model.Add(1007, XfItemKind::kProgress).Progress()->SetSmoothing(false, 0, 1);
    model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
    h.SetTimer(&self, 1, 10);
  };
  dialog.onTimer = [](TestPresenter& self, uint32_t) {
    SfProgressCtrl& bar = *self.Model().Progress(1007);
    bar.SetPos(bar.GetPos() + 1);
    if (bar.GetPos() == 100) {
      self.End(kXfIdOk);
    }
  };
  EXPECT_EQ(host.RunModal(dialog), kXfIdOk);
  host_.reset();
  OutputReader output(output_);
  output.Drain();
  std::vector<std::string> barLines;
  size_t start = 0;
  const std::string& text = output.Text();
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    if (line.starts_with("[")) {
      barLines.push_back(line.substr(line.size() - 5));
    }
    start = end == std::string::npos ? text.size() : end + 1;
  }
  std::vector<std::string> expected;
  for (int percent = 5; percent <= 100; percent += 5) {
    char tail[8];
    std::snprintf(tail, sizeof(tail), "%3d %%", percent);
    expected.push_back(tail);
  }
  EXPECT_EQ(barLines, expected) << text;
}

TEST_F(XfUiTerminal, TerminalOutputRedrawsTheBarInPlace) {
  XfUiHost& host = OverPty();
  TestPresenter dialog(132);
  dialog.accept = 0;
  dialog.onInit = [](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    model.SetTitle(u"Progress");
    model.Add(1007, XfItemKind::kProgress).Progress()->SetSmoothing(false, 0, 1);
    h.SetTimer(&self, 1, 1);
  };
  // The bar moves on once the reader saw it at 50 %: a frame that a late
  // loop would skip is never waited for.
  std::atomic<bool> seenHalf{false};
  dialog.onTimer = [&seenHalf](TestPresenter& self, uint32_t) {
    SfProgressCtrl& bar = *self.Model().Progress(1007);
    if (bar.GetPos() == 50 && !seenHalf.load()) {
      return;
    }
    bar.SetPos(bar.GetPos() + 50);
    if (bar.GetPos() == 100) {
      self.End(kXfIdOk);
    }
  };
  std::thread reader([this, &seenHalf] {
    OutputReader output(output_);
    EXPECT_TRUE(output.WaitFor("\r\x1b[K[###############...............]  50 %"));
    seenHalf.store(true);
    EXPECT_TRUE(output.WaitFor("\r\x1b[K[##############################] 100 %"));
  });
  EXPECT_EQ(host.RunModal(dialog), kXfIdOk);
  reader.join();
}

// A progress dialog in a pseudo-terminal of a given width: the bar line
// never wraps and is redrawn on one row, with the bar as wide as fits.
TEST_F(XfUiTerminal, BarLineFitsTheTerminalWidthAndNeverWraps) {
  struct Case {
    unsigned short columns;
    const char* finalRow;
  };
  const Case cases[] = {
      {80, "[##############################] 100 %  > "},
      {43, "[##############################] 100 %  > "},
      {42, "[#############################] 100 %  > "},
      {32, "[###################] 100 %  > "},
      {20, "[##########] 100 %"},
      {12, "[##########"},
  };
  for (const Case& c : cases) {
    XfUiHost& host = OverPty(c.columns);
    TestPresenter dialog(132);
    dialog.accept = 0;
    dialog.onInit = [](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
      model.SetTitle(u"Copy");
      model.Add(1007, XfItemKind::kProgress).Progress()->SetSmoothing(false, 0, 1);
      model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
      h.SetTimer(&self, 1, 1);
    };
    dialog.onTimer = [](TestPresenter& self, uint32_t) {
      SfProgressCtrl& bar = *self.Model().Progress(1007);
      bar.SetPos(bar.GetPos() + 10);
      if (bar.GetPos() == 100) {
        self.End(kXfIdOk);
      }
    };
    // The few hundred bytes written wait in the pseudo-terminal's buffer.
    EXPECT_EQ(host.RunModal(dialog), kXfIdOk);
    host_.reset();
    OutputReader output(output_);
    output.Drain();
    const std::string& text = output.Text();

    Screen screen(c.columns);
    screen.Feed(text);
    for (const std::string& row : screen.WrappedRows()) {
      EXPECT_EQ(row.find('['), std::string::npos) << c.columns << " columns, a bar row wrapped: " << row;
    }
    // Every redraw went to the one row the bar line holds.
    size_t barRows = 0;
    for (const std::string& row : screen.Rows()) {
      if (row.find('[') == std::string::npos) continue;
      EXPECT_LT(row.size(), c.columns) << row;
      if (row.rfind("[##########", 0) == 0) ++barRows;
    }
    EXPECT_EQ(barRows, 1u) << c.columns << " columns:\n" << text;
    ASSERT_GE(screen.Rows().size(), 2u);
    EXPECT_EQ(screen.Rows()[screen.Rows().size() - 2], c.finalRow) << c.columns << " columns:\n" << text;
    for (int fd : fds_) close(fd);
    fds_.clear();
  }
}

// After SIGWINCH the bar line takes the new width.
TEST_F(XfUiTerminal, BarLineFollowsAResize) {
  XfUiHost& host = OverPty(80);
  const int slave = fds_[1];
  TestPresenter dialog(132);
  dialog.accept = 0;
  dialog.onInit = [](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    model.SetTitle(u"Copy");
    model.Add(1007, XfItemKind::kProgress).Progress()->SetSmoothing(false, 0, 1);
    model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
    h.SetTimer(&self, 1, 1);
  };
  // The bar moves on from 25 % once the reader saw it drawn 80 columns wide.
  std::atomic<bool> seenWide{false};
  dialog.onTimer = [slave, &seenWide](TestPresenter& self, uint32_t) {
    SfProgressCtrl& bar = *self.Model().Progress(1007);
    if (bar.GetPos() == 25 && !seenWide.load()) {
      return;
    }
    bar.SetPos(bar.GetPos() + 25);
    if (bar.GetPos() == 50) {
      winsize size = {};
      size.ws_row = kPtyRows;
      size.ws_col = 32;
      EXPECT_EQ(ioctl(slave, TIOCSWINSZ, &size), 0);
      // The pseudo-terminal is not this process's terminal: say it ourselves.
      raise(SIGWINCH);
    }
    if (bar.GetPos() == 100) {
      self.End(kXfIdOk);
    }
  };
  std::thread reader([this, &seenWide] {
    OutputReader output(output_);
    EXPECT_TRUE(output.WaitFor("\r\x1b[K[#######.......................]  25 %  > ")) << output.Text();
    seenWide.store(true);
    EXPECT_TRUE(output.WaitFor("\r\x1b[K[###################] 100 %  > ")) << output.Text();
  });
  EXPECT_EQ(host.RunModal(dialog), kXfIdOk);
  reader.join();
}

// A progress dialog as the export's: 50 items, each moving the bar and
// changing the time left, the percentage and the current file. In an 80
// column terminal its heading scrolls once and everything else is one
// status line redrawn in place.
TEST_F(XfUiTerminal, ProgressOfFiftyItemsStaysOnOneStatusLine) {
  constexpr int32_t kItems = 50;
  constexpr unsigned short kColumns = 80;
  XfUiHost& host = OverPty(kColumns);
  TestPresenter dialog(132);
  dialog.accept = 0;
  int32_t done = 0;
  dialog.onInit = [](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    model.SetTitle(u"Exporting to Camera");
    model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
    model.Add(1006, XfItemKind::kPicture);
    model.Add(1007, XfItemKind::kProgress).Progress()->SetSmoothing(false, 0, 1);
    model.Add(1008, XfItemKind::kStatic, u"Calculating...").SetLabel(1021);
    model.Add(1009, XfItemKind::kStatic);
    model.Add(1010, XfItemKind::kStatic, u"/media/CAM");
    model.Add(1020, XfItemKind::kStatic, u"Preparing the export...");
    model.Add(1021, XfItemKind::kStatic, u"Time left:");
    h.SetTimer(&self, 1, 1);
  };
  dialog.onTimer = [&done](TestPresenter& self, uint32_t) {
    ++done;
    XfDialogModel& model = self.Model();
    const int32_t percent = done * 100 / kItems;
    model.Progress(1007)->SetPos(percent);
    XpString text;
    EXPECT_EQ(text.Format(u"%d seconds", kItems - done + 1), kXpOk);
    model.SetText(1008, text);
    EXPECT_EQ(text.Format(u"%d%%", percent), kXpOk);
    model.SetText(1009, text);
    EXPECT_EQ(text.Format(u"Exporting: IMG_%04d.JPG", done), kXpOk);
    model.SetText(1010, text);
    model.SetText(1020, u"To: /media/CAM/DCIM/100QMV_A");
    if (done == kItems) {
      self.End(kXfIdOk);
    }
  };
  // Read while it runs: fifty redraws fill more than a terminal's buffer.
  OutputReader output(output_);
  std::thread reader([&output] { EXPECT_TRUE(output.WaitFor("IMG_0050.JPG")); });
  EXPECT_EQ(host.RunModal(dialog), kXfIdOk);
  host_.reset();
  reader.join();
  output.Drain();

  Screen screen(kColumns);
  screen.Feed(output.Text());
  EXPECT_TRUE(screen.WrappedRows().empty()) << output.Text();
  size_t filled = 0;
  for (const std::string& row : screen.Rows()) {
    filled += row.empty() ? 0 : 1;
  }
  EXPECT_LE(filled, 4u) << output.Text();
  const std::vector<std::string>& rows = screen.Rows();
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[1], "== Exporting to Camera ==") << output.Text();
  const std::string& status = rows[rows.size() - 2];
  EXPECT_EQ(status,
            "[##########] 100 %  Time left: 1 seconds  Exporting: IMG_0050.JPG  To: /...  > ")
      << output.Text();
  EXPECT_LT(status.size(), kColumns);
}

// A value that arrives while the form waits prints the form again, the
// value beside its label and the prompt last.
TEST_F(XfUiTerminal, FormIsPrintedAgainWhenAValueChangesWhileItWaits) {
  XfUiHost& host = OverPipes();
  TestPresenter dialog(157);
  dialog.onInit = [](TestPresenter& self, XfDialogModel& model, XfUiHost& h) {
    FillConfirmation(model, u"Calculating...");
    h.SetTimer(&self, 1, 10);
  };
  dialog.onTimer = [](TestPresenter& self, uint32_t id) {
    self.Host()->KillTimer(&self, id);
    self.Model().SetText(1011, u"125 MB");
  };
  OutputReader output(output_);
  std::thread typist([this, &output] {
    EXPECT_TRUE(output.WaitFor("     Space needed: Calculating...\n"));
    EXPECT_TRUE(output.WaitFor("== Export to Camera =="));
    EXPECT_TRUE(output.WaitFor("     Space needed: 125 MB\n     Camera:\n"));
    EXPECT_TRUE(output.WaitFor("Type a number, or a number and text.\n> "));
    WriteText(input_, "\n");
  });
  EXPECT_EQ(host.RunModal(dialog), kXfIdOk);
  typist.join();
  EXPECT_EQ(output.Text().find("(picture"), std::string::npos) << output.Text();
  EXPECT_EQ(output.Text().find("\n     125 MB"), std::string::npos) << output.Text();
}

TEST_F(XfUiTerminal, TypedLinesGoToAPendingBoxNotToTheDialogBeneath) {
  XfUiHost& host = OverPipes();
  std::thread worker;
  int32_t answer = 0;
  TestPresenter dialog(700);
  dialog.onInit = [&](TestPresenter&, XfDialogModel& model, XfUiHost& h) {
    AddOkCancel(model, u"Beneath");
    worker = std::thread([&answer, &h] { answer = h.MessageBox(u"Worker", u"Carry on?", kXfMbYesNo); });
  };
  std::thread typist([this] {
    OutputReader output(output_);
    EXPECT_TRUE(output.WaitFor("[Worker]\nCarry on?\nYes (y) / No (n) [Yes] > "));
    // "1" would press OK in the dialog; the box takes it and asks again.
    WriteText(input_, "1\n");
    EXPECT_TRUE(output.WaitFor("Please answer y, n"));
    WriteText(input_, "n\n");
    EXPECT_TRUE(output.WaitFor("== Beneath =="));
    WriteText(input_, "1\n");
  });
  EXPECT_EQ(host.RunModal(dialog), kXfIdOk);
  typist.join();
  worker.join();
  EXPECT_EQ(answer, kXfIdNo);
  EXPECT_EQ(dialog.commands, std::vector<int32_t>({kXfIdOk}));
}

// A line typed into uidemo and the texts it prints in answer, in order.
struct DemoStep {
  const char* typed;
  std::vector<const char*> answers;
};

// uidemo in a pseudo-terminal, given Ctrl-C during its progress: the
// settings form takes the steps of the case, "Stop?" takes stopAnswer, the
// work stops and the program goes on to its final box.
struct DemoStopCase {
  const char* name;
  std::vector<DemoStep> settings;  // up to the folder prompt
  const char* stopAnswer;
};

void PrintTo(const DemoStopCase& c, std::ostream* os) { *os << c.name; }

const DemoStopCase kDemoStopCases[] = {
    // A name typed (the form prints again) and accepted; "y" stops the work.
    {"NameGivenThenYes", {{"4 Kavo\n", {"[Kavo]", "> "}}, {"\n", {}}}, "y\n"},
    // The form cancelled; a second Ctrl-C answers the question the first one raised.
    {"FormCancelledThenSecondCtrlC", {{"6\n", {}}}, "\x03"},
};

class XfUiTerminalDemo : public TerminalFixture,
                         public testing::WithParamInterface<DemoStopCase> {};

TEST_P(XfUiTerminalDemo, CtrlCDuringTheProgressAsksStopAndTheDemoGoesOn) {
  const DemoStopCase& c = GetParam();
  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    unsetenv("KAVO_UI_SCRIPT");
    unsetenv("KAVO_UI_TRANSCRIPT");
    execl(KAVO_UIDEMO_PATH, "uidemo", "--tick", "100", static_cast<char*>(nullptr));
    _exit(127);
  }
  fds_ = {master};
  OutputReader output(master);
  ASSERT_TRUE(output.WaitFor("Yes (y) / No (n) [Yes] > ")) << output.Text();
  WriteText(master, "y\n");
  ASSERT_TRUE(output.WaitFor("== Demo settings ==")) << output.Text();
  ASSERT_TRUE(output.WaitFor("> ")) << output.Text();
  for (const DemoStep& step : c.settings) {
    WriteText(master, step.typed);
    for (const char* answer : step.answers) {
      ASSERT_TRUE(output.WaitFor(answer)) << output.Text();
    }
  }
  ASSERT_TRUE(output.WaitFor("Folder [/tmp] (Enter takes it, - cancels): ")) << output.Text();
  WriteText(master, "\n");
  ASSERT_TRUE(output.WaitFor("== Demo progress ==")) << output.Text();
  ASSERT_TRUE(output.WaitFor("%")) << output.Text();
  // Ctrl-C, as typed: the terminal sends SIGINT to the program.
  WriteText(master, "\x03");
  // The terminal turns each "\n" into "\r\n".
  ASSERT_TRUE(output.WaitFor("Stop?\r\nYes (y) / No (n) [No] > ")) << output.Text();
  WriteText(master, c.stopAnswer);
  ASSERT_TRUE(output.WaitFor("The work was stopped at")) << output.Text();
  ASSERT_TRUE(output.WaitFor("OK (o) [OK] > ")) << output.Text();
  WriteText(master, "\n");
  output.Drain();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << output.Text();
  EXPECT_EQ(WEXITSTATUS(status), 0) << output.Text();
}

INSTANTIATE_TEST_SUITE_P(Stop, XfUiTerminalDemo, testing::ValuesIn(kDemoStopCases),
                         [](const testing::TestParamInfo<DemoStopCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
