#include "imaging/resample/XpPixmapResizeLanczos.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/pixelops/XpClampToByte.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/resample/XpPackedPixmap.h"
#include "imaging/resample/XpResampleLines.h"
#include "imaging/resample/XpResampleTable.h"
#include "imaging/resample/XpResamplePasses.h"

namespace {

constexpr int64_t kRounding = 32768;
constexpr int32_t kShift = 16;

bool IsBgr(const XpPixmapBase& pixmap) {
  return XpPackedChannelCount(pixmap) == kXpBgrChannels;
}

// Filters every line of the group through the table. Each target position
// first gathers the addresses of its taps.
void FilterLines(const XpLineGroup& lines, const XpResampleTable& table,
                 const uint8_t** sources) {
  for (int32_t i = 0; i < table.count; ++i) {
    const int32_t* indices = table.Indices(i);
    const int32_t* weights = table.Weights(i);
    for (int32_t j = 0; j < table.taps; ++j) {
      sources[j] = lines.SourceAt(indices[j]);
    }
    uint8_t* out = lines.TargetAt(i);
    for (ptrdiff_t lane = 0; lane < lines.lanes; ++lane) {
      int64_t sum = kRounding;
      for (int32_t j = 0; j < table.taps; ++j) {
        sum += static_cast<int64_t>(weights[j]) * sources[j][lane];
      }
      out[lane] = XpClampToByte(static_cast<int32_t>(sum >> kShift));
    }
  }
}

[[nodiscard]] XpResult LanczosPass(const XpPlaneBase& source, const XpPlaneBase& target,
                                   XpResampleDirection direction) {
  const int32_t s = XpSourceLength(source, direction);
  const int32_t t = XpTargetLength(target, direction);
  if (!XpCrossLengthsAgree(source, target, direction)) {
    return kXpErrGeneric;
  }
  if (s == t) {
    return XpCopyPass(source, target, kXpBgrChannels, direction);
  }
  XpResampleTable table;
  const XpResult result = table.Build(s, t);
  if (XpFailed(result)) {
    return result;
  }
  std::unique_ptr<const uint8_t*[]> sources(new (std::nothrow)
                                                const uint8_t*[static_cast<size_t>(table.taps)]);
  if (!sources) {
    return kXpErrOutOfMemory;
  }
  XpForEachLineGroup(source, target, kXpBgrChannels, direction, [&](const XpLineGroup& lines) {
    FilterLines(lines, table, sources.get());
  });
  return kXpOk;
}

// As the resize's: one pass where one direction keeps its length, else
// through a temporary of the target width and the source height.
[[nodiscard]] XpResult ResizePlane(const XpPlaneBase& source, const XpPlaneBase& target) {
  if (source.width == target.width) {
    return LanczosPass(source, target, XpResampleDirection::kVertical);
  }
  if (source.height == target.height) {
    return LanczosPass(source, target, XpResampleDirection::kHorizontal);
  }
  XpPixmapBGR24NoHandle between;
  XpResult result = between.Allocate(target.width, source.height);
  if (XpFailed(result)) {
    return result;
  }
  result = LanczosPass(source, *between.GetPlane(0), XpResampleDirection::kHorizontal);
  if (XpFailed(result)) {
    return result;
  }
  return LanczosPass(*between.GetPlane(0), target, XpResampleDirection::kVertical);
}

}  // namespace

[[nodiscard]] XpResult XpPixmapResizeLanczos(XpPixmapBase& pixmap, int32_t width, int32_t height) {
  if (!pixmap.IsAllocated() || !IsBgr(pixmap)) {
    return kXpErrGeneric;
  }
  if (width == pixmap.width && height == pixmap.height) {
    return kXpOk;
  }
  if (width < 1 || height < 1) {
    return kXpErrGeneric;
  }
  XpPixmapBGR24NoHandle resized;
  XpResult result = resized.Allocate(width, height);
  if (XpFailed(result)) {
    return result;
  }
  result = ResizePlane(*pixmap.GetPlane(0), *resized.GetPlane(0));
  if (XpFailed(result)) {
    return result;
  }
  return XpReplacePixmapContents(pixmap, resized);
}

[[nodiscard]] XpResult XpPixmapResizeLanczosInto(XpPixmapBase& destination,
                                                 const XpPixmapBase& source) {
  if (!source.IsAllocated() || !IsBgr(source) || !IsBgr(destination)) {
    return kXpErrGeneric;
  }
  if (destination.width == source.width && destination.height == source.height) {
    if (&destination != &source) {
      std::memcpy(destination.block, source.block, destination.blockSize);
    }
    return kXpOk;
  }
  if (destination.width < 1 || destination.height < 1) {
    return kXpErrGeneric;
  }
  return ResizePlane(*source.GetPlane(0), *destination.GetPlane(0));
}
