#include "moviethumb/MovieExtractServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/movie/XpImageIoMovieInternal.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "moviethumb/tests/MovieServerTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace moviethumb_test {
namespace {

// A reader whose answers the test sets; it records every call by name.
class TestReader final : public IMoviePluginReader {
 public:
  void Release() override {}
  int32_t Open(const char*) override { return 0; }
  bool Prepare(int32_t mode, bool flag) override {
    calls.push_back("Prepare " + std::to_string(mode) + " " + std::to_string(flag ? 1 : 0));
    return prepareResult;
  }
  bool GetFrame(int64_t position, uint32_t bufferSize, void* buffer) override {
    calls.push_back("GetFrame");
    const size_t stride = RowBytes(frameWidth);
    if (!frameResult || bufferSize < stride * static_cast<size_t>(frameHeight)) return false;
    auto* bytes = static_cast<uint8_t*>(buffer);
    std::memset(bytes, 0, stride * static_cast<size_t>(frameHeight));
    for (int32_t y = 0; y < frameHeight; ++y) {
      uint8_t* row = bytes + static_cast<size_t>(frameHeight - 1 - y) * stride;  // bottom row first
      for (int32_t x = 0; x < frameWidth; ++x) {
        row[x * 3] = static_cast<uint8_t>(x & 0xFF);
        row[x * 3 + 1] = static_cast<uint8_t>(y & 0xFF);
        row[x * 3 + 2] = static_cast<uint8_t>(position % 256);
      }
    }
    return true;
  }
  bool GetAspectRatio(uint32_t* x, uint32_t* y) override {
    calls.push_back("GetAspectRatio");
    if (!aspectResult) return false;
    if (!keepAspect) {
      *x = aspectX;
      *y = aspectY;
    }
    return true;
  }
  bool GetDisplaySize(int32_t* w, int32_t* h) override {
    if (!display) return false;
    *w = display->first;
    *h = display->second;
    return true;
  }
  bool GetFrameSize(int32_t* w, int32_t* h) override {
    *w = frameWidth;
    *h = frameHeight;
    return true;
  }
  int32_t GetStreamCount() override { return streams; }
  int32_t GetProperty(int32_t stream, int32_t id, int32_t kind, void* value) override {
    calls.push_back("GetProperty " + std::to_string(stream) + " " + std::to_string(id) + " " +
                    std::to_string(kind));
    if (stream == -1 && id == 0x10002 && kind == 4) {
      const uint64_t time = 0x0102030405060708ULL;
      std::memcpy(value, &time, sizeof(time));
      return 0;
    }
    if (stream == 0 && id == 0x20001 && kind == 1) {
      const int32_t width = frameWidth;
      std::memcpy(value, &width, sizeof(width));
      return 0;
    }
    return 0x1003;
  }
  void Close() override { calls.push_back("Close"); }

