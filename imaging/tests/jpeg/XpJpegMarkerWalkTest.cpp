// The walks over a JPEG's marker segments end on every stream: each read
// must return what it asked for, and each skip must move forward and stay
// inside the stream, on a file on disk and on one held in memory (which
// answers a short read with success).

#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegCheckPrologue.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/fs/XpFile.h"
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

}  // namespace
