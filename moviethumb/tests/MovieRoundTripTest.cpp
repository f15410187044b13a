#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "imaging/movie/XpImageIoMovie.h"
#include "imaging/movie/XpMovieProperties.h"
#include "moviethumb/tests/MovieServerTestSupport.h"
#include "moviethumb/tests/ServerProcess.h"
#include "platform/testsupport/HermeticTest.h"

namespace moviethumb_test {
namespace {

namespace fs = std::filesystem;

constexpr XpFormatKind kMpegKind = 0x20001100;

int RunTool(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class MovieRoundTrip : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SetEnv("KAVO_FAKE_PLUGIN_LOG", (Root() / "plugin.log").string());
  }
  // A client of the built server over the plug-ins of folder.
  std::unique_ptr<XpImageIoMovie> Client(const fs::path& folder, bool lowPriority = false) {
    XpImageIoMovieOptions options;
    options.serverProgram = XpString::FromUtf8(KAVO_TLVMPTHUMB_PATH);
    return std::make_unique<XpImageIoMovie>(XpString::FromUtf8(folder.string()), lowPriority,
                                            options);
  }
  fs::path FakeFolder() {
    const fs::path folder = Dir("fake");
    fs::copy_file(KAVO_FAKE_SCRIPT_PLUGIN_PATH, folder / fs::path(KAVO_FAKE_SCRIPT_PLUGIN_PATH).filename(),
                  fs::copy_options::overwrite_existing);
    return folder;
  }
  fs::path FfmpegFolder() {
    const fs::path folder = Dir("ffmpeg");
    fs::copy_file(KAVO_MPFFMPEG_PATH, folder / "MPFFmpeg.so", fs::copy_options::overwrite_existing);
    return folder;
  }
  XpString Movie(const std::string& name, const std::string& script) {
    const fs::path path = Root() / name;
    std::ofstream(path) << script;
    return XpString::FromUtf8(path.string());
  }
};

Bytes PixmapBytes(const XpPixmapBase& pixmap) {
  Bytes bytes;
  for (int32_t y = 0; y < pixmap.height; ++y) {
    Append(bytes, pixmap.GetPlane(0)->Row(y), RowBytes(pixmap.width));
  }
  return bytes;
}

TEST_F(MovieRoundTrip, FrameThroughTheClientIsTheResizedUprightPattern) {
  auto client = Client(FakeFolder());
  const XpString movie = Movie("m.mpg", "frame=1440x1080\naspect=16:9\n");
  XpSize aspect;
  std::unique_ptr<XpPixmapBase> frame(client->ReadFrameAt(movie, kMpegKind, 0, 160, 160, false, &aspect));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->width, 160);
  EXPECT_EQ(frame->height, 90);
  EXPECT_EQ(aspect.cx, 16);
  EXPECT_EQ(aspect.cy, 9);
  EXPECT_EQ(PixmapBytes(*frame), ExpectedPixels(1440, 1080, 0, 160, 90));
}

TEST_F(MovieRoundTrip, ADisplaySizeBeyondTheFrameNeverEnlargesThePicture) {
  auto client = Client(FakeFolder());
  const XpString movie = Movie("m.mpg", "frame=320x240\ndisplay=64x17408\naspect=4:3\n");
  XpSize aspect;
  std::unique_ptr<XpPixmapBase> frame(client->ReadFrameAt(movie, kMpegKind, 0, 0, 0, true, &aspect));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->width, 320);
  EXPECT_EQ(frame->height, 240);
  EXPECT_EQ(PixmapBytes(*frame), ExpectedPixels(320, 240, 0, 320, 240));
}

TEST_F(MovieRoundTrip, PropertiesAndImageSizeComeFromTheBlock) {
  auto client = Client(FakeFolder());
  const XpString movie = Movie("m.mpg",
                               "streams=1\nproperty=0,0x20001,1440\nproperty=0,0x30000,1080\n"
                               "property=1,0x40000,48000\n");
  const XpSharedPtr<XpMovieProperties> properties = client->GetProperties(movie);
  ASSERT_NE(properties.Get(), nullptr);
  int32_t width = 0;
  uint32_t height = 0;
  int32_t rate = 0;
  EXPECT_EQ(properties->GetInt32(0, 0x20001, &width), kXpOk);
  EXPECT_EQ(properties->GetUInt32(0, 0x30000, &height), kXpOk);
  EXPECT_EQ(width, 1440);
  EXPECT_EQ(height, 1080u);
  EXPECT_NE(properties->GetInt32(1, 0x40000, &rate), kXpOk);  // one stream: no audio
  XpSize size;
  EXPECT_EQ(client->ReadImageSizeFlag0FromPath(movie, &size), kXpOk);
  EXPECT_EQ(size.cx, 1440);
  EXPECT_EQ(size.cy, 1080);
}

