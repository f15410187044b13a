#include "imaging/movie/XpImageIoMovie.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr XpFormatKind kMp4 = 0x20031100;

void PutLE(Bytes& bytes, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::string Hex(const Bytes& bytes) {
  std::ostringstream text;
  for (const uint8_t byte : bytes) {
    text << "0123456789abcdef"[byte >> 4] << "0123456789abcdef"[byte & 0xF];
  }
  return text.str();
}

Bytes Token(const char* text) {
  return {static_cast<uint8_t>(text[0]), 0, static_cast<uint8_t>(text[1]), 0,
          static_cast<uint8_t>(text[2]), 0};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Int32s(std::initializer_list<int64_t> values) {
  Bytes bytes;
  for (const int64_t value : values) PutLE(bytes, static_cast<uint64_t>(value), 4);
  return bytes;
}

// What the fake logs for an open request.
std::string OpenLine(uint32_t kind, const XpString& path) {
  Bytes bytes;
  PutLE(bytes, kind, 4);
  PutLE(bytes, static_cast<uint32_t>(path.GetLength()), 4);
  for (int32_t i = 0; i < path.GetLength(); ++i) PutLE(bytes, path.CStr()[i], 2);
  return "<O> " + Hex(bytes);
}

// What the fake logs for a frame request.
std::string FrameLine(int64_t position, int32_t width, int32_t height, uint8_t keepAspect,
                      uint8_t prepare) {
  Bytes bytes;
  PutLE(bytes, static_cast<uint64_t>(position), 8);
  PutLE(bytes, static_cast<uint32_t>(width), 4);
  PutLE(bytes, static_cast<uint32_t>(height), 4);
  bytes.push_back(keepAspect);
  bytes.push_back(prepare);
  bytes.resize(24, 0);
  return "<L> " + Hex(bytes);
}

// The fake's pixel pattern.
Bytes Pattern(size_t count) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(7 * i + 3);
  return bytes;
}

bool IsReaped(pid_t pid) {
  errno = 0;
  return ::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// Waits until the child has ended, leaving it to be reaped by its owner.
void WaitUntilEnded(pid_t pid) {
  siginfo_t info = {};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
}

class MovieClientTest : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    control_ = Dir("control");
    std::filesystem::create_directories(control_);
    movie_ = PathText(Root() / "clip.mp4");
    std::ofstream(Root() / "clip.mp4") << "movie";
    options_.serverProgram = PathText(FakeServer());
    options_.replyTimeoutMs = 10000;
    options_.quitWaitMs = 2000;
  }

  static std::filesystem::path FakeServer() {
    const XpString folder = XpGetSpecialFolder(kXpFolderProgramFolder, false);
    return std::filesystem::path(folder.ToMultiByte().ToStdString()) / "FakeMovieServer";
  }

  std::unique_ptr<::XpImageIoMovie> Client(bool lowPriority = false) {
    return std::make_unique<::XpImageIoMovie>(PathText(control_), lowPriority, options_);
  }

  void Script(std::initializer_list<std::string> lines) {
    std::ofstream script(control_ / "script", std::ios::trunc);
    for (const std::string& line : lines) script << line << '\n';
  }

  static std::string HexLine(const Bytes& bytes) { return "hex " + Hex(bytes); }

  // The log with the pid taken out of each start line.
  std::vector<std::string> Log() const {
    std::ifstream log(control_ / "log");
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(log, line)) {
      if (line.rfind("start ", 0) == 0) line = "start " + line.substr(line.find(' ', 6) + 1);
      lines.push_back(line);
    }
    return lines;
  }

  // The pids of every start in the log.
  std::vector<pid_t> StartedPids() const {
    std::ifstream log(control_ / "log");
    std::vector<pid_t> pids;
    std::string word;
    std::string line;
    while (std::getline(log, line)) {
      std::istringstream words(line);
      words >> word;
      pid_t pid = 0;
      if (word == "start" && words >> pid) pids.push_back(pid);
    }
    return pids;
  }

  size_t Count(const std::string& line) const {
    size_t count = 0;
    for (const std::string& logged : Log()) count += logged == line;
    return count;
  }

  std::string StartLine(bool lowPriority = false) const {
    return std::string("start /extract|") + (lowPriority ? "/lowpri|" : "") + control_.string();
  }

  std::filesystem::path control_;
  XpString movie_;
  XpImageIoMovieOptions options_;
};
using XpImageIoMovie = MovieClientTest;

