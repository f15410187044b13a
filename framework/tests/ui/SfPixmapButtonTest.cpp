#include "framework/ui/controls/SfPixmapButton.h"

#include <cstdint>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "framework/ui/controls/SfPixmapButtonMultiState.h"
#include "framework/ui/host/XfUiTheme.h"
#include "platform/resource/XpResourceModule.h"
#include "platform/screen/XpMemorySurface.h"

namespace {

constexpr uint32_t kStrip = 200;
constexpr uint32_t kBlendedStrip = 201;
constexpr uint32_t kStatesStrip = 202;
constexpr uint32_t kOddStrip = 203;
constexpr uint32_t kControlId = 1012;
constexpr XfColour kSurfaceColour = XfRgb(9, 9, 9);

// The colour of slice i of the test strips.
XfColour SliceColour(int32_t i) {
  return XfRgb(static_cast<uint8_t>(20 + 10 * i), static_cast<uint8_t>(100 + i), 7);
}

// A bottom-up bitmap file of 24 or 32 bits; pixel (x, y) counted from the
// top is colour(x, y) with alpha alpha(x, y).
template <typename Colour, typename Alpha>
std::vector<uint8_t> BitmapFile(int32_t width, int32_t height, int32_t bits, Colour colour,
                                Alpha alpha) {
  const size_t bytesPerPixel = static_cast<size_t>(bits / 8);
  const size_t stride = (static_cast<size_t>(width) * bytesPerPixel + 3) / 4 * 4;
  const size_t offset = 54;
  std::vector<uint8_t> bytes(offset + stride * static_cast<size_t>(height));
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(10, static_cast<uint32_t>(offset));
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  bytes[26] = 1;
  bytes[28] = static_cast<uint8_t>(bits);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = bytes.data() + offset + static_cast<size_t>(height - 1 - y) * stride;
    for (int32_t x = 0; x < width; ++x) {
      const XfColour c = colour(x, y);
      uint8_t* pixel = row + static_cast<size_t>(x) * bytesPerPixel;
      pixel[0] = static_cast<uint8_t>(c >> 16);
      pixel[1] = static_cast<uint8_t>(c >> 8);
      pixel[2] = static_cast<uint8_t>(c);
      if (bits == 32) pixel[3] = alpha(x, y);
    }
  }
  return bytes;
}

// A strip of slices rows each, slice i in SliceColour(i).
std::vector<uint8_t> Strip(int32_t width, int32_t height, int32_t sliceRows) {
  return BitmapFile(
      width, height, 24, [=](int32_t, int32_t y) { return SliceColour(y / sliceRows); },
      [](int32_t, int32_t) { return uint8_t{255}; });
}

class ButtonFixture : public ::testing::Test {
 protected:
  ButtonFixture() {
    resources_.AddBitmap(kStrip, Strip(6, 40, 10));
    // Four 5 x 5 slices, opaque except for transparent corners.
    resources_.AddBitmap(kBlendedStrip,
                         BitmapFile(
                             5, 20, 32, [](int32_t, int32_t y) { return SliceColour(y / 5); },
                             [](int32_t x, int32_t y) {
                               const bool corner = (x == 0 || x == 4) && (y % 5 == 0 || y % 5 == 4);
                               return uint8_t{corner ? uint8_t{0} : uint8_t{255}};
                             }));
    resources_.AddBitmap(kStatesStrip, Strip(3, 24, 2));
    // 42 rows: slices of 10, the last two rows unused.
    resources_.AddBitmap(kOddStrip, BitmapFile(
                                        4, 42,
                                        24, [](int32_t, int32_t y) { return y < 40 ? SliceColour(y / 10) : XfRgb(1, 1, 1); },
                                        [](int32_t, int32_t) { return uint8_t{255}; }));
    resources_.AddBitmap(11, Strip(2, 3, 3));
    resources_.AddBitmap(13, Strip(4, 1, 1));
    resources_.AddString(kControlId, u"Transfer");
    resources_.AddString(7, u"Seven");
  }

  // Paints button onto a fresh surface and answers the colour at (x, y).
  static XfColour PaintedAt(::SfPixmapButton& button, int32_t x, int32_t y) {
    XpMemorySurface surface;
    EXPECT_EQ(surface.Create(10, 12), kXpOk);
    surface.FillRect({0, 0, 10, 12}, kSurfaceColour);
    button.Paint(surface);
    return surface.GetPixel(x, y);
  }

  XfUiTheme theme_;
  XpResourceModule resources_;
};
using SfPixmapButton = ButtonFixture;

// Every pixel of picture is colour.
bool IsFilled(const XpPixmapBase& picture, XfColour colour) {
  for (int32_t y = 0; y < picture.height; ++y) {
    const uint8_t* pixel = picture.GetPlane(0)->Row(y);
    for (int32_t x = 0; x < picture.width; ++x, pixel += 3) {
      if (XfRgb(pixel[2], pixel[1], pixel[0]) != colour) return false;
    }
  }
  return picture.IsAllocated();
}