  int32_t frameWidth = 1440;
  int32_t frameHeight = 1080;
  std::optional<std::pair<int32_t, int32_t>> display;
  uint32_t aspectX = 4;
  uint32_t aspectY = 3;
  bool aspectResult = true;
  bool keepAspect = false;
  bool prepareResult = true;
  bool frameResult = true;
  int32_t streams = 1;
  std::vector<std::string> calls;
};

struct Conversation {
  Bytes replies;
  MovieServerEnd end = MovieServerEnd::kQuit;
  std::string failure;
  // Bytes the server left unread in its input.
  Bytes unread;
};

class MovieExtractServerFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    previousPipe_ = ::signal(SIGPIPE, SIG_IGN);
  }
  void TearDown() override {
    ::signal(SIGPIPE, previousPipe_);
    HermeticTest::TearDown();
  }

  // Every open gets openResult and, on success, the reader.
  int32_t Open(const XpString& path, XpFormatKind kind, IMoviePluginReader** out) {
    opens.push_back({path, kind});
    *out = openResult == 0 ? &reader : nullptr;
    return openResult;
  }

  // Sends requests, then closes the sending side (unless keepOpen), runs the
  // server over two socket pairs and collects what it wrote. With
  // closeReplies the test's reading end is closed before the server runs.
  Conversation Converse(const Bytes& requests, bool closeReplies = false) {
    int in[2];
    int out[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in), 0);
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, out), 0);
    EXPECT_TRUE(XpMoviePipeWriteAll(in[0], requests.data(), requests.size()));
    ::shutdown(in[0], SHUT_WR);
    if (closeReplies) ::close(out[0]);
    Conversation conversation;
    std::thread server([&] {
      MovieExtractServer instance(in[1], out[1],
                                  [this](const XpString& p, XpFormatKind k, IMoviePluginReader** r) {
                                    return Open(p, k, r);
                                  });
      conversation.end = instance.Run();
      conversation.failure = instance.GetFailure();
      ::shutdown(out[1], SHUT_WR);
    });
    if (!closeReplies) {
      uint8_t piece[4096];
      for (;;) {
        const ssize_t got = ::read(out[0], piece, sizeof(piece));
        if (got <= 0) break;
        Append(conversation.replies, piece, static_cast<size_t>(got));
      }
    }
    server.join();
    ::fcntl(in[1], F_SETFL, O_NONBLOCK);
    uint8_t piece[1024];
    ssize_t got = 0;
    while ((got = ::read(in[1], piece, sizeof(piece))) > 0) {
      Append(conversation.unread, piece, static_cast<size_t>(got));
    }
    ::close(in[0]);
    ::close(in[1]);
    if (!closeReplies) ::close(out[0]);
    ::close(out[1]);
    return conversation;
  }

  // One frame request after a successful open.
  Reply Frame(int32_t width, int32_t height, uint8_t keepAspect, uint8_t prepare = 0,
              int64_t position = 0) {
    const Conversation c =
        Converse(Concat({OpenRequest(u"/m.mp4"), FrameRequest(position, width, height, keepAspect, prepare),
                         TokenRequest(MovieToken::kQuit)}));
    EXPECT_EQ(c.end, MovieServerEnd::kQuit);
    const std::vector<Reply> replies = ParseReplies(c.replies);
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? Reply() : replies[0];
  }

  TestReader reader;
  int32_t openResult = 0;
  std::vector<std::pair<XpString, XpFormatKind>> opens;

 private:
  void (*previousPipe_)(int) = SIG_DFL;
};

using MovieExtractServer = MovieExtractServerFixture;

TEST_F(MovieExtractServer, FrameSizesFollowTheRequestTheDisplaySizeAndTheAspect) {
  struct Row {
    const char* name;
    int32_t frameWidth, frameHeight;
    int32_t w, h;
    uint8_t keep;
    std::optional<std::pair<int32_t, int32_t>> display;
    uint32_t ax, ay;
    MovieFrameHeader expected;
  };
  const Row rows[] = {
      {"fit 160 at 16:9", 1440, 1080, 160, 160, 0, std::nullopt, 16, 9, {160, 90, 43200, 16, 9}},
      {"display, keep", 1440, 1080, 0, 0, 1, std::pair{720, 480}, 4, 3, {640, 480, 921600, 4, 3}},
      {"display", 1440, 1080, 0, 0, 0, std::pair{720, 480}, 4, 3, {720, 480, 1036800, 4, 3}},
      {"frame, keep", 1440, 1080, 0, 0, 1, std::nullopt, 16, 9, {1920, 1080, 6220800, 16, 9}},
      {"small frame", 5, 3, 0, 0, 0, std::nullopt, 4, 3, {5, 3, 48, 4, 3}},
      {"keep plays no part with a size", 1440, 1080, 160, 160, 1, std::nullopt, 16, 9,
       {160, 90, 43200, 16, 9}},
      {"tall display, keep", 320, 240, 0, 0, 1, std::pair{64, 17408}, 4, 3,
       {320, 240, 230400, 4, 3}},
      {"tall display", 320, 240, 0, 0, 0, std::pair{64, 17408}, 4, 3, {64, 240, 46080, 4, 3}},
      {"wide display", 320, 240, 0, 0, 0, std::pair{60000, 240}, 4, 3, {320, 240, 230400, 4, 3}},
      {"wide display at a wide aspect", 720, 480, 0, 0, 0, std::pair{60000, 480}, 16, 9,
       {853, 480, 1228800, 16, 9}},
      {"anamorphic display", 720, 480, 0, 0, 0, std::pair{853, 480}, 16, 9,
       {853, 480, 1228800, 16, 9}},
  };
  for (const Row& row : rows) {
    reader.frameWidth = row.frameWidth;
    reader.frameHeight = row.frameHeight;
    reader.display = row.display;
    reader.aspectX = row.ax;
    reader.aspectY = row.ay;
    const Reply reply = Frame(row.w, row.h, row.keep, 0, 300);
    ASSERT_EQ(reply.token, MovieToken::kFrame) << row.name;
    EXPECT_EQ(reply.header.width, row.expected.width) << row.name;
    EXPECT_EQ(reply.header.height, row.expected.height) << row.name;
    EXPECT_EQ(reply.header.byteCount, row.expected.byteCount) << row.name;
    EXPECT_EQ(reply.header.aspectX, row.expected.aspectX) << row.name;
    EXPECT_EQ(reply.header.aspectY, row.expected.aspectY) << row.name;
    EXPECT_EQ(reply.body, ExpectedPixels(row.frameWidth, row.frameHeight, 300, row.expected.width,
                                         row.expected.height))
        << row.name;
  }
}