TEST_F(XpImageIoMovie, AMissingServerFailsTheFirstStartForGood) {
  const std::filesystem::path program = Dir("bin") / "TLVMPThumb";
  options_.serverProgram = PathText(program);
  auto client = Client();
  EXPECT_EQ(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr), nullptr);
  EXPECT_EQ(client->GetLastError(), 0x8600u);

  std::filesystem::copy_file(FakeServer(), program);
  EXPECT_EQ(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr), nullptr);
  EXPECT_EQ(client->GetLastError(), 0x8600u);
  EXPECT_FALSE(client->GetProperties(movie_));
  EXPECT_EQ(client->GetLastError(), 0x8600u);
  EXPECT_EQ(client->ReadFrames(movie_, kMp4, 1, 1, {0}, nullptr, nullptr), 0x8600u);
  XpSize size;
  EXPECT_EQ(client->ReadImageSizeFlag0FromPath(movie_, &size), 0x8600u);
  EXPECT_TRUE(Log().empty());

  // A new reader starts the server that is now in place.
  Script({"frame 1 1 4 1 1"});
  std::unique_ptr<XpPixmapBase> frame(
      Client()->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr));
  EXPECT_NE(frame, nullptr);
}

TEST_F(XpImageIoMovie, AFrameArrivesWithItsPixelsAndAspect) {
  Script({"frame 100 50 15000 16 9"});
  auto client = Client();
  XpSize aspect;
  std::unique_ptr<XpPixmapBase> frame(
      client->ReadFrameAt(movie_, kMp4, 0x0102030405060708, 100, 50, true, &aspect));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(client->GetLastError(), kXpOk);
  EXPECT_EQ(frame->width, 100);
  EXPECT_EQ(frame->height, 50);
  EXPECT_EQ(frame->GetPlane(0)->stride, 300u);
  ASSERT_EQ(frame->blockSize, 15000u);
  EXPECT_EQ(Bytes(frame->block, frame->block + 15000), Pattern(15000));
  EXPECT_EQ(aspect, XpSize(16, 9));

  client->StopServer();
  const std::vector<std::string> expected = {
      StartLine(), OpenLine(kMp4, movie_), FrameLine(0x0102030405060708, 100, 50, 1, 0),
      "<C>", "<Q>", "exit"};
  EXPECT_EQ(Log(), expected);
}

TEST_F(XpImageIoMovie, TheServerGetsItsFlagsAndTheFolderWithoutTrailingSlash) {
  Script({"frame 1 1 4 1 1"});
  ::XpImageIoMovie client(PathText(control_) + u"/", true, options_);
  EXPECT_EQ(client.GetFolder(), PathText(control_));
  std::unique_ptr<XpPixmapBase> frame(
      client.ReadPreparedFrameAt(movie_, 7, -1, 3, 4, false, nullptr));
  EXPECT_NE(frame, nullptr);
  client.StopServer();
  const std::vector<std::string> expected = {StartLine(true), OpenLine(7, movie_),
                                             FrameLine(-1, 3, 4, 0, 1), "<C>", "<Q>", "exit"};
  EXPECT_EQ(Log(), expected);

  EXPECT_EQ(::XpImageIoMovie(u"/", false).GetFolder(), u"/");
  EXPECT_EQ(::XpImageIoMovie(u"", false).GetFolder(), u"");
  EXPECT_EQ(::XpImageIoMovie(u"/a//", false).GetFolder(), u"/a/");
}

