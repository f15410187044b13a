#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "XpMoviePluginAbi.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/movie/XpMoviePluginManager.h"
#include "imaging/movie/XpMoviePluginQueries.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/testsupport/RunQuietly.h"
#include "platform/text/XpString.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kJuly4th2010 = 1278249255;  // 2010-07-04T13:14:15Z
constexpr const char* kCreationTime = "creation_time=2010-07-04T13:14:15Z";
constexpr XpFormatKind kMpeg1 = 0x20011101;
constexpr XpFormatKind kMp4 = 0x20031101;
constexpr XpFormatKind kMov = 0x20031102;
constexpr uint8_t kDarkest = 20;
constexpr uint8_t kBrightest = 230;

uint32_t Stride(int32_t width) {
  return (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
}

// The plug-in, loaded directly, and one reader of it.
class PluginReader {
 public:
  PluginReader() {
    module_ = ::dlopen(KAVO_MPFFMPEG_PATH, RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
      return;
    }
    void* address = ::dlsym(module_, kMoviePluginCreateReaderName);
    MoviePluginCreateReaderFn create = nullptr;
    std::memcpy(&create, &address, sizeof create);
    if (create != nullptr) {
      reader_ = create();
    }
  }
  PluginReader(const PluginReader&) = delete;
  PluginReader& operator=(const PluginReader&) = delete;
  ~PluginReader() {
    if (reader_ != nullptr) {
      reader_->Release();
    }
    if (module_ != nullptr) {
      ::dlclose(module_);
    }
  }
  IMoviePluginReader* operator->() const { return reader_; }
  explicit operator bool() const { return reader_ != nullptr; }

 private:
  void* module_ = nullptr;
  IMoviePluginReader* reader_ = nullptr;
};

class MPFFmpeg : public testsupport::HermeticTest {
 protected:
  // Runs the ffmpeg tool with arguments; the movie lands in the test's
  // folder under name.
  fs::path MakeMovie(const std::string& name, std::vector<std::string> arguments) {
    const fs::path output = Dir("movies") / name;
    std::vector<std::string> all = {KAVO_FFMPEG_EXECUTABLE, "-hide_banner", "-nostdin",
                                    "-loglevel", "error", "-y"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    all.push_back(output.string());
    EXPECT_EQ(testsupport::RunQuietly(all), 0) << "ffmpeg failed for " << name;
    return output;
  }


  // A movie of one lavfi source, ten frames a second, lossless so that the
  // colours come back as they went in.
  fs::path MakeLossless(const std::string& name, const std::string& source,
                        const std::string& filter = "") {
    std::vector<std::string> arguments = {"-f", "lavfi", "-i", source};
    if (!filter.empty()) {
      arguments.insert(arguments.end(), {"-vf", filter});
    }
    arguments.insert(arguments.end(), {"-c:v", "ffv1", "-pix_fmt", "yuv444p"});
    return MakeMovie(name, arguments);
  }

  static std::vector<uint8_t> Frame(PluginReader& reader, int64_t position, bool* ok) {
    int32_t width = 0;
    int32_t height = 0;
    *ok = reader->GetFrameSize(&width, &height);
    std::vector<uint8_t> buffer(static_cast<size_t>(Stride(width)) * height, 0xAB);
    *ok = *ok && reader->GetFrame(position, static_cast<uint32_t>(buffer.size()), buffer.data());
    return buffer;
  }
};

struct ContainerCase {
  const char* name;
  const char* file;
  std::vector<std::string> arguments;
  XpFormatKind kind;
  int32_t width;
  int32_t height;
  uint32_t aspectX;
  uint32_t aspectY;
  std::optional<uint64_t> creationTime;
  int32_t streamCount;
  std::optional<int32_t> sampleRate;
  std::optional<uint32_t> rate;  // frames a second, denominator 1
  std::optional<int32_t> durationMs;
};

TEST_F(MPFFmpeg, ContainersOpenWithTheirPropertiesThroughTheManager) {
  const std::vector<ContainerCase> cases = {
      {"MPEG-1 program stream", "a.mpg",
       {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "2", "-c:v", "mpeg1video",
        "-f", "mpeg"},
       kMpeg1, 320, 240, 4, 3, std::nullopt, 1, std::nullopt, 25, 2000},
      {"H.264 MP4", "b.mp4",
       {"-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25", "-t", "1", "-c:v", "libx264",
        "-pix_fmt", "yuv420p", "-metadata", kCreationTime},
       kMp4, 1280, 720, 16, 9, kJuly4th2010, 1, std::nullopt, 25, std::nullopt},
      {"MPEG-4 in a QuickTime container", "c.mp4",
       {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "1", "-c:v", "mpeg4",
        "-metadata", kCreationTime, "-f", "mov"},
       kMov, 320, 240, 4, 3, kJuly4th2010, 1, std::nullopt, std::nullopt, std::nullopt},
      {"MJPEG AVI with sound", "d.avi",
       {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i",
        "sine=frequency=440:sample_rate=44100", "-t", "1", "-c:v", "mjpeg", "-c:a",
        "pcm_s16le"},
       kXpKindUnknown, 320, 240, 4, 3, std::nullopt, 2, 44100, std::nullopt, std::nullopt},
  };
  XpMoviePluginManager manager(
      XpString::FromUtf8(fs::path(KAVO_MPFFMPEG_PATH).parent_path().string()));
  for (const ContainerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path movie = MakeMovie(c.file, c.arguments);
    const XpFormatKind kind = XpFormatChecker::DetectFormatKind(XpString::FromUtf8(movie.string()));
    EXPECT_EQ(kind, c.kind);
    IMoviePluginReader* reader = nullptr;
    ASSERT_EQ(manager.OpenPropertyReader(XpString::FromUtf8(movie.string()), kind, &reader),
              kMoviePluginOk);
    ASSERT_NE(reader, nullptr);
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_TRUE(reader->GetFrameSize(&width, &height));
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    uint32_t aspectX = 0;
    uint32_t aspectY = 0;
    EXPECT_TRUE(reader->GetAspectRatio(&aspectX, &aspectY));
    EXPECT_EQ(aspectX, c.aspectX);
    EXPECT_EQ(aspectY, c.aspectY);
    EXPECT_EQ(reader->GetStreamCount(), c.streamCount);
    int32_t frameWidth = 0;
    EXPECT_EQ(reader->GetProperty(kMovieStreamVideo, kMoviePropVideoFrameWidth,
                                  kMoviePropertyInt32, &frameWidth),
              kMoviePluginOk);
    EXPECT_EQ(frameWidth, c.width);
    uint32_t frameHeight = 0;
    EXPECT_EQ(reader->GetProperty(kMovieStreamVideo, kMoviePropVideoFrameHeight,
                                  kMoviePropertyUInt32, &frameHeight),
              kMoviePluginOk);
    EXPECT_EQ(frameHeight, static_cast<uint32_t>(c.height));
    if (c.creationTime) {
      uint64_t created = 0;
      EXPECT_EQ(reader->GetProperty(kMovieStreamFile, kMoviePropCreationTime,
                                    kMoviePropertyUInt64, &created),
                kMoviePluginOk);
      EXPECT_EQ(created, *c.creationTime);
    }
    if (c.sampleRate) {
      int32_t sampleRate = 0;
      EXPECT_EQ(reader->GetProperty(kMovieStreamAudio, kMoviePropAudioSampleRate,
                                    kMoviePropertyInt32, &sampleRate),
                kMoviePluginOk);
      EXPECT_EQ(sampleRate, *c.sampleRate);
    }
    if (c.rate) {
      uint32_t numerator = 0;
      uint32_t denominator = 0;
      EXPECT_EQ(reader->GetProperty(kMovieStreamVideo, kMoviePropVideoRateNumerator,
                                    kMoviePropertyUInt32, &numerator),
                kMoviePluginOk);
      EXPECT_EQ(reader->GetProperty(kMovieStreamVideo, kMoviePropVideoRateDenominator,
                                    kMoviePropertyUInt32, &denominator),
                kMoviePluginOk);
      EXPECT_EQ(numerator, *c.rate);
      EXPECT_EQ(denominator, 1u);
    }
    if (c.durationMs) {
      int32_t duration = 0;
      EXPECT_EQ(reader->GetProperty(kMovieStreamFile, kMoviePropDuration, kMoviePropertyInt32,
                                    &duration),
                kMoviePluginOk);
      EXPECT_NEAR(duration, *c.durationMs, 40);
    }
    reader->Close();
  }
}

TEST_F(MPFFmpeg, PropertiesAnswerOnlyWithTheirKindAndStream) {
  const fs::path movie = MakeMovie(
      "e.avi", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i",
                "sine=frequency=440:sample_rate=44100", "-t", "1", "-c:v", "mjpeg", "-c:a",
                "pcm_s16le"});
  PluginReader reader;
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->Open(movie.c_str()), kMoviePluginOk);
  struct Entry {
    int32_t stream;
    int32_t id;
    int32_t kind;
    bool present;
    uint64_t value;  // checked when not zero
  };
  const std::vector<Entry> entries = {
      {-1, kMoviePropDuration, kMoviePropertyInt32, true, 0},
      {-1, kMoviePropCreationTime, kMoviePropertyUInt64, false, 0},
      {0, kMoviePropVideoFrameWidth, kMoviePropertyInt32, true, 320},
      {0, kMoviePropVideoFrameHeight, kMoviePropertyUInt32, true, 240},
      {0, kMoviePropVideoDisplayWidth, kMoviePropertyUInt32, true, 320},
      {0, kMoviePropVideoDisplayHeight, kMoviePropertyUInt32, true, 240},
      {0, kMoviePropVideoRateNumerator, kMoviePropertyUInt32, true, 25},
      {0, kMoviePropVideoRateDenominator, kMoviePropertyUInt32, true, 1},
      {0, kMoviePropVideoFrameCount, kMoviePropertyUInt32, true, 25},
      {0, kMoviePropVideoDuration, kMoviePropertyUInt64, true, 1000000},
      {0, kMoviePropVideoUndefined, kMoviePropertyUInt32, false, 0},
      {1, kMoviePropAudioChannels, kMoviePropertyInt32, true, 1},
      {1, kMoviePropAudioSampleRate, kMoviePropertyInt32, true, 44100},
      {1, kMoviePropAudioBitsPerSample, kMoviePropertyUInt32, true, 16},
      {1, kMoviePropAudioUndefined3, kMoviePropertyUInt32, false, 0},
      {1, kMoviePropAudioUndefined4, kMoviePropertyUInt32, false, 0},
      {1, kMoviePropBitRate, kMoviePropertyUInt32, true, 44100 * 16},
      // The wrong kind or stream.
      {0, kMoviePropVideoFrameWidth, kMoviePropertyUInt32, false, 0},
      {-1, kMoviePropDuration, kMoviePropertyUInt64, false, 0},
      {2, kMoviePropAudioSampleRate, kMoviePropertyInt32, false, 0},
  };
  for (const Entry& e : entries) {
    SCOPED_TRACE(testing::Message() << e.stream << " 0x" << std::hex << e.id);
    uint64_t value = 0;
    const int32_t result = reader->GetProperty(e.stream, e.id, e.kind, &value);
    EXPECT_EQ(result == kMoviePluginOk, e.present);
    if (e.present && e.value != 0) {
      const uint64_t stored = e.kind == kMoviePropertyUInt64 ? value : (value & 0xFFFFFFFFu);
      EXPECT_EQ(stored, e.value);
    }
  }
}