TEST_F(MovieExtractServer, RowsArriveTopDownWithZeroPadding) {
  reader.frameWidth = 5;
  reader.frameHeight = 3;
  const Reply reply = Frame(0, 0, 0, 0, 258);
  ASSERT_EQ(reply.token, MovieToken::kFrame);
  ASSERT_EQ(reply.body.size(), 48u);
  for (size_t row = 0; row < 3; ++row) {
    EXPECT_EQ(reply.body[row * 16 + 1], row) << row;  // G is the row from the top
    EXPECT_EQ(reply.body[row * 16 + 2], 2) << row;    // R is the position mod 256
    EXPECT_EQ(reply.body[row * 16 + 15], 0) << row;
  }
}

TEST_F(MovieExtractServer, UnusableSizesAndReaderFailuresAnswerError) {
  struct Row {
    const char* name;
    int32_t frameWidth, frameHeight;
    int32_t w, h;
    uint32_t ax, ay;
    bool aspectResult;
    bool frameResult;
    bool getFrameCalled;
  };
  const Row rows[] = {
      {"height fits to 0", 1440, 1080, 1, 1000, 16, 9, true, true, false},
      {"width fits to 0", 1440, 1080, 1000, 1, 9, 16, true, true, false},
      {"negative width", 1440, 1080, -1, 100, 4, 3, true, true, false},
      {"negative height", 1440, 1080, 100, -5, 4, 3, true, true, false},
      {"beyond the header", 1440, 1080, 70000, 70000, 4, 3, true, true, false},
      {"byte count beyond int32", 1440, 1080, 40000, 60000, 2, 3, true, true, false},
      {"aspect fails", 1440, 1080, 0, 0, 4, 3, false, true, false},
      {"aspect 0:9", 1440, 1080, 0, 0, 0, 9, true, true, false},
      {"aspect 4:0", 1440, 1080, 0, 0, 4, 0, true, true, false},
      {"frame fails", 64, 48, 0, 0, 4, 3, true, false, true},
      {"frame buffer beyond uint32", 65536, 30000, 100, 100, 4, 3, true, true, false},
      {"frame size 0", 0, 48, 0, 0, 4, 3, true, true, false},
  };
  for (const Row& row : rows) {
    reader = TestReader();
    reader.frameWidth = row.frameWidth;
    reader.frameHeight = row.frameHeight;
    reader.aspectX = row.ax;
    reader.aspectY = row.ay;
    reader.aspectResult = row.aspectResult;
    reader.frameResult = row.frameResult;
    const Reply reply = Frame(row.w, row.h, 0);
    EXPECT_EQ(reply.token, MovieToken::kError) << row.name;
    const bool called =
        std::find(reader.calls.begin(), reader.calls.end(), "GetFrame") != reader.calls.end();
    EXPECT_EQ(called, row.getFrameCalled) << row.name;
  }
}

