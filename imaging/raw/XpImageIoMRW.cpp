#include "imaging/raw/XpImageIoMRW.h"

#include <cstring>
#include <memory>
#include <new>

#include "imaging/io/XpImageIoTags.h"
#include "imaging/io/XpPixmapAdobeRGBToSRGB.h"
#include "imaging/io/XpPixmapOrientation.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/raw/XpRawPreview.h"
#include "imaging/resample/XpPixmapResize.h"
#include "imaging/tags/XpTiffInPlaceEdit.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpFile.h"
#include "platform/memory/XpByteOrder.h"
#include "platform/memory/XpMemoryFile.h"

namespace {

constexpr int64_t kStartOfFile = 0;
constexpr int32_t kFormatFlag = 1;
constexpr int32_t kFullScale = 1;
constexpr uint64_t kHeaderBytes = 8;
constexpr uint64_t kBlockHeadBytes = 8;
constexpr uint64_t kPrdBytes = 24;
constexpr size_t kPrdHeightAt = 12;
constexpr size_t kPrdWidthAt = 14;
constexpr uint64_t kShortestPreview = 2;
constexpr uint8_t kJpegMarkerByte = 0xFF;

constexpr char kTiffBlockName[] = "TTW";
constexpr char kPictureBlockName[] = "PRD";

constexpr int32_t kIfd0 = 0;

// Walks the blocks of the header block at offset to the one named name;
// the file is left behind its block header and *dataLength receives its
// data length, *bigEndian the header's byte order. kXpErrImageTagNotFound
// when the walk ends without it.
[[nodiscard]] XpResult WalkToBlock(XpAbstractFile& file, int64_t offset, const char* name,
                                   uint32_t* dataLength, bool* bigEndian) {
  uint32_t headerLength = 0;
  const XpResult header = MrwReadHeader(file, offset, bigEndian, &headerLength);
  if (XpFailed(header)) {
    return header;
  }
  const int64_t end = offset + static_cast<int64_t>(kHeaderBytes) + int64_t{headerLength};
  int64_t position = file.Tell();
  while (position >= 0 && position < end) {
    uint8_t head[kBlockHeadBytes];
    const XpResult read = XpRawReadExactly(file, head, sizeof head);
    if (XpFailed(read)) {
      return read;
    }
    const uint32_t length = XpLoad32(head + 4, *bigEndian);
    if (head[0] == 0 && std::memcmp(head + 1, name, 3) == 0) {
      *dataLength = length;
      return kXpOk;
    }
    const XpResult skipped = file.Seek(int64_t{length}, kXpSeekCurrent);
    if (XpFailed(skipped)) {
      return skipped;
    }
    position = file.Tell();
  }
  return kXpErrImageTagNotFound;
}

// The preview bytes of the maker note, as a buffer of their own.
struct PreviewBytes {
  std::unique_ptr<uint8_t[]> data;
  uint64_t length = 0;
};

[[nodiscard]] XpResult CopyTagBytes(const XpTiffTagDataBase& value, PreviewBytes& preview) {
  const uint64_t length = value.GetByteSize();
  preview.data.reset(new (std::nothrow) uint8_t[length > 0 ? length : 1]);
  if (!preview.data) {
    return kXpErrOutOfMemory;
  }
  if (length > 0) {
    std::memcpy(preview.data.get(), value.GetData(), length);
  }
  preview.length = length;
  return kXpOk;
}

[[nodiscard]] XpResult ReadFileBytes(XpAbstractFile& file, int64_t tiffBase, uint32_t offset,
                                     uint32_t length, PreviewBytes& preview) {
  const int64_t end = tiffBase + int64_t{offset} + int64_t{length};
  const int64_t fileSize = file.GetSize();
  if (fileSize < 0 || end > fileSize) {
    return kXpErrEndOfFile;
  }
  preview.data.reset(new (std::nothrow) uint8_t[length]);
  if (!preview.data) {
    return kXpErrOutOfMemory;
  }
  XpResult result = file.Seek(tiffBase + int64_t{offset}, kXpSeekBegin);
  if (XpSucceeded(result)) {
    result = XpRawReadExactly(file, preview.data.get(), length);
  }
  if (XpFailed(result)) {
    preview.data.reset();
    return result;
  }
  preview.length = length;
  return kXpOk;
}

// Tags 0x88/0x89 when both are nonzero, else the bytes of tag 2, else
// those of tag 0x80. kXpErrImageNoTiffBlock when none is there.
[[nodiscard]] XpResult LoadPreviewBytes(XpAbstractFile& file, int64_t tiffBase,
                                        const XpTiffTagManager& tags, PreviewBytes& preview) {
  const XpTiffTagIFD* makerNote = tags.GetMakerNoteIFD();
  if (makerNote == nullptr) {
    return kXpErrImageNoTiffBlock;
  }
  uint32_t offset = 0;
  uint32_t length = 0;
  if (XpSucceeded(XpImageIoGetLongTag(makerNote, kTagPreviewOffset, &offset, false)) &&
      XpSucceeded(XpImageIoGetLongTag(makerNote, kTagPreviewLength, &length, false)) &&
      offset != 0 && length != 0) {
    return ReadFileBytes(file, tiffBase, offset, length, preview);
  }
  const XpTiffTagDataBase* value = makerNote->FindTag(kTagPreviewBytes, false);
  if (value == nullptr) {
    value = makerNote->FindTag(kTagPreviewBytesAlternative, false);
  }
  if (value == nullptr) {
    return kXpErrImageNoTiffBlock;
  }
  return CopyTagBytes(*value, preview);
}

// The tags at the file's current position with a marked maker note kept
// as an IFD; empty when they do not parse.
std::unique_ptr<XpTiffTagManager> ParseHere(XpAbstractFile& file) {
  auto tags = std::unique_ptr<XpTiffTagManager>(new (std::nothrow) XpTiffTagManager());
  if (!tags || !tags->Parse(file, XpTiffMakerNoteMode::MakerNoteWhenMarked)) {
    return nullptr;
  }
  return tags;
}

uint32_t OrientationOf(const XpTiffTagManager& tags) {
  uint32_t orientation = 0;
  if (XpFailed(XpImageIoGetShortOrLongTag(&tags, kTagOrientation, kIfd0, &orientation))) {
    return 0;
  }
  return orientation;
}

}  // namespace

