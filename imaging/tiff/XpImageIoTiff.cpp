#include "imaging/tiff/XpImageIoTiff.h"

#include <algorithm>
#include <new>

#include "imaging/icc/icc_profile.h"
#include "imaging/io/XpImageIoTags.h"
#include "imaging/io/XpPixmapAdobeRGBToSRGB.h"
#include "imaging/resample/XpPixmapResize.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tiff/TiffLibrary.h"
#include "platform/memory/XpMemoryFile.h"

namespace {

constexpr uint16_t kColorSpaceUncalibrated = 0xFFFF;
constexpr uint16_t kFirstTurnedOrientation = 5;
constexpr uint16_t kLastTurnedOrientation = 8;
// libtiff's oriented read already shows these upright (see
// RequestedOrientation); every other orientation comes as stored.
constexpr uint16_t kUprightFromLibTiffHalfTurn = 3;
constexpr uint16_t kUprightFromLibTiffFlipped = 4;
constexpr int32_t kMaxDivisor = 32;

bool ComesAsStored(uint16_t orientation) {
  return orientation != kUprightFromLibTiffHalfTurn && orientation != kUprightFromLibTiffFlipped;
}

bool IsDivisor(int32_t divisor) {
  return divisor >= 1 && divisor <= kMaxDivisor && (divisor & (divisor - 1)) == 0;
}

}  // namespace

XpImageIoTiff::XpImageIoTiff() : library_(&TiffLibrary::Default()) {}

XpImageIoTiff::XpImageIoTiff(const TiffLibrary* library) : library_(library) {}

XpImageIoTiff::~XpImageIoTiff() = default;

XpResult XpImageIoTiff::LocateTiffBlock(XpAbstractFile& file, int64_t offset) {
  XpResult result = file.Seek(offset, kXpSeekBegin);
  if (XpFailed(result)) {
    return result;
  }
  char mark[2] = {};
  result = file.Read(mark, sizeof(mark), nullptr);
  if (XpFailed(result)) {
    return result;
  }
  const bool intel = mark[0] == 'I' && mark[1] == 'I';
  const bool motorola = mark[0] == 'M' && mark[1] == 'M';
  if (!intel && !motorola) {
    return kXpErrImageNoTiffBlock;
  }
  return file.Seek(offset, kXpSeekBegin);
}

XpResult XpImageIoTiff::ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                      bool keepStoredOrientation) {
  XpSharedPtr<XpTiffTagManager> tags = ReadTags(file, offset);
  if (!tags) {
    return SetLastError(kXpErrImageNoTiffBlock);
  }
  const XpTiffTagIFD* ifd0 = tags->GetIFD(0);
  if (ifd0 == nullptr) {
    return SetLastError(kXpErrImageTagNotFound);
  }
  uint32_t width = 0;
  uint32_t height = 0;
  XpResult result = XpImageIoGetShortOrLongTag(ifd0, kTagImageWidth, &width, false);
  if (XpSucceeded(result)) {
    result = XpImageIoGetShortOrLongTag(ifd0, kTagImageLength, &height, false);
  }
  if (XpFailed(SetLastError(result))) {
    return result;
  }
  const uint16_t orientation = ifd0->GetShort(kTagOrientation);
  if (!keepStoredOrientation && orientation >= kFirstTurnedOrientation &&
      orientation <= kLastTurnedOrientation) {
    std::swap(width, height);
  }
  if (size != nullptr) {
    *size = XpSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
  }
  return SetLastError(kXpOk);
}

XpPixmapBase* XpImageIoTiff::ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                                        IXpImageProgress* observer, bool convertToSRGB,
                                        bool applyOrientation) {
  XpSharedPtr<XpTiffTagManager> tags = ReadTags(file, offset);
  const XpTiffTagIFD* ifd0 = tags ? tags->GetIFD(0) : nullptr;
  const uint16_t orientation = ifd0 != nullptr ? ifd0->GetShort(kTagOrientation) : 0;
  const bool uncalibrated =
      ifd0 != nullptr && ifd0->GetShort(kTagColorSpace, true) == kColorSpaceUncalibrated;
  if (XpFailed(SetLastError(file.Seek(offset, kXpSeekBegin)))) {
    return nullptr;
  }
  if (!IsDivisor(scale)) {
    SetLastError(kXpErrImageBadRegion);
    return nullptr;
  }
  XpPixmapBase* pixmap = ReadPixmapLibTiff(file, scale, observer);
  if (pixmap == nullptr) {
    return nullptr;
  }
  if (scale > 1 &&
      XpFailed(SetLastError(XpPixmapResize(*pixmap, std::max(pixmap->width / scale, 1),
                                           std::max(pixmap->height, 1))))) {
    delete pixmap;
    return nullptr;
  }
  if (convertToSRGB && uncalibrated && XpFailed(SetLastError(XpPixmapAdobeRGBToSRGB(*pixmap)))) {
    delete pixmap;
    return nullptr;
  }
  if (applyOrientation && ComesAsStored(orientation)) {
    return ApplyExifOrientation(pixmap, orientation);
  }
  return pixmap;
}

XpPixmapBase* XpImageIoTiff::ReadOrientedPixmap(XpAbstractFile& file, int64_t /*offset*/) {
  XpPixmapBase* preview = ReadPreviewPixmap(file);
  if (preview == nullptr) {
    SetLastError(kXpErrImageNotSupported);
  }
  return preview;
}

XpPixmapBase* XpImageIoTiff::ReadPreviewPixmap(XpAbstractFile& /*file*/) { return nullptr; }

XpSharedPtr<icc_profile> XpImageIoTiff::ReadIccProfile(XpAbstractFile& file, int64_t offset) {
  XpSharedPtr<XpTiffTagManager> tags = ReadTags(file, offset);
  if (!tags) {
    SetLastError(kXpErrImageNoTiffBlock);
    return XpSharedPtr<icc_profile>();
  }
  const XpTiffTagIFD* ifd0 = tags->GetIFD(0);
  const XpTiffTagDataBase* embedded =
      ifd0 != nullptr ? ifd0->FindTag(kTagInterColorProfile, false) : nullptr;
  if (embedded == nullptr) {
    SetLastError(kXpErrImageTagNotFound);
    return XpSharedPtr<icc_profile>();
  }
  auto* profile = new (std::nothrow) icc_profile();
  if (profile == nullptr) {
    SetLastError(kXpErrOutOfMemory);
    return XpSharedPtr<icc_profile>();
  }
  XpMemoryFile bytes;
  XpResult result = bytes.Open(kXpOpenReadWrite);
  if (XpSucceeded(result)) {
    result = bytes.Write(embedded->GetData(), embedded->GetByteSize(), nullptr);
  }
  if (XpSucceeded(result)) {
    result = bytes.Seek(0, kXpSeekBegin);
  }
  if (XpSucceeded(result)) {
    result = profile->Read(bytes);
  }
  if (XpFailed(SetLastError(result))) {
    delete profile;
    return XpSharedPtr<icc_profile>();
  }
  XpSharedPtr<icc_profile> shared(profile);
  SetLastError(shared ? kXpOk : kXpErrOutOfMemory);
  return shared;
}