TEST_F(MovieExtractServer, AspectKeptWhenTheReaderWritesNothing) {
  reader.frameWidth = 8;
  reader.frameHeight = 6;
  reader.aspectX = 16;
  reader.aspectY = 9;
  reader.keepAspect = true;
  const Reply reply = Frame(0, 0, 0);
  ASSERT_EQ(reply.token, MovieToken::kFrame);
  EXPECT_EQ(reply.header.aspectX, 4);
  EXPECT_EQ(reply.header.aspectY, 3);
}

TEST_F(MovieExtractServer, PrepareIsAlwaysCalledAndCountsOnlyWhenAsked) {
  reader.frameWidth = 8;
  reader.frameHeight = 6;
  reader.prepareResult = false;
  EXPECT_EQ(Frame(0, 0, 0, 1).token, MovieToken::kError);
  EXPECT_EQ(reader.calls.front(), "Prepare 512 1");
  reader.calls.clear();
  EXPECT_EQ(Frame(0, 0, 0, 0).token, MovieToken::kFrame);
  EXPECT_EQ(reader.calls.front(), "Prepare 512 0");
}

TEST_F(MovieExtractServer, FailedPixmapAllocationsAnswerError) {
  reader.frameWidth = 8;
  reader.frameHeight = 6;
  for (int32_t n = 1; n <= 3; ++n) {
    XpScopedPixmapAllocationFailure failure(n);
    // 1: the frame, 2: the upright copy, 3: the resize.
    EXPECT_EQ(Frame(4, 3, 0).token, MovieToken::kError) << n;
  }
  EXPECT_EQ(Frame(4, 3, 0).token, MovieToken::kFrame);
}

TEST_F(MovieExtractServer, PropertyBlockAsksEveryEntryInTableOrder) {
  const Conversation c = Converse(Concat(
      {OpenRequest(u"/m.mp4"), TokenRequest(MovieToken::kProperties), TokenRequest(MovieToken::kQuit)}));
  const std::vector<Reply> replies = ParseReplies(c.replies);
  ASSERT_EQ(replies.size(), 1u);
  ASSERT_EQ(replies[0].token, MovieToken::kProperties);
  ASSERT_EQ(c.replies.size(), kMovieTokenBytes + MoviePropertyBlock::kBytes);
  const Bytes& block = replies[0].body;
  std::vector<std::string> expected;
  for (const MoviePropertyEntry& e : MoviePropertyBlock::Entries()) {
    expected.push_back("GetProperty " + std::to_string(e.stream) + " " + std::to_string(e.id) + " " +
                       std::to_string(e.type));
  }
  expected.push_back("Close");  // the server closes the open movie as it ends
  EXPECT_EQ(reader.calls, expected);
  EXPECT_EQ(block[0], 1);  // stream count
  EXPECT_EQ(Bytes(block.begin() + 12, block.begin() + 16), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Bytes(block.begin() + 16, block.begin() + 24), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(Bytes(block.begin() + 24, block.begin() + 32), (Bytes{0, 0, 0, 0, 0xA0, 5, 0, 0}));
  EXPECT_EQ(Bytes(block.begin() + 84, block.begin() + 88), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Bytes(block.begin() + 4, block.begin() + 8), (Bytes{3, 0x10, 0, 0}));
}

TEST_F(MovieExtractServer, RepliesWithoutAMovieFollowTheLastOpenResult) {
  struct Row {
    std::optional<int32_t> openResult;  // none: no open at all
    MovieToken expected;
  };
  const Row rows[] = {
      {std::nullopt, MovieToken::kError}, {0x1000, MovieToken::kBad}, {0x1001, MovieToken::kBad},
      {7, MovieToken::kError},            {0x1002, MovieToken::kError},
  };
  for (const Row& row : rows) {
    openResult = row.openResult.value_or(0);
    Bytes requests = row.openResult ? OpenRequest(u"/m.mp4") : Bytes();
    requests = Concat({requests, FrameRequest(0, 0, 0, 0), TokenRequest(MovieToken::kProperties)});
    // A later successful open clears it.
    const Conversation c = Converse(requests);
    const std::vector<Reply> replies = ParseReplies(c.replies);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].token, row.expected);
    EXPECT_EQ(replies[1].token, row.expected);
    EXPECT_EQ(c.replies.size(), 2 * kMovieTokenBytes);
    EXPECT_EQ(c.end, MovieServerEnd::kEndOfInput);
  }
  openResult = 0;
  reader.frameWidth = 8;
  reader.frameHeight = 6;
  const Conversation c = Converse(Concat({OpenRequest(u"/m.mp4"), TokenRequest(MovieToken::kProperties)}));
  EXPECT_EQ(ParseReplies(c.replies).at(0).token, MovieToken::kProperties);
}

