#include <algorithm>
#include <memory>
#include <new>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tiff/TiffClientHandle.h"
#include "imaging/tiff/TiffLibrary.h"
#include "imaging/tiff/XpImageIoTiff.h"

namespace {

constexpr uint16_t kOldStyleJpeg = 6;
constexpr uint16_t kDefaultOrientation = 1;
constexpr uint32_t kProgressRowMask = 0xFF;
constexpr int32_t kPercentDone = 100;
constexpr int kMaxChannel = 255;
constexpr int32_t kBytesPerPixel = 3;
constexpr size_t kMessageSize = 1024;
constexpr int kKeepGoingOnError = 0;

// What to ask libtiff for, by stored Orientation 1-8: the raster comes
// bottom-up with the picture as stored, except 3 and 4, which come upright.
int RequestedOrientation(uint16_t orientation) {
  static constexpr int kRequested[] = {ORIENTATION_BOTLEFT, ORIENTATION_BOTRIGHT,
                                       ORIENTATION_BOTLEFT, ORIENTATION_BOTLEFT,
                                       ORIENTATION_BOTLEFT, ORIENTATION_BOTRIGHT,
                                       ORIENTATION_TOPRIGHT, ORIENTATION_TOPLEFT};
  if (orientation < 1 || orientation > 8) {
    return orientation;
  }
  return kRequested[orientation - 1];
}

struct DotRange {
  bool present = false;
  int low = 0;
  int high = 0;

  // Equal ends would divide by zero: such a range maps nothing.
  bool Maps() const { return present && low != high; }

  uint8_t Map(uint8_t value) const {
    const int mapped = ((value - kMaxChannel + low) * kMaxChannel) / (high - low) + kMaxChannel;
    return static_cast<uint8_t>(std::clamp(mapped, 0, kMaxChannel));
  }
};

// The raster libtiff fills, freed through libtiff.
class Raster {
 public:
  Raster(const TiffLibrary& library, uint64_t words)
      : library_(library),
        words_(static_cast<uint32_t*>(
            library.tiffMalloc(static_cast<tmsize_t>(words * sizeof(uint32_t))))) {}
  Raster(const Raster&) = delete;
  Raster& operator=(const Raster&) = delete;
  ~Raster() {
    if (words_ != nullptr) {
      library_.tiffFree(words_);
    }
  }
  uint32_t* Get() const { return words_; }

 private:
  const TiffLibrary& library_;
  uint32_t* words_;
};

// The open client; closing it frees its handle.
class TiffClient {
 public:
  TiffClient(const TiffLibrary& library, XpAbstractFile& file) : library_(library) {
    auto* handle = new (std::nothrow) TiffClientHandle{&file, file.Tell()};
    if (handle == nullptr || handle->blockOffset < 0) {
      delete handle;
      return;
    }
    tiff_ = library.clientOpen("tmp", "r", handle, TiffClientRead, TiffClientWrite,
                               TiffClientSeek, TiffClientClose, TiffClientSize, TiffClientMap,
                               TiffClientUnmap);
    if (tiff_ == nullptr) {
      delete handle;
    }
  }
  TiffClient(const TiffClient&) = delete;
  TiffClient& operator=(const TiffClient&) = delete;
  ~TiffClient() {
    if (tiff_ != nullptr) {
      library_.close(tiff_);
    }
  }
  TIFF* Get() const { return tiff_; }