TEST_F(XpImageIoMovie, FileReadsAskForTheFirstFrameOfTheFilesPath) {
  Script({"frame 1 1 4 1 1", "frame 1 1 4 1 1"});
  auto client = Client();
  std::unique_ptr<XpPixmapBase> whole(client->ReadPixmapFromPath(movie_, 1, nullptr, true, true));
  EXPECT_NE(whole, nullptr);
  std::unique_ptr<XpPixmapBase> fitted(
      client->ReadPixmapScaledFromPath(movie_, XpSize(160, 120), nullptr, true, true));
  EXPECT_NE(fitted, nullptr);
  EXPECT_EQ(client->ReadOrientedPixmapFromPath(movie_), nullptr);
  EXPECT_EQ(client->GetLastError(), 0x8605u);
  client->StopServer();
  const std::vector<std::string> expected = {
      StartLine(), OpenLine(kMp4, movie_), FrameLine(0, 0, 0, 1, 0),   "<C>",
      OpenLine(kMp4, movie_), FrameLine(0, 160, 120, 1, 0), "<C>", "<Q>", "exit"};
  EXPECT_EQ(Log(), expected);
}

TEST_F(XpImageIoMovie, NoFrameErrorAndUnknownReplies) {
  Script({HexLine(Token("<B>")), HexLine(Token("<E>")), HexLine(Token("<X>"))});
  auto client = Client();
  const XpResult expected[] = {0x8602, 0x8605, 0x860A};
  for (const XpResult result : expected) {
    EXPECT_EQ(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr), nullptr);
    EXPECT_EQ(client->GetLastError(), result);
  }
  // The server that answered an unknown token is gone.
  EXPECT_EQ(client->GetServerPid(), 0);
  ASSERT_EQ(StartedPids().size(), 1u);
  EXPECT_TRUE(IsReaped(StartedPids()[0]));

  Script({"frame 2 2 16 1 1"});
  std::unique_ptr<XpPixmapBase> frame(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr));
  EXPECT_NE(frame, nullptr);
  client->StopServer();
  const std::string open = OpenLine(kMp4, movie_);
  const std::string request = FrameLine(0, 0, 0, 1, 0);
  const std::vector<std::string> log = {
      StartLine(), open, request, "<C>", open, request, "<C>", open, request, "<Q>", "exit",
      StartLine(), open, request, "<C>", "<Q>", "exit"};
  EXPECT_EQ(Log(), log);
}

TEST_F(XpImageIoMovie, AServerThatEndedIsReplaced) {
  Script({"exit-after 3", "frame 2 2 16 1 1"});
  auto client = Client();
  std::unique_ptr<XpPixmapBase> first(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr));
  ASSERT_NE(first, nullptr);
  const pid_t firstPid = client->GetServerPid();
  WaitUntilEnded(firstPid);

  std::unique_ptr<XpPixmapBase> second(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(client->GetLastError(), kXpOk);
  EXPECT_NE(client->GetServerPid(), firstPid);
  EXPECT_TRUE(IsReaped(firstPid));
  EXPECT_EQ(Count(StartLine()), 2u);
}