TEST_F(MovieExtractServer, OpenClosesTheOpenMovieAndPassesPathAndKind) {
  const Conversation c = Converse(Concat({OpenRequest(u"/a.mp4", 0x20001100), OpenRequest(u"/b\u00e9.mp4"),
                                          TokenRequest(MovieToken::kClose), TokenRequest(MovieToken::kClose)}));
  EXPECT_TRUE(c.replies.empty());
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[0].first, XpString(u"/a.mp4"));
  EXPECT_EQ(opens[0].second, 0x20001100u);
  EXPECT_EQ(opens[1].first, XpString(u"/b\u00e9.mp4"));
  EXPECT_EQ(opens[1].second, 0x01000000u);
  EXPECT_EQ(reader.calls, (std::vector<std::string>{"Close", "Close"}));
}

TEST_F(MovieExtractServer, ConversationsEndCleanlyOrBroken) {
  Bytes longOpen = TokenRequest(MovieToken::kOpen);
  AppendInt32(longOpen, 0x01000000);
  AppendInt32(longOpen, 260);
  AppendText(longOpen, u"/path");
  Bytes negativeOpen = TokenRequest(MovieToken::kOpen);
  AppendInt32(negativeOpen, 0x01000000);
  AppendInt32(negativeOpen, -1);
  AppendText(negativeOpen, u"/path");
  Bytes unknown;
  AppendText(unknown, u"<X>");
  Bytes square;
  AppendText(square, u"[O]");
  Bytes serverToken;
  AppendText(serverToken, u"<E>");
  // "<L>" and 10 of its 24 bytes.
  Bytes shortFrame = FrameRequest(0, 0, 0, 0);
  shortFrame.resize(kMovieTokenBytes + 10);
  Bytes halfToken;
  AppendText(halfToken, u"<Q");
  struct Row {
    const char* name;
    Bytes requests;
    MovieServerEnd end;
    size_t unread;
  };
  const Row rows[] = {
      {"quit", Concat({TokenRequest(MovieToken::kQuit), TokenRequest(MovieToken::kClose)}),
       MovieServerEnd::kQuit, kMovieTokenBytes},
      {"end of input", TokenRequest(MovieToken::kClose), MovieServerEnd::kEndOfInput, 0},
      {"unknown letter", unknown, MovieServerEnd::kBroken, 0},
      {"a server token", serverToken, MovieServerEnd::kBroken, 0},
      {"square brackets", square, MovieServerEnd::kBroken, 0},
      {"open length 260", longOpen, MovieServerEnd::kBroken, 10},
      {"open length -1", negativeOpen, MovieServerEnd::kBroken, 10},
      {"frame request cut short", shortFrame, MovieServerEnd::kBroken, 0},
      {"token cut short", halfToken, MovieServerEnd::kBroken, 0},
  };
  for (const Row& row : rows) {
    const Conversation c = Converse(row.requests);
    EXPECT_EQ(c.end, row.end) << row.name;
    EXPECT_TRUE(c.replies.empty()) << row.name;
    EXPECT_EQ(c.unread.size(), row.unread) << row.name;
    EXPECT_EQ(c.failure.empty(), row.end != MovieServerEnd::kBroken) << row.name;
  }
  EXPECT_TRUE(opens.empty());
}

TEST_F(MovieExtractServer, FailedWriteBreaksTheConversation) {
  reader.frameWidth = 8;
  reader.frameHeight = 6;
  const Conversation c = Converse(
      Concat({OpenRequest(u"/m.mp4"), FrameRequest(0, 0, 0, 0), TokenRequest(MovieToken::kQuit)}), true);
  EXPECT_EQ(c.end, MovieServerEnd::kBroken);
  EXPECT_FALSE(c.failure.empty());
  EXPECT_EQ(c.unread.size(), kMovieTokenBytes);  // "<Q>" is never read
}

}  // namespace
}  // namespace moviethumb_test
