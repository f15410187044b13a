// The reading half of XpImageIoJpeg.

#include <cstring>
#include <new>

#include "imaging/geometry/XpFitSize.h"
#include "imaging/icc/icc_profile.h"
#include "imaging/io/XpImageIoTags.h"
#include "imaging/io/XpPixmapAdobeRGBToSRGB.h"
#include "imaging/io/XpPixmapOrientation.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegCheckPrologue.h"
#include "imaging/jpeg/XpJpegDecompressor.h"
#include "imaging/jpeg/XpJpegHeadReader.h"
#include "imaging/pixmap/XpReaderPixelLimit.h"
#include "imaging/resample/XpPixmapCrop.h"
#include "imaging/resample/XpPixmapResize.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/memory/XpByteOrder.h"

namespace {

constexpr int kApp1 = JPEG_APP0 + 1;
constexpr int kApp2 = JPEG_APP0 + 2;
constexpr int kApp13 = JPEG_APP0 + 13;
constexpr uint16_t kApp1Marker = 0xFFE1;

// "Exif" and a NUL; the TIFF block starts after one more byte.
constexpr char kExifSignature[] = "Exif";
constexpr size_t kExifSignatureSize = sizeof kExifSignature;
constexpr size_t kExifHeadSize = 6;
// "ICC_PROFILE" and a NUL, then sequence number and count.
constexpr char kIccSignature[] = "ICC_PROFILE";
constexpr size_t kIccSignatureSize = sizeof kIccSignature;
constexpr size_t kIccHeadSize = 14;
// "Photoshop 3.0" and a NUL, then the image resources.
constexpr char kPhotoshopSignature[] = "Photoshop 3.0";
constexpr size_t kPhotoshopSignatureSize = sizeof kPhotoshopSignature;
constexpr char kResourceSignature[] = "8BIM";
constexpr size_t kResourceSignatureSize = 4;
constexpr uint16_t kThumbnailResource = 0x040C;
constexpr uint16_t kThumbnailFormatJpeg = 1;
// The thumbnail resource's JPEG follows a 28-byte head.
constexpr size_t kThumbnailDataOffset = 28;

constexpr int64_t kSoiSize = 2;
constexpr int64_t kLengthSize = 2;

constexpr int32_t kThumbnailIfd = 1;
constexpr uint16_t kFirstSwappingOrientation = 5;
constexpr uint16_t kLastSwappingOrientation = 8;

constexpr int32_t kThumbnailWidth = 160;
constexpr int32_t kThumbnailHeight = 120;

bool IsSupportedScale(int32_t scale) {
  return scale == 1 || scale == 2 || scale == 4 || scale == 8;
}

// The reduced scales, largest first.
constexpr int32_t kReducingScales[] = {8, 4, 2};
constexpr int32_t kFullScale = 1;

// A side reduced by scale as the decoder rounds it: up.
int64_t ReducedSide(int32_t side, int32_t scale) {
  return (int64_t{side} + scale - 1) / scale;
}

// Whether the scaled output the decode allocates is a picture the reader
// decodes at all.
bool OutputFitsPixelLimit(const jpeg_decompress_struct& info) {
  const uint64_t pixels = uint64_t{info.output_width} * uint64_t{info.output_height};
  return pixels <= kXpMaxReaderPixels;
}

// The JPEG of a Photoshop thumbnail resource in an APP13 marker. Every read
// stays inside the marker's data.
bool FindPhotoshopThumbnail(const jpeg_marker_struct& marker, const uint8_t*& bytes, size_t& size) {
  const uint8_t* data = marker.data;
  const size_t length = marker.data_length;
  size_t at = kPhotoshopSignatureSize;
  while (at + kResourceSignatureSize <= length &&
         std::memcmp(data + at, kResourceSignature, kResourceSignatureSize) == 0) {
    at += kResourceSignatureSize;
    // Id and the name's length byte.
    if (length - at < 3) {
      return false;
    }
    const uint16_t id = XpLoadBig16(data + at);
    at += 2;
    // The name with its length byte, padded to an even size.
    const size_t nameBytes = (size_t{data[at]} + 2) & ~size_t{1};
    if (length - at < nameBytes + 4) {
      return false;
    }
    at += nameBytes;
    const uint32_t resourceSize = XpLoadBig32(data + at);
    at += 4;
    if (resourceSize > length - at) {
      return false;
    }
    const uint8_t* resource = data + at;
    if (id == kThumbnailResource && resourceSize >= kThumbnailDataOffset + 2 &&
        XpLoadBig16(resource + 2) == kThumbnailFormatJpeg &&
        resource[kThumbnailDataOffset] == 0xFF && resource[kThumbnailDataOffset + 1] == 0xD8) {
      bytes = resource + kThumbnailDataOffset;
      size = resourceSize - kThumbnailDataOffset;
      return true;
    }
    at += resourceSize + (resourceSize & 1);
  }
  return false;
}

// The IFD 0 orientation of an Exif APP1 marker; 0 when it has none.
uint16_t OrientationOfExifMarker(const jpeg_marker_struct& marker) {
  if (marker.data_length <= kExifHeadSize) {
    return 0;
  }
  XpMemoryFile block(marker.data + kExifHeadSize, marker.data_length - kExifHeadSize, false);
  XpTiffTagManager tags;
  if (XpFailed(block.Open(kXpOpenRead)) ||
      !tags.Parse(block, XpTiffMakerNoteMode::MakerNoteWhenMarked) || tags.GetIFD(0) == nullptr) {
    return 0;
  }
  return tags.GetIFD(0)->GetShort(kTagOrientation);
}

}  // namespace

