#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/io/ConvertToAdobeRgb.h"
#include "imaging/pixelops/XpPixmapYCbCrFromBGR.h"
#include "imaging/pixelops/XpPixmapYCbCrToBGR.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using Triple = std::vector<int32_t>;

Triple PixelOf(const XpPixmapBase& pixmap, int32_t x) {
  const uint8_t* pixel = pixmap.GetPlane(0)->Row(0) + x * 3;
  return {pixel[0], pixel[1], pixel[2]};
}

// A one-row pixmap of the triples, as the pixmap type lays them out.
template <typename Pixmap>
std::unique_ptr<Pixmap> Row(const std::vector<Triple>& pixels) {
  auto pixmap = std::make_unique<Pixmap>();
  if (pixmap->Allocate(static_cast<int32_t>(pixels.size()), 1) != kXpOk) {
    return nullptr;
  }
  uint8_t* out = pixmap->GetPlane(0)->Row(0);
  for (const Triple& pixel : pixels) {
    for (int32_t value : pixel) {
      *out++ = static_cast<uint8_t>(value);
    }
  }
  return pixmap;
}

class XpJpegColour : public testsupport::HermeticTest {};

TEST_F(XpJpegColour, SRGBToAdobeRgb) {
  struct Case {
    Triple bgr;
    Triple expected;
  };
  const Case cases[] = {
      {{50, 100, 150}, {56, 100, 137}}, {{0, 0, 200}, {0, 0, 171}},
      {{100, 100, 100}, {100, 100, 100}}, {{128, 128, 128}, {127, 127, 127}},
      {{0, 0, 0}, {0, 0, 0}},           {{255, 255, 255}, {255, 255, 255}},
  };
  std::vector<Triple> input;
  for (const Case& c : cases) {
    input.push_back(c.bgr);
  }
  auto pixmap = Row<XpPixmapBGR24NoHandle>(input);
  ASSERT_NE(pixmap, nullptr);
  ASSERT_EQ(ConvertToAdobeRgb(*pixmap), kXpOk);
  for (size_t index = 0; index < std::size(cases); ++index) {
    EXPECT_EQ(PixelOf(*pixmap, static_cast<int32_t>(index)), cases[index].expected) << index;
  }
  XpPixmapYCbCr444 other;
  ASSERT_EQ(other.Allocate(2, 2), kXpOk);
  EXPECT_EQ(ConvertToAdobeRgb(other), kXpErrBadArgument);
}

TEST_F(XpJpegColour, YCbCrToAdobeRgbKeepsBlackAndWhite) {
  const std::vector<Triple> input = {{0, 128, 128}, {255, 128, 128}};
  auto pixmap = Row<XpPixmapYCbCr444>(input);
  ASSERT_NE(pixmap, nullptr);
  ASSERT_EQ(ConvertYCbCrToAdobeRgb(*pixmap), kXpOk);
  EXPECT_EQ(PixelOf(*pixmap, 0), (Triple{0, 128, 128}));
  EXPECT_EQ(PixelOf(*pixmap, 1), (Triple{255, 128, 128}));
}

TEST_F(XpJpegColour, YCbCrToAdobeRgbMatchesTheBGRConversion) {
  // An sRGB colour taken to YCbCr and converted there lands near the BGR
  // conversion of the same colour.
  auto bgr = Row<XpPixmapBGR24NoHandle>({{50, 100, 150}, {200, 30, 90}});
  ASSERT_NE(bgr, nullptr);
  std::unique_ptr<XpPixmapYCbCr444> ycbcr(XpPixmapYCbCrFromBGR(*bgr));
  ASSERT_NE(ycbcr, nullptr);
  ASSERT_EQ(ConvertToAdobeRgb(*bgr), kXpOk);
  ASSERT_EQ(ConvertYCbCrToAdobeRgb(*ycbcr), kXpOk);
  std::unique_ptr<XpPixmapBGR24NoHandle> back(XpPixmapYCbCrToBGR(*ycbcr));
  ASSERT_NE(back, nullptr);
  for (int32_t x = 0; x < 2; ++x) {
    const Triple expected = PixelOf(*bgr, x);
    const Triple actual = PixelOf(*back, x);
    for (size_t channel = 0; channel < 3; ++channel) {
      EXPECT_NEAR(actual[channel], expected[channel], 4) << x << "/" << channel;
    }
  }
}

TEST_F(XpJpegColour, YCbCrFromBGR) {
  std::vector<Triple> greys;
  for (int32_t v = 0; v <= 255; ++v) {
    greys.push_back({v, v, v});
  }
  greys.push_back({0, 0, 255});
  greys.push_back({255, 0, 0});
  auto bgr = Row<XpPixmapBGR24NoHandle>(greys);
  ASSERT_NE(bgr, nullptr);
  std::unique_ptr<XpPixmapYCbCr444> ycbcr(XpPixmapYCbCrFromBGR(*bgr));
  ASSERT_NE(ycbcr, nullptr);
  for (int32_t v = 0; v <= 255; ++v) {
    EXPECT_EQ(PixelOf(*ycbcr, v), (Triple{v, 128, 128})) << v;
  }
  EXPECT_EQ(PixelOf(*ycbcr, 256), (Triple{76, 85, 255}));
  // Pure blue: Y 29.07, Cb 255.5, Cr 107.27.
  EXPECT_EQ(PixelOf(*ycbcr, 257), (Triple{29, 255, 107}));
}

TEST_F(XpJpegColour, YCbCrFromBGRFailsToNull) {
  auto bgr = Row<XpPixmapBGR24NoHandle>({{1, 2, 3}});
  ASSERT_NE(bgr, nullptr);
  {
    XpScopedPixmapAllocationFailure failure(1);
    EXPECT_EQ(XpPixmapYCbCrFromBGR(*bgr), nullptr);
  }
  XpPixmapBGR24NoHandle empty;
  EXPECT_EQ(XpPixmapYCbCrFromBGR(empty), nullptr);
  XpPixmapYCbCr444 other;
  ASSERT_EQ(other.Allocate(1, 1), kXpOk);
  EXPECT_EQ(XpPixmapYCbCrFromBGR(other), nullptr);
}

}  // namespace