[[nodiscard]] XpResult MrwReadHeader(XpAbstractFile& file, int64_t offset, bool* bigEndian,
                                     uint32_t* length) {
  const XpResult sought = file.Seek(offset, kXpSeekBegin);
  if (XpFailed(sought)) {
    return sought;
  }
  uint8_t header[kHeaderBytes];
  const XpResult read = XpRawReadExactly(file, header, sizeof header);
  if (XpFailed(read)) {
    return read;
  }
  if (header[0] != 0 || header[1] != 'M' || header[2] != 'R' ||
      (header[3] != 'M' && header[3] != 'I')) {
    return kXpErrImageNoTiffBlock;
  }
  *bigEndian = header[3] == 'M';
  *length = XpLoad32(header + 4, *bigEndian);
  return kXpOk;
}

[[nodiscard]] XpResult MrwReadPrdSize(XpAbstractFile& file, int64_t offset, XpSize* size) {
  bool bigEndian = false;
  uint32_t dataLength = 0;
  XpResult result = WalkToBlock(file, offset, kPictureBlockName, &dataLength, &bigEndian);
  if (XpFailed(result)) {
    return result;
  }
  if (dataLength < kPrdBytes) {
    return kXpErrImageNoTiffBlock;
  }
  uint8_t data[kPrdBytes];
  result = XpRawReadExactly(file, data, sizeof data);
  if (XpFailed(result)) {
    return result;
  }
  *size = XpSize(XpLoad16(data + kPrdWidthAt, bigEndian), XpLoad16(data + kPrdHeightAt, bigEndian));
  return kXpOk;
}