TEST_F(XpImageIoMovie, PathsAreCheckedBeforeAnythingIsSent) {
  // Paths of 259 and 260 UTF-16 units that both exist.
  const std::filesystem::path folder = Root() / std::string(200, 'd');
  std::filesystem::create_directory(folder);
  const size_t nameLength = 259 - folder.string().size() - 1;
  const std::filesystem::path fits = folder / std::string(nameLength, 'f');
  const std::filesystem::path tooLong = folder / std::string(nameLength + 1, 'f');
  std::ofstream(fits) << "movie";
  std::ofstream(tooLong) << "movie";
  ASSERT_EQ(PathText(fits).GetLength(), 259);
  ASSERT_EQ(PathText(tooLong).GetLength(), 260);

  Script({"frame 1 1 4 1 1"});
  auto client = Client();
  EXPECT_EQ(client->ReadFrameAt(PathText(tooLong), kMp4, 0, 0, 0, true, nullptr), nullptr);
  EXPECT_EQ(client->GetLastError(), 0x8605u);
  EXPECT_EQ(client->ReadFrames(PathText(tooLong), kMp4, 1, 1, {0}, nullptr, nullptr), 0x8604u);
  EXPECT_FALSE(client->GetProperties(PathText(tooLong)));
  EXPECT_EQ(client->GetLastError(), 0x8605u);
  EXPECT_EQ(client->ReadFrameAt(PathText(folder), kMp4, 0, 0, 0, true, nullptr), nullptr);
  EXPECT_EQ(client->GetLastError(), 0x8605u);
  EXPECT_EQ(client->ReadFrameAt(PathText(Root() / "none.mp4"), kMp4, 0, 0, 0, true, nullptr),
            nullptr);
  EXPECT_EQ(client->GetLastError(), 0x8605u);

  std::unique_ptr<XpPixmapBase> frame(
      client->ReadFrameAt(PathText(fits), kMp4, 0, 0, 0, true, nullptr));
  EXPECT_NE(frame, nullptr);
  client->StopServer();
  const std::vector<std::string> expected = {
      StartLine(), OpenLine(kMp4, PathText(fits)), FrameLine(0, 0, 0, 1, 0), "<C>", "<Q>", "exit"};
  EXPECT_EQ(Log(), expected);
}

TEST_F(XpImageIoMovie, ABadFrameHeaderEndsTheServer) {
  const Bytes headers[] = {
      Int32s({100, 50, 99999, 1, 1}), Int32s({-1, 50, 0, 0, 0}), Int32s({100, 50, 14999, 1, 1}),
      Int32s({0, 50, 0, 1, 1}),       Int32s({65536, 1, 196608, 1, 1}),
  };
  auto client = Client();
  size_t starts = 0;
  for (const Bytes& header : headers) {
    SCOPED_TRACE(Hex(header));
    Script({HexLine(Concat({Token("<L>"), header}))});
    EXPECT_EQ(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr), nullptr);
    EXPECT_EQ(client->GetLastError(), 0x860Au);
    EXPECT_EQ(client->GetServerPid(), 0);
    ASSERT_EQ(StartedPids().size(), ++starts);
    EXPECT_TRUE(IsReaped(StartedPids().back()));
  }
  EXPECT_EQ(Count("<C>"), 0u);
}

TEST_F(XpImageIoMovie, AFrameThatCannotBeAllocatedIsSkippedInStep) {
  Script({"frame 100 50 15000 1 1", "frame 2 2 16 3 4"});
  auto client = Client();
  {
    XpScopedPixmapAllocationFailure failure(1);
    EXPECT_EQ(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr), nullptr);
  }
  EXPECT_EQ(client->GetLastError(), 0x8401u);
  const pid_t pid = client->GetServerPid();
  XpSize aspect;
  std::unique_ptr<XpPixmapBase> frame(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, &aspect));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(Bytes(frame->block, frame->block + 16), Pattern(16));
  EXPECT_EQ(aspect, XpSize(3, 4));
  EXPECT_EQ(client->GetServerPid(), pid);
  client->StopServer();
  EXPECT_EQ(Count("<C>"), 2u);
}

class StopAtFirst : public IXpMovieFrameObserver {
 public:
  int32_t OnFrame(int32_t status, const XpSharedPtr<XpPixmapBase>& frame) override {
    statuses.push_back(status);
    widths.push_back(frame->width);
    return 1;
  }
  std::vector<int32_t> statuses;
  std::vector<int32_t> widths;
};