XpPixmapBase* XpImageIoJpeg::ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                                        IXpImageProgress* observer, bool convertToSRGB,
                                        bool applyOrientation) {
  orientation_ = 0;
  adobeRgbSource_ = false;
  if (!IsSupportedScale(scale)) {
    SetLastError(kXpErrImageBadRegion);
    return nullptr;
  }
  XpPixmapBase* pixmap = Decode(file, offset, DecodeMode::kNormal, scale, observer);
  if (pixmap == nullptr) {
    return nullptr;
  }
  if (convertToSRGB && adobeRgbSource_) {
    const XpResult converted = XpPixmapAdobeRGBToSRGB(*pixmap);
    if (XpFailed(converted)) {
      delete pixmap;
      SetLastError(converted);
      return nullptr;
    }
  }
  return applyOrientation ? ApplyExifOrientation(pixmap, orientation_) : pixmap;
}

int32_t XpImageIoJpeg::ScaleCovering(const XpSize& picture, const XpSize& wanted) {
  if (wanted.cx < 1 || wanted.cy < 1) {
    return kFullScale;
  }
  for (const int32_t scale : kReducingScales) {
    if (ReducedSide(picture.cx, scale) >= wanted.cx && ReducedSide(picture.cy, scale) >= wanted.cy) {
      return scale;
    }
  }
  return kFullScale;
}

XpPixmapBase* XpImageIoJpeg::ReadPixmapScaled(XpAbstractFile& file, int64_t offset,
                                              const XpSize& size, IXpImageProgress* observer,
                                              bool convertToSRGB, bool applyOrientation) {
  XpSize picture;
  if (XpFailed(ReadImageSize(file, offset, &picture, !applyOrientation))) {
    return nullptr;
  }
  XpPixmapBase* pixmap = ReadPixmap(file, offset, ScaleCovering(picture, size), observer,
                                    convertToSRGB, applyOrientation);
  if (pixmap == nullptr) {
    return nullptr;
  }
  if (XpFailed(SetLastError(XpPixmapResize(*pixmap, size.cx, size.cy)))) {
    delete pixmap;
    return nullptr;
  }
  return pixmap;
}