TEST_F(MPFFmpeg, FramesFollowPositionsUntilTheEnd) {
  // One second of black, then one of white, 25 frames a second.
  const std::vector<std::string> source = {
      "-f", "lavfi", "-i", "color=black:size=64x48:rate=25:duration=1", "-f", "lavfi", "-i",
      "color=white:size=64x48:rate=25:duration=1", "-filter_complex", "[0][1]concat=n=2:v=1"};
  // A busy picture makes seeks in a program stream land away from key
  // frames; its colours are not checked.
  const std::vector<std::string> busy = {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25",
                                         "-t", "2"};
  const struct {
    const char* file;
    const std::vector<std::string>& source;
    std::vector<std::string> codec;
  } movies[] = {
      {"bw.avi", source, {"-c:v", "ffv1", "-pix_fmt", "yuv444p"}},
      {"bw.mpg", source, {"-c:v", "mpeg1video", "-q:v", "2", "-f", "mpeg"}},
      {"bw.mp4", source, {"-c:v", "libx264", "-crf", "10", "-pix_fmt", "yuv420p"}},
      {"busy.mpg", busy, {"-c:v", "mpeg1video", "-f", "mpeg"}},
  };
  struct PositionCase {
    int64_t position;
    bool decoded;
    bool white;
  };
  // Out of order, so that every position seeks.
  const std::vector<PositionCase> cases = {
      {0, true, false},       {1500000, true, true},  {999999, true, false},
      {1000000, true, true},  {1999999, true, true},  {5000000, false, false},
      {-1, false, false},     {2000000, false, false}, {1960000, true, true},
      {500000, true, false},
  };
  for (const auto& movie : movies) {
    std::vector<std::string> arguments = movie.source;
    arguments.insert(arguments.end(), movie.codec.begin(), movie.codec.end());
    const fs::path path = MakeMovie(movie.file, arguments);
    PluginReader reader;
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->Open(path.c_str()), kMoviePluginOk) << movie.file;
    EXPECT_TRUE(reader->Prepare(0x200, true));
    for (const PositionCase& c : cases) {
      SCOPED_TRACE(testing::Message() << movie.file << " at " << c.position);
      bool ok = false;
      const std::vector<uint8_t> frame = Frame(reader, c.position, &ok);
      EXPECT_EQ(ok, c.decoded);
      if (!ok || &movie.source == &busy) {
        continue;
      }
      if (c.white) {
        EXPECT_GE(*std::min_element(frame.begin(), frame.end()), kBrightest);
      } else {
        EXPECT_LE(*std::max_element(frame.begin(), frame.end()), kDarkest);
      }
    }
  }
}

