#include "accessor/resize/ResizeEngine.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "accessor/resize/ResizeRegionView.h"
#include "imaging/geometry/XpFitSize.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/resample/XpPixmapCrop.h"
#include "imaging/resample/XpPixmapResize.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"

namespace {

// Raised by the checks once the engine is cancelled; Convert catches it.
struct ResizeCancelled {};

constexpr int32_t kScaleDenominators[] = {8, 4, 2};
constexpr int32_t kWideRatioWidth = 16;
constexpr int32_t kWideRatioHeight = 9;

// A failed resize or cut ends the conversion: out of memory stays so,
// anything else is a generic failure.
[[nodiscard]] XpResult ReshapeFailure(XpResult result) {
  return result == kXpErrOutOfMemory ? kXpErrOutOfMemory : kXpErrGeneric;
}

// The span [offset, offset + length) of a covering side mapped into a
// decoded side, truncated, at least one pixel and inside the decode.
std::pair<int32_t, int32_t> MapSpan(int64_t offset, int64_t length, int64_t covering,
                                    int64_t decoded) {
  int64_t start = offset * decoded / covering;
  int64_t end = (offset + length) * decoded / covering;
  start = std::clamp<int64_t>(start, 0, decoded - 1);
  end = std::clamp<int64_t>(end, start + 1, decoded);
  return {static_cast<int32_t>(start), static_cast<int32_t>(end)};
}

}  // namespace

ResizeEngine::ResizeEngine(const XpString& name, ReaderFactory readerFactory)
    : name_(name), readerFactory_(std::move(readerFactory)) {}

ResizeEngine::ReaderFactory ResizeEngine::DefaultReaderFactory() {
  return [](const XpString& path) { return XpImageIo::CreateForPath(path); };
}

XpResult ResizeEngine::SetQuality(uint32_t quality) {
  if (quality > kMaxQuality) {
    return kXpErrGeneric;
  }
  quality_ = quality;
  return kXpOk;
}

void ResizeEngine::SetSizeMode(int32_t mode) {
  sizeMode_ = mode;
  if (mode == kSizeModeSmall) {
    width_ = kSmallWidth;
    height_ = kSmallHeight;
  } else if (mode == kSizeModeLarge) {
    width_ = kLargeWidth;
    height_ = kLargeHeight;
  }
}

void ResizeEngine::Cancel() {
  std::lock_guard<XpCriticalSection> guard(lock_);
  cancelled_.store(true, std::memory_order_release);
}

XpSize ResizeEngine::TargetFor(const XpSize& source, const XpSize& configured, bool cutting) {
  const bool large = configured.cx == kLargeWidth && configured.cy == kLargeHeight;
  const bool wide = int64_t{kWideRatioHeight} * source.cx == int64_t{kWideRatioWidth} * source.cy;
  if (large && !cutting && !wide) {
    return XpSize(kLargeFitWidth, kLargeFitHeight);
  }
  return configured;
}

XpSize ResizeEngine::OutputSizeFor(const XpSize& source, const XpSize& target) {
  int32_t width = 0;
  int32_t height = 0;
  XpFitSizeInside(source.cx, source.cy, target.cx, target.cy, width, height);
  return XpSize(std::max(width, 1), std::max(height, 1));
}

int32_t ResizeEngine::ChooseScaleDenominator(const XpSize& source, const XpSize& output) {
  if (output.cx < 1 || output.cy < 1) {
    return 1;
  }
  const int32_t ratio = std::max(source.cx / output.cx, source.cy / output.cy);
  for (const int32_t denominator : kScaleDenominators) {
    if (ratio >= denominator) {
      return denominator;
    }
  }
  return 1;
}

XpRect ResizeEngine::CutRegionFor(const XpSize& source, const XpSize& target,
                                  const XpSize& decoded) {
  const XpRect whole(0, 0, decoded.cx, decoded.cy);
  int32_t coverWidth = 0;
  int32_t coverHeight = 0;
  XpFitSizeCovering(source.cx, source.cy, target.cx, target.cy, coverWidth, coverHeight);
  if (coverWidth < 1 || coverHeight < 1 || decoded.cx < 1 || decoded.cy < 1) {
    return whole;
  }
  const int64_t offsetX = std::max(0, (coverWidth - target.cx) / 2);
  const int64_t offsetY = std::max(0, (coverHeight - target.cy) / 2);
  const auto [left, right] = MapSpan(offsetX, target.cx, coverWidth, decoded.cx);
  const auto [top, bottom] = MapSpan(offsetY, target.cy, coverHeight, decoded.cy);
  return XpRect(left, top, right, bottom);
}