XpPixmapBase* MrwDecodePreview(uint8_t* bytes, uint64_t length, XpResult* result) {
  if (bytes == nullptr || length < kShortestPreview) {
    *result = kXpErrImageNoTiffBlock;
    return nullptr;
  }
  bytes[0] = kJpegMarkerByte;
  XpMemoryFile file(bytes, length, false);
  XpImageIoJpeg jpeg;
  XpPixmapBase* pixmap = jpeg.ReadPixmap(file, kStartOfFile, kFullScale, nullptr, true, true);
  *result = pixmap != nullptr ? kXpOk : jpeg.GetLastError();
  if (pixmap == nullptr && XpSucceeded(*result)) {
    *result = kXpErrImaging;
  }
  return pixmap;
}

[[nodiscard]] XpResult MrwReadPreviewSize(uint8_t* bytes, uint64_t length, XpSize* size) {
  if (bytes == nullptr || length < kShortestPreview) {
    return kXpErrImageNoTiffBlock;
  }
  bytes[0] = kJpegMarkerByte;
  XpMemoryFile file(bytes, length, false);
  XpImageIoJpeg jpeg;
  return jpeg.ReadImageSizeFlag1(file, kStartOfFile, size);
}

XpImageIoMRW::XpImageIoMRW() = default;

XpImageIoMRW::~XpImageIoMRW() = default;

int32_t XpImageIoMRW::GetFormatFlag() { return kFormatFlag; }

XpResult XpImageIoMRW::LocateTiffBlock(XpAbstractFile& file, int64_t offset) {
  uint32_t dataLength = 0;
  bool bigEndian = false;
  return SetLastError(WalkToBlock(file, offset, kTiffBlockName, &dataLength, &bigEndian));
}

XpPixmapBase* XpImageIoMRW::KeepOrDrop(XpPixmapBase* pixmap, XpResult result) {
  SetLastError(result);
  if (XpSucceeded(result)) {
    return pixmap;
  }
  delete pixmap;
  return nullptr;
}

XpPixmapBase* XpImageIoMRW::TurnOrDrop(XpPixmapBase* pixmap, uint32_t orientation) {
  if (pixmap == nullptr || !XpOrientationNeedsTurn(static_cast<int32_t>(orientation))) {
    return pixmap;
  }
  SetLastError(kXpOk);
  XpPixmapBase* turned = ApplyExifOrientation(pixmap, static_cast<int32_t>(orientation));
  return KeepOrDrop(turned, GetLastError());
}

XpPixmapBase* XpImageIoMRW::DecodePreviewFromFile(XpAbstractFile& file, int64_t offset,
                                                  uint32_t& orientation, bool convertToSRGB) {
  orientation = 0;
  if (XpFailed(LocateTiffBlock(file, offset))) {
    return nullptr;
  }
  SetLastError(kXpErrImageNoTiffBlock);
  const int64_t tiffBase = file.Tell();
  std::unique_ptr<XpTiffTagManager> tags = ParseHere(file);
  if (!tags) {
    return nullptr;
  }
  const bool adobeRgb = tags->IsAdobeRGB();
  orientation = OrientationOf(*tags);
  PreviewBytes preview;
  if (XpFailed(SetLastError(LoadPreviewBytes(file, tiffBase, *tags, preview)))) {
    return nullptr;
  }
  tags.reset();
  XpResult decoded = kXpOk;
  XpPixmapBase* pixmap = MrwDecodePreview(preview.data.get(), preview.length, &decoded);
  preview.data.reset();
  if (pixmap == nullptr || XpFailed(decoded)) {
    return KeepOrDrop(pixmap, decoded);
  }
  if (convertToSRGB && adobeRgb && XpPixmapAdobeRGBToSRGB(*pixmap) != kXpOk) {
    return KeepOrDrop(pixmap, kXpErrImaging);
  }
  XpSize picture;
  if (XpFailed(MrwReadPrdSize(file, offset, &picture))) {
    // Without a picture size the preview stays as it is.
    return KeepOrDrop(pixmap, kXpOk);
  }
  return KeepOrDrop(pixmap, XpRawCropToPicture(*pixmap, picture));
}

