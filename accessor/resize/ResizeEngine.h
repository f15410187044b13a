#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "imaging/geometry/XpRect.h"
#include "imaging/geometry/XpSize.h"
#include "imaging/io/XpImageIo.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/text/XpString.h"

class XpPixmapBase;
class XpTiffTagManager;

// Turns one picture file into a JPEG of 640 x 480 or 1920 x 1080, fitted
// inside the size or, with cutting, filling it and cut to it. Large
// pictures are decoded at 1/2, 1/4 or 1/8 where that still covers the
// output. The tag tree handed in becomes the new file's Exif data.
//
// Convert runs on a worker thread; Cancel may come from any other. A
// cancelled engine stays cancelled: every later Convert ends at its first
// check with kXpErrCancelled.
class ResizeEngine {
 public:
  // Gives the reader for a path; empty when there is none.
  using ReaderFactory = std::function<XpSharedPtr<XpImageIo>(const XpString&)>;

  static constexpr uint32_t kMaxQuality = 100;
  static constexpr int32_t kSizeModeSmall = 0;
  static constexpr int32_t kSizeModeLarge = 1;
  static constexpr int32_t kSmallWidth = 640;
  static constexpr int32_t kSmallHeight = 480;
  static constexpr int32_t kLargeWidth = 1920;
  static constexpr int32_t kLargeHeight = 1080;
  // The box for a picture that is not exactly 16:9 at the large size
  // without cutting.
  static constexpr int32_t kLargeFitWidth = 2048;
  static constexpr int32_t kLargeFitHeight = 1536;

  explicit ResizeEngine(const XpString& name, ReaderFactory readerFactory = DefaultReaderFactory());
  ResizeEngine(const ResizeEngine&) = delete;
  ResizeEngine& operator=(const ResizeEngine&) = delete;

  // kXpErrGeneric, and nothing stored, above kMaxQuality.
  [[nodiscard]] XpResult SetQuality(uint32_t quality);
  // Mode 0 sets 640 x 480, mode 1 sets 1920 x 1080; any other mode is
  // stored but leaves the size as it is.
  void SetSizeMode(int32_t mode);
  void SetCutting(bool cutting) { cutting_ = cutting; }
  void Cancel();

  uint32_t GetQuality() const { return quality_; }
  int32_t GetSizeMode() const { return sizeMode_; }
  XpSize GetSize() const { return XpSize(width_, height_); }
  bool IsCuttingEnabled() const { return cutting_; }
  bool IsCancelled() const { return cancelled_.load(std::memory_order_acquire); }
  const XpString& GetName() const { return name_; }

  // Converts source into a JPEG at destination carrying tags. Results:
  // kXpErrBadArgument without a reader for the source's extension, the
  // reader's code when the header size cannot be read, kXpErrImageBadRegion
  // when the picture cannot be decoded, kXpErrCancelled once cancelled,
  // kXpErrOutOfMemory or kXpErrGeneric when the resize or the cut fails (no
  // file is written then), kXpErrGeneric for anything else raised, and the
  // writer's code.
  [[nodiscard]] XpResult Convert(const XpString& source, const XpString& destination,
                                 XpSharedPtr<XpTiffTagManager> tags);

  // The box a picture of source size is fitted into or cut to.
  static XpSize TargetFor(const XpSize& source, const XpSize& configured, bool cutting);
  // The size of source fitted inside target, each side at least 1.
  static XpSize OutputSizeFor(const XpSize& source, const XpSize& target);
  // 8, 4, 2 or 1: the largest decoder reduction not above the ratio of the
  // source to the output.
  static int32_t ChooseScaleDenominator(const XpSize& source, const XpSize& output);
  // The part of a picture decoded at decoded size that, scaled to target,
  // fills it: the centred target within the source's covering size, mapped
  // into the decoded pixels. At least one pixel each way.
  static XpRect CutRegionFor(const XpSize& source, const XpSize& target, const XpSize& decoded);

  static ReaderFactory DefaultReaderFactory();

 private:
  // Raises the cancellation signal when the engine was cancelled.
  void Check() const;
  // The decoded pixmap scaled (and cut) to its final size: a BGR 24-bit
  // pixmap is resized straight from the kept part into a new pixmap that
  // replaces it, with no copy of the decode between; any other kind is cut
  // and resized in place.
  [[nodiscard]] static XpResult Reshape(std::unique_ptr<XpPixmapBase>& pixmap, const XpSize& source,
                                        const XpSize& target, const XpSize& output, bool cutting);
  [[nodiscard]] static XpResult ReshapeInPlace(XpPixmapBase& pixmap, const XpRect& region,
                                               const XpSize& size);
  [[nodiscard]] XpResult ConvertChecked(const XpString& source, const XpString& destination,
                                        XpSharedPtr<XpTiffTagManager>& tags);

  uint32_t quality_ = 0;
  int32_t width_ = kSmallWidth;
  int32_t height_ = kSmallHeight;
  int32_t sizeMode_ = kSizeModeSmall;
  XpString name_;
  bool cutting_ = false;
  std::atomic<bool> cancelled_{false};
  XpCriticalSection lock_;
  ReaderFactory readerFactory_;
};