TEST_F(XpImageIoMovie, ABatchKeepsItsFramesWhenTheServerBreaks) {
  Script({"frame 2 2 16 1 1", HexLine(Token("<B>")), "frame 3 1 12 1 1", HexLine(Token("<?>"))});
  auto client = Client();
  std::vector<XpSharedPtr<XpPixmapBase>> frames;
  EXPECT_EQ(client->ReadFrames(movie_, kMp4, 4, 4, {0, 1, 2, 3}, &frames, nullptr), 0x860Au);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0]->width, 2);
  EXPECT_EQ(frames[1]->width, 3);
  EXPECT_EQ(client->GetServerPid(), 0);
  const std::vector<std::string> expected = {
      StartLine(), OpenLine(kMp4, movie_), FrameLine(0, 4, 4, 1, 0), FrameLine(1, 4, 4, 1, 0),
      FrameLine(2, 4, 4, 1, 0), FrameLine(3, 4, 4, 1, 0), "<Q>", "exit"};
  EXPECT_EQ(Log(), expected);

  // The next request starts a new server.
  Script({"frame 2 2 16 1 1"});
  StopAtFirst observer;
  frames.clear();
  EXPECT_EQ(client->ReadFrames(movie_, kMp4, 4, 4, {5, 6}, &frames, &observer), 0x8607u);
  EXPECT_EQ(frames.size(), 1u);
  EXPECT_EQ(observer.statuses, std::vector<int32_t>{0});
  EXPECT_EQ(observer.widths, std::vector<int32_t>{2});
  client->StopServer();
  const std::vector<std::string> tail = {StartLine(), OpenLine(kMp4, movie_),
                                         FrameLine(5, 4, 4, 1, 0), "<C>", "<Q>", "exit"};
  const std::vector<std::string> log = Log();
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<long>(tail.size()), log.end()), tail);
}

TEST_F(XpImageIoMovie, ABatchWithoutBreaksEndsWithOk) {
  Script({HexLine(Token("<E>")), "frame 2 2 16 1 1"});
  auto client = Client();
  EXPECT_EQ(client->ReadFrames(movie_, kMp4, 4, 4, {0, 1}, nullptr, nullptr), kXpOk);
  EXPECT_EQ(client->GetLastError(), kXpOk);
  EXPECT_NE(client->GetServerPid(), 0);
  client->StopServer();
  EXPECT_EQ(Count("<C>"), 1u);
}

TEST_F(XpImageIoMovie, EndOfFileInAReplyFailsAtOnce) {
  Script({"partial " + Hex(Concat({Token("<L>"), Bytes(10, 1)}))});
  auto client = Client();
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr), nullptr);
  EXPECT_EQ(client->GetLastError(), 0x860Au);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  ASSERT_EQ(StartedPids().size(), 1u);
  EXPECT_TRUE(IsReaped(StartedPids()[0]));
}

TEST_F(XpImageIoMovie, AHangingServerTimesOutAndIsKilled) {
  options_.replyTimeoutMs = 200;
  options_.quitWaitMs = 200;
  Script({"hang"});
  auto client = Client();
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr), nullptr);
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(client->GetLastError(), 0x860Au);
  EXPECT_GE(elapsed, std::chrono::milliseconds(400));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  ASSERT_EQ(StartedPids().size(), 1u);
  EXPECT_TRUE(IsReaped(StartedPids()[0]));
  EXPECT_EQ(Count("exit"), 0u);
}

TEST_F(XpImageIoMovie, StoppingKillsAServerThatIgnoresQuit) {
  options_.quitWaitMs = 200;
  Script({"ignore-quit", "frame 1 1 4 1 1"});
  auto client = Client();
  std::unique_ptr<XpPixmapBase> frame(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr));
  ASSERT_NE(frame, nullptr);
  const pid_t pid = client->GetServerPid();
  const Clock::time_point start = Clock::now();
  client.reset();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_TRUE(IsReaped(pid));
  EXPECT_EQ(Count("<Q>"), 1u);
  EXPECT_EQ(Count("exit"), 0u);
}