TEST_F(MovieRoundTrip, BatchSkipsPositionsWithoutAFrame) {
  auto client = Client(FakeFolder());
  const XpString movie = Movie("m.mpg", "frame=64x48\nframes=0,9\n");
  std::vector<XpSharedPtr<XpPixmapBase>> frames;
  EXPECT_EQ(client->ReadFrames(movie, kMpegKind, 32, 32, {0, 5, 9}, &frames, nullptr), kXpOk);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1]->GetPlane(0)->Row(0)[2], 9);  // R is the position
}

TEST_F(MovieRoundTrip, FailedOpensGiveTheClientsCodes) {
  auto client = Client(FakeFolder());
  const struct {
    const char* script;
    XpResult expected;
  } rows[] = {{"open=0x1000\n", 0x8602}, {"open=7\n", 0x8605}};
  for (const auto& row : rows) {
    const XpString movie = Movie("m.mpg", row.script);
    XpSize aspect;
    EXPECT_EQ(client->ReadFrameAt(movie, kMpegKind, 0, 0, 0, false, &aspect), nullptr);
    EXPECT_EQ(client->GetLastError(), row.expected) << row.script;
  }
}

TEST_F(MovieRoundTrip, StopServerLetsTheServerEndByItself) {
  auto client = Client(FakeFolder());
  const XpString movie = Movie("m.mpg", "frame=8x6\n");
  XpSize aspect;
  std::unique_ptr<XpPixmapBase> frame(client->ReadFrameAt(movie, kMpegKind, 0, 0, 0, false, &aspect));
  ASSERT_NE(frame, nullptr);
  const pid_t pid = client->GetServerPid();
  ASSERT_GT(pid, 0);
  // The client reaps the server. Only a server that ended by itself unloads
  // its plug-ins, and the fake logs its unload; a killed one never does.
  client->StopServer();
  EXPECT_EQ(client->GetServerPid(), 0);
  EXPECT_NE(::kill(pid, 0), 0);
  std::ifstream log(Root() / "plugin.log");
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Script ReaderRelease\nScript unload\n"), std::string::npos) << text;
}

TEST_F(MovieRoundTrip, LowPriorityClientRunsANiceServer) {
  auto client = Client(FakeFolder(), true);
  const XpString movie = Movie("m.mpg", "frame=8x6\n");
  XpSize aspect;
  std::unique_ptr<XpPixmapBase> frame(client->ReadFrameAt(movie, kMpegKind, 0, 0, 0, false, &aspect));
  ASSERT_NE(frame, nullptr);
  EXPECT_GE(NiceOf(client->GetServerPid()), 5);
}

TEST_F(MovieRoundTrip, RealPluginFramesArriveUprightAtTheDisplaySize) {
  const fs::path movie = Dir("movies") / "half.mp4";
  ASSERT_EQ(RunTool({KAVO_FFMPEG_EXECUTABLE, "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                     "-f", "lavfi", "-i", "color=white:size=320x240:rate=10", "-t", "1", "-vf",
                     "drawbox=x=0:y=120:w=320:h=120:color=black:t=fill", "-pix_fmt", "yuv420p",
                     movie.string()}),
            0);
  auto client = Client(FfmpegFolder());
  XpSize aspect;
  std::unique_ptr<XpPixmapBase> frame(
      client->ReadFrameAt(XpString::FromUtf8(movie.string()), 0x01000000, 0, 0, 0, false, &aspect));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->width, 320);
  EXPECT_EQ(frame->height, 240);
  const uint8_t* top = frame->GetPlane(0)->Row(0);
  const uint8_t* bottom = frame->GetPlane(0)->Row(239);
  for (int32_t i = 0; i < 320 * 3; ++i) {
    ASSERT_GE(top[i], 230) << i;
    ASSERT_LE(bottom[i], 20) << i;
  }
  const XpSharedPtr<XpMovieProperties> properties =
      client->GetProperties(XpString::FromUtf8(movie.string()));
  ASSERT_NE(properties.Get(), nullptr);
  EXPECT_GT(properties->GetStreamCount(), 0);
}

}  // namespace
}  // namespace moviethumb_test