XpSharedPtr<XpTiffTagManager> XpImageIoJpeg::ReadTags(XpAbstractFile& file, int64_t offset) {
  XpSharedPtr<XpTiffTagManager> tags = XpImageIo::ReadTags(file, offset);
  if (!tags || tags->GetIFD(0) == nullptr) {
    return tags;
  }
  XpMemoryFile iccBytes;
  if (XpSucceeded(ReadIccBytes(file, offset, iccBytes)) &&
      tags->GetIFD(0)->SetUndefined(kTagInterColorProfile, iccBytes.GetBuffer(),
                                    static_cast<uint32_t>(iccBytes.GetDataSize())) < 0) {
    SetLastError(kXpErrOutOfMemory);
    return tags;
  }
  SetLastError(kXpOk);
  return tags;
}

XpSharedPtr<icc_profile> XpImageIoJpeg::ReadIccProfile(XpAbstractFile& file, int64_t offset) {
  XpMemoryFile iccBytes;
  if (XpFailed(SetLastError(ReadIccBytes(file, offset, iccBytes)))) {
    return XpSharedPtr<icc_profile>();
  }
  auto* profile = new (std::nothrow) icc_profile();
  if (profile == nullptr) {
    SetLastError(kXpErrOutOfMemory);
    return XpSharedPtr<icc_profile>();
  }
  if (XpFailed(SetLastError(iccBytes.Seek(0, kXpSeekBegin))) ||
      XpFailed(SetLastError(profile->Read(iccBytes)))) {
    delete profile;
    return XpSharedPtr<icc_profile>();
  }
  XpSharedPtr<icc_profile> shared(profile);
  SetLastError(shared ? kXpOk : kXpErrOutOfMemory);
  return shared;
}

XpPixmapBase* XpImageIoJpeg::ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) {
  orientation_ = 0;
  width_ = 0;
  height_ = 0;
  adobeRgbSource_ = false;
  XpPixmapBase* thumbnail = Decode(file, offset, DecodeMode::kThumbnail, 1, nullptr);
  return thumbnail == nullptr ? nullptr : FinishThumbnail(thumbnail);
}

XpResult XpImageIoJpeg::LocateTiffBlock(XpAbstractFile& file, int64_t offset) {
  XpResult result = file.Seek(offset, kXpSeekBegin);
  if (XpFailed(result)) {
    return SetLastError(result);
  }
  // Both walks go over the one buffered head.
  XpJpegHeadReader head(file);
  result = XpJpegCheckPrologue(head);
  head.MoveTo(offset + kSoiSize);
  while (XpSucceeded(result)) {
    uint16_t marker = 0;
    uint16_t length = 0;
    result = head.ReadWord(marker);
    if (XpSucceeded(result) && !XpJpegIsAppMarker(marker)) {
      result = kXpErrImageTagNotFound;
    }
    if (XpSucceeded(result)) {
      result = head.ReadWord(length);
    }
    if (XpFailed(result)) {
      break;
    }
    int64_t skip = int64_t{length} - kLengthSize;
    // Only a segment that can hold the whole head is looked into.
    if (marker == kApp1Marker && skip >= static_cast<int64_t>(kExifHeadSize)) {
      uint8_t exifHead[kExifHeadSize] = {};
      result = head.Read(exifHead, sizeof exifHead);
      if (XpSucceeded(result) &&
          std::memcmp(exifHead, kExifSignature, kExifSignatureSize - 1) == 0) {
        return SetLastError(head.PlaceFile());
      }
      skip -= static_cast<int64_t>(kExifHeadSize);
    }
    if (XpSucceeded(result)) {
      result = head.SkipForward(skip);
    }
  }
  return SetLastError(result);
}

