// The walks over a JPEG's marker segments end on every stream: each read
// must return what it asked for, and each skip must move forward and stay
// inside the stream, on a file on disk and on one held in memory (which
// answers a short read with success).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegCheckPrologue.h"
#include "imaging/tests/jpeg/JpegBuilder.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr XpResult kNoExif = 0x8601;
constexpr XpResult kNotAJpeg = 0x8602;
// Bytes in front of the stream in the embedded rows, as in a raw file.
constexpr size_t kEmbeddedAt = 100;

struct WalkCase {
  const char* name;
  std::vector<uint8_t> stream;
  // XpImageIoJpeg::LocateTiffBlock, and XpJpegCheckPrologue before it.
  XpResult located;
  XpResult prologue;
};

const std::vector<WalkCase>& WalkCases() {
  static const std::vector<WalkCase> cases = {
      {"short APP1 at the end", {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x02, 0xFF, 0xD9}, kNoExif, kXpOk},
      {"APP1 holding only the signature",
       {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x06, 'E', 'x', 'i', 'f', 0xFF, 0xD9},
       kNoExif,
       kXpOk},
      {"APP1 of length 0", {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x00, 0xFF, 0xD9}, kNotAJpeg, kNotAJpeg},
      {"APP0 of length 1", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xD9}, kNotAJpeg, kNotAJpeg},
      {"APP1 running past the end",
       {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x'},
       kXpErrEndOfFile,
       kXpErrEndOfFile},
      {"APP0 running past the end",
       {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF, 0x00, 0x00},
       kXpErrEndOfFile,
       kXpErrEndOfFile},
      {"stream ending after a segment", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02}, kXpErrEndOfFile,
       kXpErrEndOfFile},
  };
  return cases;
}

// The stream alone, or behind kEmbeddedAt other bytes.
std::vector<uint8_t> Placed(const std::vector<uint8_t>& stream, size_t at) {
  std::vector<uint8_t> bytes(at, 0x5A);
  bytes.insert(bytes.end(), stream.begin(), stream.end());
  return bytes;
}

// Counts the reads, seeks and size queries that reach the system.
class CountingSysCalls : public XpSysCallsWrapper {
 public:
  CountingSysCalls() : XpSysCallsWrapper(XpSysCalls::Current()) { previous_ = XpSysCalls::Install(this); }
  CountingSysCalls(const CountingSysCalls&) = delete;
  CountingSysCalls& operator=(const CountingSysCalls&) = delete;
  ~CountingSysCalls() override { XpSysCalls::Install(previous_); }

  ssize_t Read(int fd, void* buffer, size_t count) override {
    ++reads;
    return Target().Read(fd, buffer, count);
  }
  ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) override {
    ++reads;
    return Target().Pread(fd, buffer, count, offset);
  }
  off_t Lseek(int fd, off_t offset, int whence) override {
    ++others;
    return Target().Lseek(fd, offset, whence);
  }
  int Fstat(int fd, struct stat* out) override {
    ++others;
    return Target().Fstat(fd, out);
  }

  std::atomic<int> reads{0};
  std::atomic<int> others{0};

 private:
  XpSysCalls* previous_ = nullptr;
};

// An APPn segment of size payload bytes that begins with signature.
JpegSegment Segment(uint8_t code, const std::string& signature, size_t size) {
  JpegSegment segment;
  segment.code = code;
  segment.payload.assign(signature.begin(), signature.end());
  segment.payload.resize(size, 0x33);
  return segment;
}

class XpJpegMarkerWalk : public testsupport::HermeticTest {
 protected:
  // Runs check on the bytes held in memory and on a file holding them.
  template <typename Check>
  void OnBothFiles(const std::vector<uint8_t>& bytes, Check check) {
    std::vector<uint8_t> held = bytes;
    XpMemoryFile memory(held.data(), held.size(), false);
    ASSERT_EQ(memory.Open(kXpOpenRead), kXpOk);
    {
      SCOPED_TRACE("memory");
      check(memory);
    }
    const auto path = Dir("walk") / "stream.jpg";
    WriteBytes(path, bytes);
    XpFile disk;
    ASSERT_EQ(disk.OpenPath(PathText(path), kXpOpenRead), kXpOk);
    {
      SCOPED_TRACE("disk");
      check(disk);
    }
    EXPECT_EQ(disk.Close(), kXpOk);
  }
};

TEST_F(XpJpegMarkerWalk, HostileSegmentsEndTheExifSearchWithAResult) {
  for (const WalkCase& c : WalkCases()) {
    for (const size_t at : {size_t{0}, kEmbeddedAt}) {
      SCOPED_TRACE(testing::Message() << c.name << " at " << at);
      OnBothFiles(Placed(c.stream, at), [&](XpAbstractFile& file) {
        XpImageIoJpeg reader;
        EXPECT_EQ(reader.LocateTiffBlock(file, static_cast<int64_t>(at)), c.located);
        EXPECT_FALSE(reader.ReadTags(file, static_cast<int64_t>(at)));
      });
    }
  }
}

