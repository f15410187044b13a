#include "framework/ui/controls/SfPixmapButton.h"

#include <new>
#include <utility>

#include "imaging/bitmap/XpPixmapLoadBitmap.h"
#include "framework/ui/controls/SfDrawBitmapOnFace.h"

namespace {


// Gives picture the rows top to top + height of bitmap: copied from a
// 24-bit bitmap, blended over background from a 32-bit one. A picture that
// cannot be allocated (a slice of no rows) stays empty.
void Compose(XpPixmapBGR24& picture, const XpPixmapBase& bitmap, int32_t top, int32_t height,
             XfColour background) {
  if (XpFailed(picture.Allocate(bitmap.width, height))) {
    return;
  }
  SfDrawBitmapOnFace(picture, bitmap, top, background);
}

const XpPixmapBGR24& EmptyPicture() {
  static const XpPixmapBGR24 empty;
  return empty;
}

}  // namespace

SfPixmapButton::SfPixmapButton(XfUiTheme& theme, const XpResourceModule* resources,
                               uint32_t controlId)
    : SfPixmapButton(theme, resources, controlId, 1) {}

SfPixmapButton::SfPixmapButton(XfUiTheme& theme, const XpResourceModule* resources,
                               uint32_t controlId, int32_t stateCount)
    : theme_(theme),
      resources_(resources),
      controlId_(controlId),
      stateCount_(stateCount < 1 ? 1 : stateCount),
      pictures_(new (std::nothrow) XpPixmapBGR24[static_cast<size_t>(stateCount_) * kSfPicturesPerState]) {
  if (!pictures_) {
    stateCount_ = 0;
  }
  themeToken_ = theme_.Subscribe([this] { OnColoursChanged(); });
}

SfPixmapButton::~SfPixmapButton() { theme_.Unsubscribe(themeToken_); }

void SfPixmapButton::SetBitmap(uint32_t id) {
  bitmapId_ = id;
  MarkDirty();
}

void SfPixmapButton::SetBitmaps(uint32_t normal, uint32_t pushed, uint32_t disabled,
                                uint32_t hovered) {
  bitmapId_ = 0;
  bitmapIds_[kSfPictureNormal] = normal;
  bitmapIds_[kSfPicturePushed] = pushed;
  bitmapIds_[kSfPictureDisabled] = disabled;
  bitmapIds_[kSfPictureHovered] = hovered;
  MarkDirty();
}

void SfPixmapButton::SetBackgroundColour(XfColour colour) {
  background_ = colour;
  MarkDirty();
}

void SfPixmapButton::MarkDirty() { imagesDirty_ = true; }

void SfPixmapButton::LoadImages() {
  if (!attached_) {
    deferredLoad_ = true;
    return;
  }
  BuildImages();
  const XpPixmapBGR24& normal = Picture(kSfPictureNormal);
  if (normal.IsAllocated()) {
    requestedSize_ = XfUiSize{normal.width, normal.height};
  }
}

void SfPixmapButton::Attach() {
  attached_ = true;
  if (deferredLoad_) {
    LoadImages();
    deferredLoad_ = false;
  }
}

std::optional<XpString> SfPixmapButton::TooltipText() const {
  if (!tooltipText_.IsEmpty()) {
    return tooltipText_;
  }
  const uint32_t id = tooltipId_ != 0 ? tooltipId_ : controlId_;
  if (id == 0) {
    return std::nullopt;
  }
  return resources_ != nullptr ? resources_->LoadString(id) : XpString();
}

void SfPixmapButton::MouseMove(bool inside) {
  if (inside == hover_) {
    return;
  }
  hover_ = inside;
  Invalidate();
}

void SfPixmapButton::MouseLeave() {
  hover_ = false;
  Invalidate();
}

void SfPixmapButton::Enable(bool on) {
  enabled_ = on;
  Invalidate();
}

void SfPixmapButton::SetPushed(bool on) {
  pushed_ = on;
  Invalidate();
}

void SfPixmapButton::SetPushedOverride(bool on) {
  pushedOverride_ = on;
  Invalidate();
}

void SfPixmapButton::SetCheck(int32_t value) {
  if (value == check_) {
    return;
  }
  check_ = value;
  Invalidate();
}

void SfPixmapButton::Click() {
  if (clickHandler_) {
    clickHandler_();
  }
}

int32_t SfPixmapButton::PictureToPaint() const {
  if (!enabled_) {
    return kSfPictureDisabled;
  }
  if (pushedOverride_ || pushed_) {
    return kSfPicturePushed;
  }
  return hover_ ? kSfPictureHovered : kSfPictureNormal;
}

const XpPixmapBGR24& SfPixmapButton::Picture(int32_t index) const {
  const int32_t state = CurrentState();
  if (index < 0 || index >= kSfPicturesPerState || state < 0 || state >= stateCount_) {
    return EmptyPicture();
  }
  return pictures_[static_cast<size_t>(state * kSfPicturesPerState + index)];
}

void SfPixmapButton::Paint(IXpDrawSurface& surface) {
  BuildImages();
  const XpPixmapBGR24& picture = Picture(PictureToPaint());
  if (picture.IsAllocated()) {
    const XpPlaneBase& plane = *picture.GetPlane(0);
    surface.BlitBGR(0, 0, picture.width, picture.height, plane.pixels, plane.stride);
  }
  needsRepaint_ = false;
}

XfColour SfPixmapButton::BackgroundColour() const {
  return background_ == kSfSystemBackground ? theme_.GetSysColor(kXfColourButtonFace) : background_;
}

void SfPixmapButton::OnColoursChanged() {
  if (background_ != kSfSystemBackground) {
    return;
  }
  MarkDirty();
  Invalidate();
}

void SfPixmapButton::BuildImages() {
  if (!imagesDirty_) {
    return;
  }
  for (int32_t i = 0; i < stateCount_ * kSfPicturesPerState; ++i) {
    pictures_[static_cast<size_t>(i)].Free();
  }
  const XfColour background = BackgroundColour();
  if (bitmapId_ != 0) {
    BuildFromStrip(background);
  } else {
    BuildFromSingles(background);
  }
  imagesDirty_ = false;
}

void SfPixmapButton::BuildFromStrip(XfColour background) {
  if (resources_ == nullptr || stateCount_ < 1) {
    return;
  }
  const std::unique_ptr<XpPixmapBase> strip(XpPixmapLoadBitmapResource(*resources_, bitmapId_));
  if (!strip) {
    return;
  }
  const int32_t slices = stateCount_ * kSfPicturesPerState;
  const int32_t sliceHeight = strip->height / slices;
  for (int32_t i = 0; i < slices; ++i) {
    Compose(pictures_[static_cast<size_t>(i)], *strip, i * sliceHeight, sliceHeight, background);
  }
}

void SfPixmapButton::BuildFromSingles(XfColour background) {
  if (resources_ == nullptr || stateCount_ < 1) {
    return;
  }
  for (int32_t i = 0; i < kSfPicturesPerState; ++i) {
    if (bitmapIds_[i] == 0) {
      continue;
    }
    const std::unique_ptr<XpPixmapBase> bitmap(XpPixmapLoadBitmapResource(*resources_, bitmapIds_[i]));
    if (bitmap) {
      Compose(pictures_[static_cast<size_t>(i)], *bitmap, 0, bitmap->height, background);
    }
  }
}