TEST_F(SfPixmapButton, OneStripGivesFourQuarterPicturesAndAsksForOne) {
  ::SfPixmapButton button(theme_, &resources_, kControlId);
  button.SetBitmap(kStrip);
  // Loaded before it is attached: the load waits.
  button.LoadImages();
  EXPECT_EQ(button.RequestedSize(), (XfUiSize{0, 0}));
  EXPECT_FALSE(button.Picture(kSfPictureNormal).IsAllocated());
  button.Attach();
  EXPECT_EQ(button.RequestedSize(), (XfUiSize{6, 10}));
  for (int32_t i = 0; i < kSfPicturesPerState; ++i) {
    EXPECT_EQ(button.Picture(i).width, 6) << i;
    EXPECT_EQ(button.Picture(i).height, 10) << i;
    EXPECT_TRUE(IsFilled(button.Picture(i), SliceColour(i))) << i;
  }
  // The picture is painted at (0, 0) in its own size.
  EXPECT_EQ(PaintedAt(button, 5, 9), SliceColour(kSfPictureNormal));
  EXPECT_EQ(PaintedAt(button, 6, 0), kSurfaceColour);
  EXPECT_EQ(PaintedAt(button, 0, 10), kSurfaceColour);

  // Rows beyond four slices are unused.
  button.SetBitmap(kOddStrip);
  button.LoadImages();
  EXPECT_EQ(button.RequestedSize(), (XfUiSize{4, 10}));
  EXPECT_TRUE(IsFilled(button.Picture(kSfPictureHovered), SliceColour(3)));
}

TEST_F(SfPixmapButton, TransparentCornersShowTheBackground) {
  ::SfPixmapButton button(theme_, &resources_, kControlId);
  button.SetBitmap(kBlendedStrip);
  button.Attach();
  button.LoadImages();
  EXPECT_EQ(PaintedAt(button, 0, 0), theme_.GetSysColor(kXfColourButtonFace));
  EXPECT_EQ(PaintedAt(button, 4, 4), theme_.GetSysColor(kXfColourButtonFace));
  EXPECT_EQ(PaintedAt(button, 2, 2), SliceColour(0));
  EXPECT_FALSE(button.NeedsRepaint());

  // The theme's button face changes: the button needs a repaint and its
  // corners follow.
  const XfColour face = XfRgb(12, 34, 56);
  theme_.SetSysColor(kXfColourButtonFace, face);
  EXPECT_TRUE(button.NeedsRepaint());
  EXPECT_EQ(PaintedAt(button, 4, 0), face);
  EXPECT_EQ(PaintedAt(button, 1, 0), SliceColour(0));

  // With a background of its own the button ignores the theme.
  const XfColour own = XfRgb(200, 0, 100);
  button.SetBackgroundColour(own);
  EXPECT_EQ(PaintedAt(button, 0, 4), own);
  theme_.SetSysColor(kXfColourButtonFace, XfRgb(1, 2, 3));
  EXPECT_FALSE(button.NeedsRepaint());
  EXPECT_EQ(PaintedAt(button, 0, 4), own);
}

TEST_F(SfPixmapButton, PictureChoice) {
  ::SfPixmapButton button(theme_, &resources_, kControlId);
  button.SetBitmap(kStrip);
  button.Attach();
  button.LoadImages();
  EXPECT_EQ(PaintedAt(button, 0, 0), SliceColour(kSfPictureNormal));

  button.MouseMove(true);
  EXPECT_TRUE(button.NeedsRepaint());
  EXPECT_EQ(PaintedAt(button, 0, 0), SliceColour(kSfPictureHovered));
  // Still inside: no change, no repaint.
  button.MouseMove(true);
  EXPECT_FALSE(button.NeedsRepaint());

  button.SetPushedOverride(true);
  EXPECT_EQ(PaintedAt(button, 0, 0), SliceColour(kSfPicturePushed));
  button.SetPushedOverride(false);
  button.SetPushed(true);
  EXPECT_EQ(PaintedAt(button, 0, 0), SliceColour(kSfPicturePushed));

  // Disabled wins over pushed and hover.
  button.Enable(false);
  EXPECT_EQ(button.PictureToPaint(), kSfPictureDisabled);
  EXPECT_EQ(PaintedAt(button, 0, 0), SliceColour(kSfPictureDisabled));

  button.Enable(true);
  button.SetPushed(false);
  button.MouseLeave();
  EXPECT_TRUE(button.NeedsRepaint());
  EXPECT_EQ(PaintedAt(button, 0, 0), SliceColour(kSfPictureNormal));
  button.MouseMove(true);
  button.MouseMove(false);
  EXPECT_EQ(button.PictureToPaint(), kSfPictureNormal);
}