void ResizeEngine::Check() const {
  if (IsCancelled()) {
    throw ResizeCancelled();
  }
}

XpResult ResizeEngine::ReshapeInPlace(XpPixmapBase& pixmap, const XpRect& region,
                                      const XpSize& size) {
  if (region != XpRect(0, 0, pixmap.width, pixmap.height)) {
    const XpResult result = XpPixmapCrop(pixmap, region);
    if (result != kXpOk) {
      return ReshapeFailure(result);
    }
  }
  const XpResult result = XpPixmapResize(pixmap, size.cx, size.cy);
  return result == kXpOk ? kXpOk : ReshapeFailure(result);
}

XpResult ResizeEngine::Reshape(std::unique_ptr<XpPixmapBase>& pixmap, const XpSize& source,
                               const XpSize& target, const XpSize& output, bool cutting) {
  // Cut first, then scale: the covering size of a very long picture can be
  // far too large to hold.
  const XpRect region = cutting ? CutRegionFor(source, target, XpSize(pixmap->width, pixmap->height))
                                : XpRect(0, 0, pixmap->width, pixmap->height);
  const XpSize size = cutting ? target : output;
  const bool scaled = region.Width() != size.cx || region.Height() != size.cy;
  if (!scaled || dynamic_cast<XpPixmapBGR24NoHandle*>(pixmap.get()) == nullptr) {
    return ReshapeInPlace(*pixmap, region, size);
  }
  std::unique_ptr<XpPixmapBGR24NoHandle> resized(new (std::nothrow) XpPixmapBGR24NoHandle());
  if (!resized) {
    return kXpErrOutOfMemory;
  }
  XpResult result = resized->Allocate(size.cx, size.cy);
  if (result == kXpOk) {
    const ResizeRegionView kept(*pixmap, region);
    result = XpPixmapResizeInto(*resized, kept);
  }
  if (result != kXpOk) {
    return ReshapeFailure(result);
  }
  pixmap = std::move(resized);
  return kXpOk;
}

XpResult ResizeEngine::ConvertChecked(const XpString& source, const XpString& destination,
                                      XpSharedPtr<XpTiffTagManager>& tags) {
  XpSharedPtr<XpImageIo> reader =
      readerFactory_ ? readerFactory_(source) : XpSharedPtr<XpImageIo>();
  if (!reader) {
    return kXpErrBadArgument;
  }
  XpSize sourceSize;
  XpResult result = reader->ReadImageSizeFlag1FromPath(source, &sourceSize);
  if (result != kXpOk) {
    return result;
  }
  const XpSize target = TargetFor(sourceSize, GetSize(), cutting_);
  const XpSize output = OutputSizeFor(sourceSize, target);
  Check();

  const int32_t scale = ChooseScaleDenominator(sourceSize, output);
  std::unique_ptr<XpPixmapBase> pixmap(
      reader->ReadPixmapFromPath(source, scale, nullptr, true, false));
  if (!pixmap) {
    return kXpErrImageBadRegion;
  }
  Check();

  result = Reshape(pixmap, sourceSize, target, output, cutting_);
  if (result != kXpOk) {
    return result;
  }
  Check();

  XpImageIoJpeg writer(static_cast<int32_t>(quality_), name_);
  // The output is a scratch file: whoever copies it on makes the copy
  // durable.
  writer.SetSyncOnWrite(false);
  Check();

  const XpString folder = XpPathGetDirectory(destination);
  if (!folder.IsEmpty() && !XpDirectoryExists(folder)) {
    // A folder that cannot be made fails the write below.
    static_cast<void>(XpCreateDirectoryTree(folder));
  }
  return writer.WriteToPath(pixmap.get(), tags, destination, nullptr, XpRect(), false, false);
}

XpResult ResizeEngine::Convert(const XpString& source, const XpString& destination,
                               XpSharedPtr<XpTiffTagManager> tags) {
  XpResult result = kXpErrGeneric;
  try {
    result = ConvertChecked(source, destination, tags);
  } catch (const ResizeCancelled&) {
    result = kXpErrCancelled;
  } catch (...) {
    result = IsCancelled() ? kXpErrCancelled : kXpErrGeneric;
  }
  tags.Reset();
  return result;
}