XpResult XpImageIoJpeg::ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                      bool keepStoredOrientation) {
  if (size == nullptr) {
    return SetLastError(kXpErrBadArgument);
  }
  XpResult result = file.Seek(offset, kXpSeekBegin);
  XpJpegDecompressor decompressor;
  if (XpSucceeded(result)) {
    result = decompressor.Open(file);
  }
  if (XpFailed(result)) {
    return SetLastError(result);
  }
  if (!decompressor.KeepMarkers(kApp1) || !decompressor.ReadHeader()) {
    return SetLastError(kXpErrImageNoTiffBlock);
  }
  XpSize found(static_cast<int32_t>(decompressor.Info().image_width),
               static_cast<int32_t>(decompressor.Info().image_height));
  const jpeg_marker_struct* exif =
      decompressor.FindMarker(kApp1, kExifSignature, kExifSignatureSize);
  if (!keepStoredOrientation && exif != nullptr) {
    const uint16_t orientation = OrientationOfExifMarker(*exif);
    if (orientation >= kFirstSwappingOrientation && orientation <= kLastSwappingOrientation) {
      found = XpSize(found.cy, found.cx);
    }
  }
  *size = found;
  return SetLastError(kXpOk);
}

XpPixmapBase* XpImageIoJpeg::Decode(XpAbstractFile& file, int64_t offset, DecodeMode mode,
                                    int32_t scale, IXpImageProgress* observer) {
  XpSharedPtr<XpTiffTagManager> tags;
  if (mode != DecodeMode::kEmbedded) {
    tags = ReadTags(file, offset);
  }
  XpResult result = file.Seek(offset, kXpSeekBegin);
  XpJpegDecompressor decompressor;
  if (XpSucceeded(result)) {
    result = decompressor.Open(file);
  }
  if (XpFailed(result)) {
    SetLastError(result);
    return nullptr;
  }
  const bool kept = decompressor.KeepMarkers(kApp1) &&
                    (mode != DecodeMode::kThumbnail || decompressor.KeepMarkers(kApp13));
  if (!kept || !decompressor.ReadHeader()) {
    SetLastError(kXpErrImageNoTiffBlock);
    return nullptr;
  }
  if (tags && tags->GetIFD(0) != nullptr) {
    RecordPicture(tags.Get(), decompressor.Info().image_width, decompressor.Info().image_height);
  }
  if (mode == DecodeMode::kThumbnail) {
    return DecodeThumbnail(decompressor, tags.Get());
  }
  if (XpFailed(SetLastError(decompressor.SetOutput(scale)))) {
    return nullptr;
  }
  if (!OutputFitsPixelLimit(decompressor.Info())) {
    SetLastError(kXpErrOutOfMemory);
    return nullptr;
  }
  auto* pixmap = new (std::nothrow) XpPixmapBGR24NoHandle();
  if (pixmap == nullptr) {
    SetLastError(kXpErrOutOfMemory);
    return nullptr;
  }
  result = pixmap->Allocate(static_cast<int32_t>(decompressor.Info().output_width),
                            static_cast<int32_t>(decompressor.Info().output_height));
  if (XpSucceeded(result)) {
    result = decompressor.Decode(*pixmap, observer);
  }
  if (XpFailed(SetLastError(result))) {
    delete pixmap;
    return nullptr;
  }
  return pixmap;
}

void XpImageIoJpeg::RecordPicture(const XpTiffTagManager* tags, uint32_t width, uint32_t height) {
  width_ = width;
  height_ = height;
  // 0 when missing or not a SHORT.
  orientation_ = tags->GetIFD(0)->GetShort(kTagOrientation, true);
  adobeRgbSource_ = tags->IsAdobeRGB();
}