TEST_F(SfPixmapButton, OneBitmapPerPictureAtItsOwnSize) {
  ::SfPixmapButton button(theme_, &resources_, kControlId);
  // Pushed is missing, disabled is 0.
  button.SetBitmaps(11, 99, 0, 13);
  button.Attach();
  button.LoadImages();
  EXPECT_EQ(button.RequestedSize(), (XfUiSize{2, 3}));
  EXPECT_TRUE(IsFilled(button.Picture(kSfPictureNormal), SliceColour(0)));
  EXPECT_FALSE(button.Picture(kSfPicturePushed).IsAllocated());
  EXPECT_FALSE(button.Picture(kSfPictureDisabled).IsAllocated());
  EXPECT_EQ(button.Picture(kSfPictureHovered).width, 4);
  EXPECT_EQ(button.Picture(kSfPictureHovered).height, 1);
  // An empty picture paints nothing.
  button.Enable(false);
  EXPECT_EQ(PaintedAt(button, 0, 0), kSurfaceColour);
  EXPECT_FALSE(button.NeedsRepaint());
}

TEST_F(SfPixmapButton, MultiStateCyclesOnClicksAndTakesStateChecks) {
  SfPixmapButtonMultiState button(theme_, &resources_, kControlId, 3);
  button.SetBitmap(kStatesStrip);
  button.Attach();
  button.LoadImages();
  // Twelve 2-row slices; state s paints slice 4s.
  EXPECT_EQ(button.RequestedSize(), (XfUiSize{3, 2}));
  std::vector<int32_t> states{button.GetState()};
  std::vector<XfColour> painted{PaintedAt(button, 0, 0)};
  for (int i = 0; i < 3; ++i) {
    button.Click();
    EXPECT_TRUE(button.NeedsRepaint());
    states.push_back(button.GetState());
    painted.push_back(PaintedAt(button, 0, 0));
  }
  EXPECT_EQ(states, (std::vector<int32_t>{0, 1, 2, 0}));
  EXPECT_EQ(painted, (std::vector<XfColour>{SliceColour(0), SliceColour(4), SliceColour(8),
                                            SliceColour(0)}));
  // The states' own pictures: state 2 hovered is slice 11.
  button.SetState(2);
  button.MouseMove(true);
  EXPECT_EQ(PaintedAt(button, 0, 0), SliceColour(11));
  button.MouseLeave();
  button.SetState(0);

  button.SetCheck(3);
  EXPECT_EQ(button.GetState(), 0);
  PaintedAt(button, 0, 0);
  button.SetCheck(1);
  EXPECT_EQ(button.GetState(), 1);
  EXPECT_EQ(button.GetCheck(), 1);
  EXPECT_TRUE(button.NeedsRepaint());
  EXPECT_EQ(PaintedAt(button, 0, 0), SliceColour(4));

  // Setting the state it has is no change.
  button.SetState(1);
  button.SetStateOn(true);
  EXPECT_FALSE(button.NeedsRepaint());
  button.SetStateOn(false);
  EXPECT_EQ(button.GetState(), 0);
  EXPECT_TRUE(button.NeedsRepaint());
  // One bitmap per picture does not apply.
  button.SetBitmaps(11, 11, 11, 11);
  EXPECT_EQ(PaintedAt(button, 0, 0), SliceColour(0));
}

TEST_F(SfPixmapButton, PlainCheckRepaintsOnlyWhenItChanges) {
  ::SfPixmapButton button(theme_, &resources_, kControlId);
  int clicks = 0;
  button.SetClickHandler([&] { ++clicks; });
  button.SetCheck(1);
  EXPECT_TRUE(button.NeedsRepaint());
  PaintedAt(button, 0, 0);
  button.SetCheck(1);
  EXPECT_FALSE(button.NeedsRepaint());
  button.Click();
  EXPECT_EQ(clicks, 1);
}

TEST_F(SfPixmapButton, TooltipComesFromTheTextOrTheBundle) {
  ::SfPixmapButton button(theme_, &resources_, kControlId);
  EXPECT_EQ(button.TooltipText(), std::optional<XpString>(u"Transfer"));
  button.SetTooltipId(7);
  EXPECT_EQ(button.TooltipText(), std::optional<XpString>(u"Seven"));
  button.SetTooltipText(u"Hi");
  EXPECT_EQ(button.TooltipText(), std::optional<XpString>(u"Hi"));

  ::SfPixmapButton anonymous(theme_, &resources_, 0);
  EXPECT_EQ(anonymous.TooltipText(), std::nullopt);
  // An id the bundle lacks gives an empty text.
  ::SfPixmapButton unknown(theme_, &resources_, 4242);
  EXPECT_EQ(unknown.TooltipText(), std::optional<XpString>(XpString()));
}

}  // namespace
