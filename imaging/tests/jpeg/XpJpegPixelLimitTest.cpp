#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/jpeg/JpegBuilder.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr uint8_t kMarkerStart = 0xFF;
constexpr uint8_t kSof0 = 0xC0;
// After FF C0: length (2), precision (1), height (2), width (2).
constexpr size_t kSofHeightOffset = 5;
constexpr size_t kSofWidthOffset = 7;

void PutBigEndian16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes.at(at) = static_cast<uint8_t>(value >> 8);
  bytes.at(at + 1) = static_cast<uint8_t>(value);
}

// A small picture whose frame header declares width x height: the header
// is all a reader sees before it sizes its output.
std::vector<uint8_t> FrameDeclaring(uint16_t width, uint16_t height) {
  std::vector<uint8_t> bytes = BuildFrame(16, 16, FrameModel::kRgb, 200, 30, 60);
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == kMarkerStart && bytes[i + 1] == kSof0) {
      PutBigEndian16(bytes, i + kSofHeightOffset, height);
      PutBigEndian16(bytes, i + kSofWidthOffset, width);
      return bytes;
    }
  }
  ADD_FAILURE() << "no SOF0 in the built frame";
  return bytes;
}

class XpJpegPixelLimit : public testsupport::HermeticTest {
 protected:
  XpImageIoJpeg reader_;
};

// The allocator's seam is armed to fail the next pixmap allocation; a
// reader that refuses the frame leaves it armed for the probe after it.
TEST_F(XpJpegPixelLimit, OutputsBeyondThePixelLimitAreRefusedBeforeAllocating) {
  struct Case {
    uint16_t width;
    uint16_t height;
    int32_t scale;
    bool refused;
  };
  // The limit is 2^28 pixels of output, after the scale.
  const Case cases[] = {
      {65500, 65500, 1, true},
      {65500, 65500, 2, true},
      {65500, 65500, 4, false},  // 16375 x 16375
      {65500, 65500, 8, false},
      {16384, 16385, 1, true},
      {65500, 4099, 1, true},
      {16384, 16384, 1, false},
      {32768, 32770, 2, true},  // 16384 x 16385
      {32768, 32768, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " at 1/" << c.scale);
    std::vector<uint8_t> bytes = FrameDeclaring(c.width, c.height);
    XpMemoryFile file(bytes.data(), bytes.size(), false);
    ASSERT_EQ(file.Open(kXpOpenRead), kXpOk);
    XpScopedPixmapAllocationFailure nextFails(1);
    std::unique_ptr<XpPixmapBase> pixmap(reader_.ReadPixmap(file, 0, c.scale, nullptr, false, false));
    EXPECT_EQ(pixmap, nullptr);
    EXPECT_EQ(reader_.GetLastError(), kXpErrOutOfMemory);
    XpPixmapBGR24NoHandle probe;
    EXPECT_EQ(probe.Allocate(1, 1), c.refused ? kXpErrOutOfMemory : kXpOk);
  }
}

TEST_F(XpJpegPixelLimit, AFrameBeyondTheLimitStillReportsItsSize) {
  std::vector<uint8_t> bytes = FrameDeclaring(65500, 65500);
  XpMemoryFile file(bytes.data(), bytes.size(), false);
  ASSERT_EQ(file.Open(kXpOpenRead), kXpOk);
  XpSize size;
  EXPECT_EQ(reader_.ReadImageSize(file, 0, &size, false), kXpOk);
  EXPECT_EQ(size, XpSize(65500, 65500));
}

}  // namespace