TEST_F(MPFFmpeg, FrameRowsRunBottomUpWithZeroPadding) {
  const fs::path movie = MakeLossless("half.avi", "color=white:size=66x48:rate=10:duration=1",
                                      "drawbox=x=0:y=24:w=66:h=24:color=black:t=fill");
  PluginReader reader;
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->Open(movie.c_str()), kMoviePluginOk);
  constexpr uint32_t kStride = 200;
  bool ok = false;
  const std::vector<uint8_t> frame = Frame(reader, 0, &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(frame.size(), kStride * 48);
  for (uint32_t row = 0; row < 48; ++row) {
    SCOPED_TRACE(row);
    const auto begin = frame.begin() + row * kStride;
    const auto pixelsEnd = begin + 66 * 3;
    if (row < 24) {
      EXPECT_LE(*std::max_element(begin, pixelsEnd), kDarkest);
    } else {
      EXPECT_GE(*std::min_element(begin, pixelsEnd), kBrightest);
    }
    EXPECT_EQ(pixelsEnd[0], 0);
    EXPECT_EQ(pixelsEnd[1], 0);
  }
  std::vector<uint8_t> shortBuffer(frame.size() - 1);
  EXPECT_FALSE(reader->GetFrame(0, static_cast<uint32_t>(shortBuffer.size()), shortBuffer.data()));
}