 private:
  const TiffLibrary& library_;
  TIFF* tiff_ = nullptr;
};

// Raster row r (bottom-up) into a pixmap row as blue, green, red.
void CopyRow(const uint32_t* source, uint32_t width, uint8_t* target, const DotRange& range) {
  for (uint32_t x = 0; x < width; ++x) {
    const uint32_t word = source[x];
    uint8_t* pixel = target + static_cast<size_t>(x) * kBytesPerPixel;
    pixel[0] = static_cast<uint8_t>(TIFFGetB(word));
    pixel[1] = static_cast<uint8_t>(TIFFGetG(word));
    pixel[2] = static_cast<uint8_t>(TIFFGetR(word));
    if (range.Maps()) {
      for (int32_t c = 0; c < kBytesPerPixel; ++c) {
        pixel[c] = range.Map(pixel[c]);
      }
    }
  }
}

bool Cancelled(IXpImageProgress* observer, int32_t percent) {
  return observer != nullptr && observer->OnProgress(percent) != 0;
}

// Copies every divisor-th raster row; kXpErrImageStopped when the observer
// asks to stop.
[[nodiscard]] XpResult CopyRows(const uint32_t* raster, uint32_t width, uint32_t height,
                                uint32_t divisor, XpPixmapBase& pixmap, const DotRange& range,
                                IXpImageProgress* observer) {
  XpPlaneBase* plane = pixmap.GetPlane(0);
  uint64_t rowsDone = 0;
  for (uint32_t r = 0; r < height; r += divisor) {
    if ((r & kProgressRowMask) == 0) {
      const auto percent = static_cast<int32_t>(rowsDone * divisor * kPercentDone / height);
      if (Cancelled(observer, percent)) {
        return kXpErrImageStopped;
      }
    }
    const auto target = static_cast<int32_t>((height - 1 - r) / divisor);
    CopyRow(raster + static_cast<size_t>(r) * width, width, plane->Row(target), range);
    ++rowsDone;
  }
  return Cancelled(observer, kPercentDone) ? kXpErrImageStopped : kXpOk;
}

}  // namespace

XpPixmapBase* XpImageIoTiff::ReadPixmapLibTiff(XpAbstractFile& file, int32_t divisor,
                                               IXpImageProgress* observer) {
  if (library_ == nullptr || !library_->IsLoaded()) {
    SetLastError(kXpErrImaging);
    return nullptr;
  }
  if (divisor < 1) {
    SetLastError(kXpErrImageBadRegion);
    return nullptr;
  }
  const TiffLibrary& library = *library_;
  TiffClient client(library, file);
  if (client.Get() == nullptr) {
    SetLastError(kXpErrImaging);
    return nullptr;
  }
  TIFF* tiff = client.Get();
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t orientation = kDefaultOrientation;
  uint16_t compression = 0;
  uint16_t low = 0;
  uint16_t high = 0;
  library.getField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  library.getField(tiff, TIFFTAG_IMAGELENGTH, &height);
  library.getField(tiff, TIFFTAG_ORIENTATION, &orientation);
  library.getField(tiff, TIFFTAG_COMPRESSION, &compression);
  DotRange range;
  range.present = library.getField(tiff, TIFFTAG_DOTRANGE, &low, &high) != 0;
  range.low = low;
  range.high = high;

  if (width == 0 || height == 0) {
    SetLastError(kXpErrImageMalformed);
    return nullptr;
  }
  const uint64_t pixels = uint64_t{width} * height;
  if (pixels > kMaxTiffPixels) {
    SetLastError(kXpErrOutOfMemory);
    return nullptr;
  }
  char message[kMessageSize] = {};
  if (compression == kOldStyleJpeg || library.rgbaImageOK(tiff, message) == 0) {
    SetLastError(kXpErrImageMalformed);
    return nullptr;
  }
  Raster raster(library, pixels);
  if (raster.Get() == nullptr) {
    SetLastError(kXpErrOutOfMemory);
    return nullptr;
  }
  if (library.readRGBAImageOriented(tiff, width, height, raster.Get(),
                                    RequestedOrientation(orientation), kKeepGoingOnError) == 0) {
    SetLastError(kXpErrImaging);
    return nullptr;
  }
  const auto step = static_cast<uint32_t>(divisor);
  std::unique_ptr<XpPixmapBase> pixmap(new (std::nothrow) XpPixmapBGR24NoHandle());
  if (pixmap == nullptr ||
      XpFailed(pixmap->Allocate(static_cast<int32_t>(width),
                                static_cast<int32_t>((height + step - 1) / step)))) {
    SetLastError(kXpErrOutOfMemory);
    return nullptr;
  }
  if (XpFailed(SetLastError(
          CopyRows(raster.Get(), width, height, step, *pixmap, range, observer)))) {
    return nullptr;
  }
  return pixmap.release();
}