XpPixmapBase* XpImageIoJpeg::DecodeThumbnail(const XpJpegDecompressor& decompressor,
                                             const XpTiffTagManager* tags) {
  const jpeg_marker_struct* photoshop =
      decompressor.FindMarker(kApp13, kPhotoshopSignature, kPhotoshopSignatureSize);
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  if (photoshop != nullptr && FindPhotoshopThumbnail(*photoshop, bytes, size)) {
    return DecodeEmbedded(bytes, size);
  }
  if (tags == nullptr || tags->GetIFD(kThumbnailIfd) == nullptr) {
    SetLastError(kXpErrImageTagNotFound);
    return nullptr;
  }
  uint32_t start = 0;
  if (XpFailed(SetLastError(
          XpImageIoGetLongTag(tags, kTagJpegOffset, kThumbnailIfd, &start)))) {
    return nullptr;
  }
  const jpeg_marker_struct* exif =
      decompressor.FindMarker(kApp1, kExifSignature, kExifSignatureSize);
  if (exif == nullptr || exif->data_length <= kExifHeadSize ||
      start >= exif->data_length - kExifHeadSize) {
    SetLastError(kXpErrImageTagNotFound);
    return nullptr;
  }
  const uint8_t* block = exif->data + kExifHeadSize;
  return DecodeEmbedded(block + start, exif->data_length - kExifHeadSize - start);
}

XpPixmapBase* XpImageIoJpeg::DecodeEmbedded(const uint8_t* bytes, size_t size) {
  // Read only: the buffer is the marker data of the running decode.
  XpMemoryFile stream(const_cast<uint8_t*>(bytes), size, false);
  if (XpFailed(SetLastError(stream.Open(kXpOpenRead)))) {
    return nullptr;
  }
  return Decode(stream, 0, DecodeMode::kEmbedded, 1, nullptr);
}

XpResult XpImageIoJpeg::ReadIccBytes(XpAbstractFile& file, int64_t offset, XpMemoryFile& iccBytes) {
  XpResult result = file.Seek(offset, kXpSeekBegin);
  XpJpegDecompressor decompressor;
  if (XpSucceeded(result)) {
    result = decompressor.Open(file);
  }
  if (XpFailed(result)) {
    return result;
  }
  if (!decompressor.KeepMarkers(kApp2) || !decompressor.ReadHeader()) {
    return kXpErrImageNoTiffBlock;
  }
  if (XpFailed(iccBytes.Open(kXpOpenReadWrite))) {
    return kXpErrOutOfMemory;
  }
  // The sequence numbers are not looked at: file order is profile order.
  result = kXpErrImageTagNotFound;
  for (const jpeg_marker_struct* marker = decompressor.Info().marker_list; marker != nullptr;
       marker = marker->next) {
    if (marker->marker != kApp2 ||
        !XpJpegMarkerStartsWith(*marker, kIccSignature, kIccSignatureSize) ||
        marker->data_length < kIccHeadSize) {
      continue;
    }
    if (XpFailed(iccBytes.Write(marker->data + kIccHeadSize, marker->data_length - kIccHeadSize,
                                nullptr))) {
      return kXpErrOutOfMemory;
    }
    result = kXpOk;
  }
  return result;
}

XpPixmapBase* XpImageIoJpeg::FinishThumbnail(XpPixmapBase* thumbnail) {
  if (width_ > 0 && height_ > 0 && thumbnail->width == kThumbnailWidth &&
      thumbnail->height == kThumbnailHeight) {
    int32_t width = 0;
    int32_t height = 0;
    XpFitSizeInside(static_cast<int32_t>(width_), static_cast<int32_t>(height_), kThumbnailWidth,
                    kThumbnailHeight, width, height);
    if (width > 0 && height > 0 && (width < kThumbnailWidth || height < kThumbnailHeight)) {
      const int32_t left = (kThumbnailWidth - width) / 2;
      const int32_t top = (kThumbnailHeight - height) / 2;
      const XpResult cropped =
          XpPixmapCrop(*thumbnail, XpRect(left, top, left + width, top + height));
      if (XpFailed(cropped)) {
        SetLastError(cropped);
        delete thumbnail;
        return nullptr;
      }
    }
  }
  thumbnail = ApplyExifOrientation(thumbnail, orientation_);
  if (adobeRgbSource_) {
    const XpResult converted = XpPixmapAdobeRGBToSRGB(*thumbnail);
    if (XpFailed(converted)) {
      SetLastError(converted);
      delete thumbnail;
      return nullptr;
    }
  }
  return thumbnail;
}