TEST_F(XpImageIoMovie, StoppingReapsAServerThatIsAlreadyDead) {
  Script({"exit-after 3", "frame 1 1 4 1 1"});
  auto client = Client();
  std::unique_ptr<XpPixmapBase> frame(client->ReadFrameAt(movie_, kMp4, 0, 0, 0, true, nullptr));
  ASSERT_NE(frame, nullptr);
  const pid_t pid = client->GetServerPid();
  WaitUntilEnded(pid);
  client.reset();
  EXPECT_TRUE(IsReaped(pid));
}

// The property entries: status offset, value offset, stream, id, 64 bits.
struct Entry {
  int status;
  int value;
  int32_t stream;
  int32_t id;
  bool wide;
  bool isSigned;
};

constexpr Entry kEntries[] = {
    {4, 8, -1, 0x10000, false, true},    {12, 16, -1, 0x10002, true, false},
    {24, 28, 0, 0x20001, false, true},   {32, 36, 0, 0x30000, false, false},
    {40, 44, 0, 0x30001, false, false},  {48, 52, 0, 0x30002, false, false},
    {56, 60, 0, 0x30003, false, false},  {64, 68, 0, 0x30004, false, false},
    {72, 76, 0, 0x30005, false, false},  {80, 88, 0, 0x30006, true, false},
    {96, 100, 0, 0x20003, false, false}, {104, 108, 0, 0x30007, false, false},
    {112, 116, 1, 0x20001, false, true}, {120, 124, 1, 0x40000, false, true},
    {128, 132, 1, 0x40001, false, false}, {136, 140, 1, 0x40002, false, false},
    {144, 148, 1, 0x40003, false, false}, {152, 156, 1, 0x40004, false, false},
    {160, 164, 1, 0x20003, false, false},
};

uint64_t ValueOf(size_t index) {
  return kEntries[index].wide ? 0x100000000ull * (index + 1) + index : 1000 + index;
}

// "<P>" and a block with every status 0 and distinct values.
Bytes PropertyReply(int32_t streamCount) {
  Bytes block(168, 0);
  for (int i = 0; i < 4; ++i) block[i] = static_cast<uint8_t>(streamCount >> (8 * i));
  for (size_t k = 0; k < std::size(kEntries); ++k) {
    const uint64_t value = ValueOf(k);
    for (int i = 0; i < (kEntries[k].wide ? 8 : 4); ++i) {
      block[kEntries[k].value + i] = static_cast<uint8_t>(value >> (8 * i));
    }
  }
  return Concat({Token("<P>"), block});
}

void ExpectStored(const ::XpMovieProperties& properties, size_t index) {
  const Entry& entry = kEntries[index];
  SCOPED_TRACE(index);
  if (entry.wide) {
    uint64_t value = 0;
    EXPECT_EQ(properties.GetUInt64(entry.stream, entry.id, &value), kXpOk);
    EXPECT_EQ(value, ValueOf(index));
  } else if (entry.isSigned) {
    int32_t value = 0;
    EXPECT_EQ(properties.GetInt32(entry.stream, entry.id, &value), kXpOk);
    EXPECT_EQ(static_cast<uint64_t>(value), ValueOf(index));
  } else {
    uint32_t value = 0;
    EXPECT_EQ(properties.GetUInt32(entry.stream, entry.id, &value), kXpOk);
    EXPECT_EQ(value, ValueOf(index));
  }
}

