#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "framework/ui/dialog/XfUiGeometry.h"
#include "framework/ui/host/XfUiTheme.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/resource/XpResourceModule.h"
#include "platform/screen/IXpDrawSurface.h"
#include "platform/text/XpString.h"

// The pictures of a button state, in their order in a bitmap strip.
inline constexpr int32_t kSfPictureNormal = 0;
inline constexpr int32_t kSfPicturePushed = 1;
inline constexpr int32_t kSfPictureDisabled = 2;
inline constexpr int32_t kSfPictureHovered = 3;
inline constexpr int32_t kSfPicturesPerState = 4;

// The background colour that follows the theme's button face.
inline constexpr XfColour kSfSystemBackground = 0xFFFFFFFF;

// A push button that paints one of four pictures taken from bitmaps of a
// resource bundle: normal, pushed, disabled and hovered. A model without a
// window: the back end reports input through the operations below and
// paints the button when NeedsRepaint says so. Pictures from 32-bit
// bitmaps are composed over the background colour; 24-bit ones are copied.
// Used on the UI thread only (theme changes included).
class SfPixmapButton {
 public:
  // resources may be null (no pictures, no tooltip strings); it and theme
  // must outlive the button.
  SfPixmapButton(XfUiTheme& theme, const XpResourceModule* resources, uint32_t controlId);
  SfPixmapButton(const SfPixmapButton&) = delete;
  SfPixmapButton& operator=(const SfPixmapButton&) = delete;
  virtual ~SfPixmapButton();

  // One bitmap holding the four pictures stacked top to bottom, each a
  // quarter of its height (rows left over are unused).
  void SetBitmap(uint32_t id);
  // One bitmap per picture, each at its own size; 0 or a missing bitmap
  // leaves that picture empty.
  virtual void SetBitmaps(uint32_t normal, uint32_t pushed, uint32_t disabled, uint32_t hovered);
  // kSfSystemBackground follows the theme's button face.
  void SetBackgroundColour(XfColour colour);
  // Builds the pictures and asks for the normal picture's size. Before
  // Attach the load waits for it.
  virtual void LoadImages();
  // The button gets its place in a dialog; a waiting load runs now.
  void Attach();
  bool IsAttached() const { return attached_; }

  // The string id (else the control id) is looked up in the bundle while
  // the tooltip text is empty.
  void SetTooltipId(uint32_t id) { tooltipId_ = id; }
  void SetTooltipText(const XpString& text) { tooltipText_ = text; }
  // Nothing when the text is empty and both ids are 0.
  std::optional<XpString> TooltipText() const;

  // Input.
  void MouseMove(bool inside);
  void MouseLeave();
  void Enable(bool on);
  bool IsEnabled() const { return enabled_; }
  // The button's pushed state.
  void SetPushed(bool on);
  // Paints the pushed picture whatever the state.
  void SetPushedOverride(bool on);
  virtual void SetCheck(int32_t value);
  int32_t GetCheck() const { return check_; }
  virtual void Click();
  void SetClickHandler(std::function<void()> handler) { clickHandler_ = std::move(handler); }

  // Output. Paint builds the pictures when needed and copies the chosen one
  // to (0, 0) of surface at its own size; it clears NeedsRepaint.
  void Paint(IXpDrawSurface& surface);
  bool NeedsRepaint() const { return needsRepaint_; }
  // The size the button asks for; 0 x 0 until a load found a normal picture.
  XfUiSize RequestedSize() const { return requestedSize_; }
  // Disabled 2, else pushed 1, else hovered 3, else 0.
  int32_t PictureToPaint() const;
  // Picture index (0-3) of the current state; empty when it has none.
  const XpPixmapBGR24& Picture(int32_t index) const;

 protected:
  SfPixmapButton(XfUiTheme& theme, const XpResourceModule* resources, uint32_t controlId,
                 int32_t stateCount);

  virtual int32_t CurrentState() const { return 0; }
  void Invalidate() { needsRepaint_ = true; }
  void StoreCheck(int32_t value) { check_ = value; }

 private:
  void BuildImages();
  void BuildFromStrip(XfColour background);
  void BuildFromSingles(XfColour background);
  XfColour BackgroundColour() const;
  void OnColoursChanged();
  void MarkDirty();

  XfUiTheme& theme_;
  int32_t themeToken_ = 0;
  const XpResourceModule* resources_;
  uint32_t controlId_;
  int32_t stateCount_;
  std::unique_ptr<XpPixmapBGR24[]> pictures_;

  uint32_t bitmapId_ = 0;
  uint32_t bitmapIds_[kSfPicturesPerState] = {};
  XfColour background_ = kSfSystemBackground;
  bool imagesDirty_ = true;
  bool deferredLoad_ = false;
  bool attached_ = false;
  XfUiSize requestedSize_;

  bool enabled_ = true;
  bool hover_ = false;
  bool pushed_ = false;
  bool pushedOverride_ = false;
  int32_t check_ = -1;
  bool needsRepaint_ = false;

  uint32_t tooltipId_ = 0;
  XpString tooltipText_;
  std::function<void()> clickHandler_;
};