TEST_F(MPFFmpeg, ColoursComeOutBlueGreenRed) {
  const fs::path movie = MakeLossless("red.avi", "color=red:size=64x48:rate=10:duration=1");
  PluginReader reader;
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->Open(movie.c_str()), kMoviePluginOk);
  bool ok = false;
  const std::vector<uint8_t> frame = Frame(reader, 0, &ok);
  ASSERT_TRUE(ok);
  for (size_t i = 0; i < frame.size(); i += 3) {
    ASSERT_LE(frame[i], 16) << i;
    ASSERT_LE(frame[i + 1], 16) << i;
    ASSERT_GE(frame[i + 2], 235) << i;
  }
}

TEST_F(MPFFmpeg, OpenResultsTellWhyAFileIsRefused) {
  const fs::path text = Dir("movies") / "notes.txt";
  std::ofstream(text) << "not a movie at all\n";
  const fs::path wav =
      MakeMovie("tone.wav", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000", "-t", "1"});
  const struct {
    fs::path path;
    int32_t expected;
  } cases[] = {
      {text, kMoviePluginNotHandled},
      {Dir("movies") / "missing.mpg", kMoviePluginCannotRead},
      {wav, kMoviePluginNoVideo},
  };
  PluginReader reader;
  ASSERT_TRUE(reader);
  testing::internal::CaptureStderr();
  for (const auto& c : cases) {
    EXPECT_EQ(reader->Open(c.path.c_str()), c.expected) << c.path;
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_FALSE(reader->GetFrameSize(&width, &height));
    EXPECT_EQ(reader->GetStreamCount(), 0);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(MPFFmpeg, CutMovieFailsCleanlyAndQuietly) {
  // With the index at the end the cut movie loses it; at the start, the
  // cut loses frames.
  const struct {
    const char* file;
    const char* flags;
  } cases[] = {{"cut.mp4", "+empty_moov"}, {"cutfast.mp4", "+faststart"}};
  PluginReader reader;
  ASSERT_TRUE(reader);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path movie =
        MakeMovie(c.file, {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "2",
                           "-c:v", "libx264", "-pix_fmt", "yuv420p", "-movflags", c.flags});
    fs::resize_file(movie, fs::file_size(movie) / 2);
    testing::internal::CaptureStderr();
    if (reader->Open(movie.c_str()) == kMoviePluginOk) {
      for (int64_t position : {0, 500000, 1000000, 1900000}) {
        bool ok = false;
        Frame(reader, position, &ok);
      }
      uint32_t count = 0;
      reader->GetProperty(kMovieStreamVideo, kMoviePropVideoFrameCount, kMoviePropertyUInt32,
                          &count);
    }
    reader->Close();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST_F(MPFFmpeg, ManagerOverThePluginFolderAnswersTheFormatChecker) {
  const XpString folder = XpString::FromUtf8(fs::path(KAVO_MPFFMPEG_PATH).parent_path().string());
  XpMoviePluginManager manager(folder);
  EXPECT_TRUE(manager.IsSupportedType(kMp4));
  EXPECT_TRUE(manager.IsAnalyzableType(kMpeg1));
  EXPECT_FALSE(manager.IsSupportedType(0x20001301));

  const XpFormatCheckerHooks::Table previous = XpMoviePluginQueries::Install();
  std::vector<XpFormatKind> kinds;
  XpFormatChecker::GetSupportedKinds(kinds, folder);
  XpFormatCheckerHooks::Install(previous);
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), kMpeg1), kinds.end());
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), kMp4), kinds.end());
  EXPECT_EQ(std::find(kinds.begin(), kinds.end(), 0x20000301u), kinds.end());
}

}  // namespace
