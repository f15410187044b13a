#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "moviethumb/tests/ServerProcess.h"
#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/HermeticTest.h"

namespace moviethumb_test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = KAVO_TLVMPTHUMB_PATH;
constexpr const char* kFakePlugin = KAVO_FAKE_SCRIPT_PLUGIN_PATH;

class TLVMPThumbProcess : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SetEnv("KAVO_FAKE_PLUGIN_LOG", (Root() / "plugin.log").string());
    plugins_ = PluginFolder(Dir("plugins"));
    previousPipe_ = ::signal(SIGPIPE, SIG_IGN);
  }
  void TearDown() override {
    ::signal(SIGPIPE, previousPipe_);
    HermeticTest::TearDown();
  }

  // Copies the fake plug-in into folder.
  static std::string PluginFolder(const fs::path& folder) {
    fs::create_directories(folder);
    fs::copy_file(kFakePlugin, folder / fs::path(kFakePlugin).filename(),
                  fs::copy_options::overwrite_existing);
    return folder.string();
  }

  // A movie file of the fake plug-in: its script lines.
  XpString Movie(const std::string& name, const std::string& script) const {
    const fs::path path = Root() / name;
    std::ofstream(path) << script;
    return XpString::FromUtf8(path.string());
  }

  bool Start(const std::vector<std::string>& arguments, const std::string& program = kProgram,
             const std::string& workingFolder = "") {
    return server_.Start(program, arguments, Root() / "stderr.txt", workingFolder);
  }
  bool StartWithPlugins() { return Start({"/extract", plugins_}); }

  std::vector<std::string> LogLines(const std::string& prefix) const {
    std::ifstream file(Root() / "plugin.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
      if (line.rfind("Script " + prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  // Opens the movie, asks for a frame and returns the reply's token.
  MovieToken FrameToken(const XpString& movie) {
    EXPECT_TRUE(server_.Send(Concat({OpenRequest(movie), FrameRequest(0, 0, 0, 0)})));
    const MovieToken token = server_.ReceiveToken();
    if (token != MovieToken::kFrame) return token;
    Bytes rest;
    Bytes header;
    EXPECT_TRUE(server_.Receive(&header, MovieFrameHeader::kBytes));
    const MovieFrameHeader parsed = MovieFrameHeader::Parse(header.data());
    EXPECT_TRUE(server_.Receive(&rest, static_cast<size_t>(parsed.byteCount)));
    return token;
  }

  std::string plugins_;
  ServerProcess server_;

 private:
  void (*previousPipe_)(int) = SIG_DFL;
};

TEST_F(TLVMPThumbProcess, PropertiesCarryTheWholeBlockAndAskEveryEntry) {
  const XpString movie = Movie("m.mov",
                               "streams=1\nproperty=-1,0x10002,0x0102030405060708\n"
                               "property=0,0x20001,1440\nproperty=1,0x40000,48000\n");
  ASSERT_TRUE(StartWithPlugins());
  ASSERT_TRUE(server_.Send(Concat({OpenRequest(movie), TokenRequest(MovieToken::kProperties),
                                   TokenRequest(MovieToken::kQuit)})));
  EXPECT_EQ(server_.ReceiveToken(), MovieToken::kProperties);
  Bytes block;
  ASSERT_TRUE(server_.Receive(&block, MoviePropertyBlock::kBytes, 7));
  EXPECT_TRUE(server_.OutputEnded());
  EXPECT_EQ(server_.Wait(), 0);
  EXPECT_EQ(block[0], 1);
  EXPECT_EQ(Bytes(block.begin() + 12, block.begin() + 24),
            (Bytes{0, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(Bytes(block.begin() + 84, block.begin() + 88), (Bytes{0, 0, 0, 0}));
  EXPECT_NE(Bytes(block.begin() + 4, block.begin() + 8), (Bytes{0, 0, 0, 0}));  // unknown
  EXPECT_EQ(Bytes(block.begin() + 120, block.begin() + 128), (Bytes{0, 0, 0, 0, 0x80, 0xBB, 0, 0}));
  const std::vector<std::string> asked = LogLines("GetProperty");
  ASSERT_EQ(asked.size(), MoviePropertyBlock::kEntryCount);
  for (size_t i = 0; i < asked.size(); ++i) {
    const MoviePropertyEntry& entry = MoviePropertyBlock::Entries()[i];
    char expected[80];
    std::snprintf(expected, sizeof(expected), "Script GetProperty %d 0x%08X %d", entry.stream,
                  static_cast<uint32_t>(entry.id), entry.type);
    EXPECT_EQ(asked[i], expected);
  }
}

TEST_F(TLVMPThumbProcess, LargeFrameArrivesWholeInSmallPieces) {
  const XpString movie = Movie("m.mov", "frame=640x480\naspect=4:3\n");
  ASSERT_TRUE(StartWithPlugins());
  ASSERT_TRUE(server_.Send(Concat({OpenRequest(movie), FrameRequest(7, 0, 0, 0)})));
  EXPECT_EQ(server_.ReceiveToken(), MovieToken::kFrame);
  Bytes header;
  ASSERT_TRUE(server_.Receive(&header, MovieFrameHeader::kBytes));
  const MovieFrameHeader parsed = MovieFrameHeader::Parse(header.data());
  EXPECT_EQ(parsed.width, 640);
  EXPECT_EQ(parsed.height, 480);
  EXPECT_EQ(parsed.byteCount, 921600);
  EXPECT_EQ(parsed.aspectX, 4);
  EXPECT_EQ(parsed.aspectY, 3);
  Bytes pixels;
  ASSERT_TRUE(server_.Receive(&pixels, 921600, 1000));
  EXPECT_EQ(pixels, ExpectedPixels(640, 480, 7, 640, 480));
  server_.CloseInput();
  EXPECT_EQ(server_.Wait(), 0);
}

TEST_F(TLVMPThumbProcess, FailedOpensAnswerBadOrErrorUntilAGoodOpen) {
  struct Row {
    std::string script;  // "" : a file no plug-in takes
    MovieToken expected;
  };
  const Row rows[] = {
      {"open=0x1000\n", MovieToken::kBad},
      {"open=0x1001\n", MovieToken::kBad},
      {"open=7\n", MovieToken::kError},
      {"", MovieToken::kError},
  };
  const XpString good = Movie("good.mov", "frame=8x6\n");
  for (const Row& row : rows) {
    const XpString movie = row.script.empty() ? XpString::FromUtf8((Root() / "absent.mov").string())
                                              : Movie("bad.mov", row.script);
    ASSERT_TRUE(StartWithPlugins());
    ASSERT_TRUE(server_.Send(Concat({OpenRequest(movie), FrameRequest(0, 0, 0, 0),
                                     TokenRequest(MovieToken::kProperties)})));
    EXPECT_EQ(server_.ReceiveToken(), row.expected) << row.script;
    EXPECT_EQ(server_.ReceiveToken(), row.expected) << row.script;
    EXPECT_EQ(FrameToken(good), MovieToken::kFrame) << row.script;
    server_.CloseInput();
    EXPECT_TRUE(server_.OutputEnded());
    EXPECT_EQ(server_.Wait(), 0);
    server_.CloseOutput();
  }
}

TEST_F(TLVMPThumbProcess, ExitStatusTellsHowTheConversationEnded) {
  Bytes unknown;
  AppendText(unknown, u"<X>");
  Bytes square;
  AppendText(square, u"[O]");
  Bytes longOpen = TokenRequest(MovieToken::kOpen);
  AppendInt32(longOpen, 0x01000000);
  AppendInt32(longOpen, 260);
  AppendText(longOpen, u"/m");
  Bytes negativeOpen = TokenRequest(MovieToken::kOpen);
  AppendInt32(negativeOpen, 0x01000000);
  AppendInt32(negativeOpen, -1);
  AppendText(negativeOpen, u"/m");
  Bytes shortFrame = FrameRequest(0, 0, 0, 0);
  shortFrame.resize(kMovieTokenBytes + 10);
  struct Row {
    const char* name;
    Bytes requests;
    int exit;
  };
  const Row rows[] = {
      {"quit", TokenRequest(MovieToken::kQuit), 0},
      {"input closed", TokenRequest(MovieToken::kClose), 0},
      {"unknown token", unknown, 1},
      {"square brackets", square, 1},
      {"open length 260", longOpen, 1},
      {"open length -1", negativeOpen, 1},
      {"frame request cut short", shortFrame, 1},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(StartWithPlugins());
    ASSERT_TRUE(server_.Send(row.requests));
    server_.CloseInput();
    EXPECT_TRUE(server_.OutputEnded()) << row.name;  // no reply
    EXPECT_EQ(server_.Wait(), row.exit) << row.name;
    const std::string error = server_.ErrorText();
    if (row.exit == 0) {
      EXPECT_EQ(error, "") << row.name;
    } else {
      EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << row.name << ": " << error;
    }
    server_.CloseOutput();
  }
}

TEST_F(TLVMPThumbProcess, BadOpenLengthEndsBeforeThePathIsRead) {
  // The test keeps the child's input pipe: what the server left unread stays in it.
  Bytes longOpen = TokenRequest(MovieToken::kOpen);
  AppendInt32(longOpen, 0x01000000);
  AppendInt32(longOpen, 260);
  ASSERT_TRUE(StartWithPlugins());
  ASSERT_TRUE(server_.Send(longOpen));
  EXPECT_TRUE(server_.OutputEnded());
  EXPECT_EQ(server_.Wait(), 1);
  // The path sent now finds nobody reading: the write fails.
  Bytes path;
  AppendText(path, u"/movie.mov");
  EXPECT_FALSE(server_.Send(path));
}

TEST_F(TLVMPThumbProcess, GoneClientEndsTheServerOnItsNextWrite) {
  const XpString movie = Movie("m.mov", "frame=64x48\n");
  ASSERT_TRUE(StartWithPlugins());
  server_.CloseOutput();
  ASSERT_TRUE(server_.Send(Concat({OpenRequest(movie), FrameRequest(0, 0, 0, 0)})));
  EXPECT_EQ(server_.Wait(), 1);
  EXPECT_NE(server_.ErrorText(), "");
}

TEST_F(TLVMPThumbProcess, WithoutExtractTheInputIsNeverRead) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"/EXTRACT"}}) {
    ASSERT_TRUE(Start(arguments));
    EXPECT_EQ(server_.Wait(), 0);
    EXPECT_TRUE(server_.OutputEnded());
    server_.CloseInput();
    server_.CloseOutput();
  }
}

TEST_F(TLVMPThumbProcess, FolderThatIsNoDirectoryLoadsNoPlugin) {
  const XpString movie = Movie("m.mov", "frame=8x6\n");
  const std::string work = PluginFolder(Root() / "work");
  ASSERT_TRUE(Start({"/extract", (Root() / "not-a-dir").string()}, kProgram, work));
  EXPECT_EQ(FrameToken(movie), MovieToken::kError);
  EXPECT_TRUE(LogLines("ReaderOpen").empty());
}

TEST_F(TLVMPThumbProcess, LowPriorityWithTheRegistryFolder) {
  const fs::path suite = Root() / "suite";
  PluginFolder(suite / "Shared3");
  XpRegistry key;
  ASSERT_EQ(key.Open(u"Software\\Kavo Corporation\\Kavo Telvane", XpRegistry::kRootLocalMachine,
                     XpRegistry::kAccessWrite),
            kXpOk);
  ASSERT_EQ(key.SetString(u"InstalledLocation", XpString::FromUtf8(suite.string())), kXpOk);
  const XpString movie = Movie("m.mov", "frame=8x6\n");
  ASSERT_TRUE(Start({"/extract", "/lowpri"}));
  EXPECT_EQ(FrameToken(movie), MovieToken::kFrame);
  EXPECT_GE(NiceOf(server_.Pid()), 5);
  server_.CloseInput();
  EXPECT_EQ(server_.Wait(), 0);
}

TEST_F(TLVMPThumbProcess, DefaultFolderIsShared3BesideTheProgram) {
  const fs::path copy = Root() / "install" / "TLVMPThumb";
  fs::create_directories(copy.parent_path());
  fs::copy_file(kProgram, copy);
  PluginFolder(copy.parent_path() / "Shared3");
  const XpString movie = Movie("m.mov", "frame=8x6\n");
  ASSERT_TRUE(Start({"/extract"}, copy.string()));
  EXPECT_EQ(FrameToken(movie), MovieToken::kFrame);
  EXPECT_EQ(NiceOf(server_.Pid()), NiceOf(::getpid()));
  server_.CloseInput();
  EXPECT_EQ(server_.Wait(), 0);
}

TEST_F(TLVMPThumbProcess, PluginPrintingToStandardOutputLeavesRepliesIntact) {
  const XpString movie = Movie("m.mov", "frame=8x6\nprint=<L>garbage from the plug-in\n");
  ASSERT_TRUE(StartWithPlugins());
  EXPECT_EQ(FrameToken(movie), MovieToken::kFrame);
  server_.CloseInput();
  EXPECT_TRUE(server_.OutputEnded());
  EXPECT_EQ(server_.Wait(), 0);
  EXPECT_NE(server_.ErrorText().find("garbage from the plug-in"), std::string::npos);
}

}  // namespace
}  // namespace moviethumb_test