TEST_F(XpImageIoMovie, PropertiesOfOneAndTwoStreams) {
  for (const int32_t streams : {1, 2}) {
    SCOPED_TRACE(streams);
    Script({HexLine(PropertyReply(streams))});
    auto client = Client();
    XpSharedPtr<::XpMovieProperties> properties = client->GetProperties(movie_);
    ASSERT_TRUE(properties);
    EXPECT_EQ(client->GetLastError(), kXpOk);
    EXPECT_EQ(properties->GetStreamCount(), streams);

    std::vector<::XpMovieProperties::Key> expected = {{-1, 0x20000}, {0, 0x20000}};
    if (streams == 2) expected.push_back({1, 0x20000});
    for (size_t k = 0; k < std::size(kEntries); ++k) {
      if (kEntries[k].stream == 1 && streams < 2) continue;
      expected.push_back({kEntries[k].stream, kEntries[k].id});
      ExpectStored(*properties, k);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(properties->GetKeys(), expected);
    int32_t kind = 0;
    EXPECT_EQ(properties->GetInt32(-1, 0x20000, &kind), kXpOk);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(properties->GetInt32(0, 0x20000, &kind), kXpOk);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(properties->GetInt32(1, 0x20000, &kind), streams == 2 ? kXpOk : 0x8902u);

    client->StopServer();
    const std::vector<std::string> log = {StartLine(), OpenLine(kMp4, movie_), "<P>", "<C>",
                                          "<Q>", "exit"};
    EXPECT_EQ(Log(), log);
    std::filesystem::remove(control_ / "log");
  }
}

TEST_F(XpImageIoMovie, PropertiesLeaveOutEntriesWithAStatus) {
  Bytes reply = PropertyReply(2);
  // Status of the 64-bit file entry (byte 12) and of an audio entry (byte 128).
  reply[6 + 12] = 1;
  reply[6 + 128] = 0xFF;
  Script({HexLine(reply)});
  XpSharedPtr<::XpMovieProperties> properties = Client()->GetProperties(movie_);
  ASSERT_TRUE(properties);
  uint64_t wide = 0;
  uint32_t narrow = 0;
  EXPECT_EQ(properties->GetUInt64(-1, 0x10002, &wide), 0x8902u);
  EXPECT_EQ(properties->GetUInt32(1, 0x40001, &narrow), 0x8902u);
  EXPECT_EQ(properties->GetUInt32(1, 0x40002, &narrow), kXpOk);
}

TEST_F(XpImageIoMovie, ImageSizeComesFromTheVideoEntries) {
  const auto withSize = [](int64_t width, int64_t height, uint8_t heightStatus) {
    Bytes reply = Concat({Token("<P>"), Bytes(168, 0)});
    Bytes widthBytes = Int32s({width});
    Bytes heightBytes = Int32s({height});
    std::copy(widthBytes.begin(), widthBytes.end(), reply.begin() + 6 + 28);
    std::copy(heightBytes.begin(), heightBytes.end(), reply.begin() + 6 + 36);
    reply[6 + 32] = heightStatus;
    return reply;
  };
  const struct {
    Bytes reply;
    XpResult result;
  } cases[] = {
      {withSize(1920, 1080, 0), kXpOk},
      {withSize(0, 1080, 0), 0x8605},
      {withSize(1920, 0, 0), 0x8605},
      {withSize(1920, 1080, 1), 0x8605},
      {withSize(-1920, 1080, 0), 0x8605},
      {Token("<B>"), 0x8605},
      {Token("<E>"), 0x8605},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(Hex(entry.reply).substr(0, 120));
    Script({HexLine(entry.reply)});
    auto client = Client();
    XpSize size(7, 7);
    EXPECT_EQ(client->ReadImageSizeFlag0FromPath(movie_, &size), entry.result);
    EXPECT_EQ(client->GetLastError(), entry.result);
    EXPECT_EQ(size, entry.result == kXpOk ? XpSize(1920, 1080) : XpSize(7, 7));
    EXPECT_NE(client->GetServerPid(), 0);
  }
}

TEST_F(XpImageIoMovie, AShortPropertyBlockBreaksTheExchange) {
  Script({"partial " + Hex(Concat({Token("<P>"), Bytes(100, 0)}))});
  auto client = Client();
  EXPECT_FALSE(client->GetProperties(movie_));
  EXPECT_EQ(client->GetLastError(), 0x860Au);
  EXPECT_EQ(client->GetServerPid(), 0);
}

}  // namespace