XpPixmapBase* XpImageIoMRW::ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                                       IXpImageProgress* /*observer*/, bool convertToSRGB,
                                       bool applyOrientation) {
  if (scale < kFullScale) {
    SetLastError(kXpErrImageBadRegion);
    return nullptr;
  }
  uint32_t orientation = 0;
  XpPixmapBase* pixmap = DecodePreviewFromFile(file, offset, orientation, convertToSRGB);
  if (pixmap != nullptr && applyOrientation) {
    pixmap = TurnOrDrop(pixmap, orientation);
  }
  if (pixmap == nullptr) {
    return nullptr;
  }
  return KeepOrDrop(pixmap, XpRawApplyScale(*pixmap, scale));
}

XpPixmapBase* XpImageIoMRW::ReadPixmapScaled(XpAbstractFile& file, int64_t offset,
                                             const XpSize& size, IXpImageProgress* /*observer*/,
                                             bool convertToSRGB, bool applyOrientation) {
  uint32_t orientation = 0;
  XpPixmapBase* pixmap = DecodePreviewFromFile(file, offset, orientation, convertToSRGB);
  if (pixmap != nullptr && applyOrientation) {
    pixmap = TurnOrDrop(pixmap, orientation);
  }
  if (pixmap == nullptr) {
    return nullptr;
  }
  return KeepOrDrop(pixmap, XpRawShrinkIntoBox(*pixmap, size));
}

XpPixmapBase* XpImageIoMRW::ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) {
  uint32_t orientation = 0;
  XpPixmapBase* pixmap = DecodePreviewFromFile(file, offset, orientation, true);
  if (pixmap == nullptr) {
    return nullptr;
  }
  if (pixmap->width > kXpRawThumbnailWidth || pixmap->height > kXpRawThumbnailHeight) {
    pixmap = KeepOrDrop(
        pixmap, XpPixmapResize(*pixmap, kXpRawThumbnailWidth, kXpRawThumbnailHeight));
    if (pixmap == nullptr) {
      return nullptr;
    }
  }
  return TurnOrDrop(pixmap, orientation);
}

XpResult XpImageIoMRW::ReadImageSizeFromPathCopy(XpString path, XpSize* size) {
  return ReadPreviewSizeFromPath(path, size);
}

XpResult XpImageIoMRW::ReadPreviewSizeFromPath(const XpString& path, XpSize* size) {
  if (size == nullptr) {
    return SetLastError(kXpErrBadArgument);
  }
  XpFile file;
  if (XpFailed(SetLastError(file.OpenPath(path, kXpOpenRead)))) {
    return GetLastError();
  }
  if (XpFailed(LocateTiffBlock(file, kStartOfFile))) {
    return GetLastError();
  }
  const int64_t tiffBase = file.Tell();
  std::unique_ptr<XpTiffTagManager> tags = ParseHere(file);
  if (!tags) {
    return SetLastError(kXpErrImageNoTiffBlock);
  }
  const uint32_t orientation = OrientationOf(*tags);
  PreviewBytes preview;
  if (XpFailed(SetLastError(LoadPreviewBytes(file, tiffBase, *tags, preview)))) {
    return GetLastError();
  }
  XpSize measured;
  if (XpFailed(SetLastError(MrwReadPreviewSize(preview.data.get(), preview.length, &measured)))) {
    return GetLastError();
  }
  *size = XpRawOrientationSwaps(orientation) ? XpSize(measured.cy, measured.cx) : measured;
  return SetLastError(kXpOk);
}

XpResult XpImageIoMRW::ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                     bool keepStoredOrientation) {
  if (size == nullptr) {
    return SetLastError(kXpErrBadArgument);
  }
  XpSize picture;
  if (XpFailed(SetLastError(MrwReadPrdSize(file, offset, &picture)))) {
    return GetLastError();
  }
  *size = picture;
  if (keepStoredOrientation) {
    return GetLastError();
  }
  XpSharedPtr<XpTiffTagManager> tags = ReadTags(file, offset);
  if (tags && XpRawOrientationSwaps(OrientationOf(*tags))) {
    *size = XpSize(picture.cy, picture.cx);
  }
  return SetLastError(kXpOk);
}