TEST_F(XpJpegMarkerWalk, HostileSegmentsEndThePrologueCheckWithAResult) {
  for (const WalkCase& c : WalkCases()) {
    SCOPED_TRACE(c.name);
    OnBothFiles(c.stream, [&](XpAbstractFile& file) {
      EXPECT_EQ(XpJpegCheckPrologue(file), c.prologue);
    });
  }
}

TEST_F(XpJpegMarkerWalk, HostileSegmentsEndEveryReadOfThePicture) {
  for (const WalkCase& c : WalkCases()) {
    SCOPED_TRACE(c.name);
    OnBothFiles(c.stream, [&](XpAbstractFile& file) {
      XpImageIoJpeg reader;
      std::unique_ptr<XpPixmapBase> picture(reader.ReadPixmap(file, 0, 1, nullptr, true, true));
      EXPECT_EQ(picture, nullptr);
      EXPECT_NE(reader.GetLastError(), kXpOk);
      std::unique_ptr<XpPixmapBase> thumbnail(reader.ReadOrientedPixmap(file, 0));
      EXPECT_EQ(thumbnail, nullptr);
      XpSize size;
      EXPECT_NE(reader.ReadImageSize(file, 0, &size, false), kXpOk);
    });
  }
}

TEST_F(XpJpegMarkerWalk, SkipsMoveForwardWithinTheFile) {
  struct SkipCase {
    const char* name;
    int64_t from;
    int64_t count;
    XpResult result;
    int64_t landed;
  };
  // A file of 10 bytes.
  const SkipCase cases[] = {
      {"nothing", 4, 0, kXpOk, 4},
      {"to the end", 4, 6, kXpOk, 10},
      {"past the end", 4, 7, kXpErrEndOfFile, 4},
      {"backwards", 4, -2, kNotAJpeg, 4},
  };
  for (const SkipCase& c : cases) {
    SCOPED_TRACE(c.name);
    OnBothFiles(std::vector<uint8_t>(10, 0), [&](XpAbstractFile& file) {
      ASSERT_EQ(file.Seek(c.from, kXpSeekBegin), kXpOk);
      EXPECT_EQ(XpJpegSkipForward(file, c.count), c.result);
      EXPECT_EQ(file.Tell(), c.landed);
    });
  }
}

TEST_F(XpJpegMarkerWalk, TheExifSearchReadsTheHeadInFewCalls) {
  constexpr uint8_t kApp0 = 0xE0;
  constexpr uint8_t kApp1 = 0xE1;
  constexpr uint8_t kApp2 = 0xE2;
  constexpr size_t kPictureBytes = 1 << 20;
  const std::string exif("Exif\0\0II*\0\x08\0\0\0", 14);
  const std::string icc("ICC_PROFILE\0\x01\x01", 14);
  struct Case {
    const char* name;
    std::vector<JpegSegment> segments;
    // Where the TIFF header starts, from the stream's start.
    int64_t tiffAt;
    int reads;
    int others;
  };
  const std::vector<JpegSegment> large = {Segment(kApp2, icc, 60000), Segment(kApp2, icc, 60000),
                                          Segment(kApp2, icc, 60000), Segment(kApp1, exif, 30000)};
  const Case cases[] = {
      // A camera's head fits one read: JFIF, Exif with its thumbnail, a profile.
      {"camera head",
       {Segment(kApp0, "JFIF", 14), Segment(kApp1, exif, 40000), Segment(kApp2, icc, 3000)},
       2 + 18 + 4 + 6,
       1,
       4},
      // 210 KB of segments, more than the buffer holds: a refill where a
      // walk leaves it, and the second walk starts again from the front.
      {"large head", large, 2 + 3 * 60004 + 4 + 6, 5, 8},
  };
  for (const Case& c : cases) {
    for (const size_t at : {size_t{0}, kEmbeddedAt}) {
      SCOPED_TRACE(testing::Message() << c.name << " at " << at);
      std::vector<uint8_t> stream =
          WithSegments(BuildFrame(16, 16, FrameModel::kRgb, 10, 20, 30), c.segments);
      // As long as a picture: no read comes up short at the end of the file.
      stream.resize(stream.size() + kPictureBytes, 0);
      const auto path = Dir("count") / "head.jpg";
      WriteBytes(path, Placed(stream, at));
      XpFile disk;
      ASSERT_EQ(disk.OpenPath(PathText(path), kXpOpenRead), kXpOk);
      XpImageIoJpeg reader;
      {
        CountingSysCalls calls;
        EXPECT_EQ(reader.LocateTiffBlock(disk, static_cast<int64_t>(at)), kXpOk);
        EXPECT_LE(calls.reads.load(), c.reads);
        EXPECT_LE(calls.others.load(), c.others);
      }
      EXPECT_EQ(disk.Tell(), static_cast<int64_t>(at) + c.tiffAt);
      EXPECT_EQ(disk.Close(), kXpOk);
    }
  }
}

}  // namespace
