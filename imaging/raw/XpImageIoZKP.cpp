#include "imaging/raw/XpImageIoZKP.h"

#include <cstdint>

#include "imaging/format/XpFormatChecker.h"
#include "imaging/io/XpImageIoTags.h"
#include "imaging/io/XpPixmapAdobeRGBToSRGB.h"
#include "imaging/io/XpPixmapOrientation.h"
#include "imaging/geometry/XpFitSize.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/raw/XpRawPreview.h"
#include "imaging/resample/XpPixmapResize.h"
#include "imaging/tags/XpTiffInPlaceEdit.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"

namespace {

constexpr int64_t kStartOfFile = 0;
constexpr int32_t kRawMakerNoteFlag = 1;
constexpr int32_t kMakerNoteIfdFlag = 2;
constexpr int32_t kFullScale = 1;

constexpr int32_t kIfd0 = 0;
constexpr int32_t kIfd1 = 1;

constexpr uint16_t kModelCodeLarge = 2;
constexpr uint16_t kModelCodeWide = 256;
constexpr char kEarlyModelSoftware[] = "RQX-K4000 v";
constexpr int32_t kEarlyModelSoftwareLength = sizeof kEarlyModelSoftware - 1;

struct FixedSize {
  const char* model;
  uint32_t width;
  uint32_t height;
};

constexpr FixedSize kModelSizes[] = {
    {"RQT-M512", 3264, 2448},
    {"RQT-B7", 3072, 2304},
};

bool IsBetween(XpFormatKind kind, XpFormatKind first, XpFormatKind last) {
  return kind >= first && kind <= last;
}

// Width and height of ifd, each 0 when missing.
void ReadIfdSize(const XpTiffTagIFD* ifd, uint32_t& width, uint32_t& height) {
  width = 0;
  height = 0;
  if (XpFailed(XpImageIoGetShortOrLongTag(ifd, kTagImageWidth, &width, false))) {
    width = 0;
  }
  if (XpFailed(XpImageIoGetShortOrLongTag(ifd, kTagImageLength, &height, false))) {
    height = 0;
  }
}

// The SubIFDs value of ifd; null when it has none.
const XpTiffTagDataIFD* SubIFDsOf(const XpTiffTagIFD* ifd) {
  const XpTiffTagDataBase* value = ifd->FindTag(kXpTiffTagSubIFDs, false);
  if (value == nullptr || !value->IsSubIFD()) {
    return nullptr;
  }
  return static_cast<const XpTiffTagDataIFD*>(value);
}

// The only IFD of ifd's SubIFDs; null unless there is exactly one.
const XpTiffTagIFD* SingleSubIFD(const XpTiffTagIFD* ifd) {
  const XpTiffTagDataIFD* subIFDs = SubIFDsOf(ifd);
  if (subIFDs == nullptr || subIFDs->GetIFDCount() != 1) {
    return nullptr;
  }
  return subIFDs->GetIFD(0);
}

void ApplyModelTable(const XpTiffTagIFD* ifd0, uint32_t& width, uint32_t& height) {
  const XpStringA model = ifd0->GetAsciiA(kTagModel);
  for (const FixedSize& row : kModelSizes) {
    if (model == row.model) {
      width = row.width;
      height = row.height;
      return;
    }
  }
}

void ApplyModelCode(const XpTiffTagIFD* makerNote, uint32_t& width, uint32_t& height) {
  if (makerNote == nullptr) {
    return;
  }
  const uint16_t code = makerNote->GetShort(kTagModelCode);
  if (code == kModelCodeLarge) {
    width = 3888;
    height = 2592;
  } else if (code == kModelCodeWide) {
    width = 3872;
    height = 2592;
  }
}

void ApplyFullSize(const XpTiffTagIFD* makerNote, uint32_t& width, uint32_t& height) {
  if (makerNote == nullptr) {
    return;
  }
  const uint32_t fullHeight = makerNote->GetLong(kTagFullSize, false, 0);
  const uint32_t fullWidth = makerNote->GetLong(kTagFullSize, false, 1);
  if (fullWidth != 0 && fullHeight != 0) {
    width = fullWidth;
    height = fullHeight;
  }
}

bool FitsInt32(uint32_t value) { return value <= static_cast<uint32_t>(INT32_MAX); }

}  // namespace

struct XpImageIoZKP::PreviewFacts {
  uint32_t orientation = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t previewOffset = 0;
  bool adobeRgb = false;
};

XpImageIoZKP::XpImageIoZKP(XpFormatKind kind) : formatFlag_(FormatFlagForKind(kind)) {}

XpImageIoZKP::~XpImageIoZKP() = default;

int32_t XpImageIoZKP::FormatFlagForKind(XpFormatKind kind) {
  if (kind == kXpKindZk2 || IsBetween(kind, kXpKindZkwByName, kXpKindZkwOther)) {
    return kMakerNoteIfdFlag;
  }
  return kRawMakerNoteFlag;
}

void XpImageIoZKP::SetFlagFromPath(const XpString& path) {
  formatFlag_ = FormatFlagForKind(XpFormatChecker::KindFromExtension(path));
}

bool XpImageIoZKP::ReadPreviewFacts(XpAbstractFile& file, int64_t offset, PreviewFacts& facts) {
  XpSharedPtr<XpTiffTagManager> tags = ReadTags(file, offset);
  if (!tags) {
    return false;
  }
  SetLastError(kXpErrImageTagNotFound);
  facts.adobeRgb = tags->IsAdobeRGB();
  const XpTiffTagIFD* ifd0 = tags->GetIFD(kIfd0);
  if (ifd0 == nullptr) {
    return false;
  }
  if (XpFailed(XpImageIoGetShortOrLongTag(ifd0, kTagOrientation, &facts.orientation,
                                          false))) {
    facts.orientation = 0;
  }
  ReadIfdSize(ifd0, facts.width, facts.height);
  if (facts.width == 0 || facts.height == 0) {
    if (const XpTiffTagIFD* sub = SingleSubIFD(ifd0)) {
      ReadIfdSize(sub, facts.width, facts.height);
    }
  }
  uint32_t previewOffset = 0;
  if (XpFailed(XpImageIoGetLongTag(tags.Get(), kTagJpegOffset, kIfd0, &previewOffset)) &&
      XpFailed(XpImageIoGetLongTag(tags.Get(), kTagJpegOffset, kIfd1, &previewOffset))) {
    return false;
  }
  // An offset of 0 would point at the tag block itself: no preview.
  if (previewOffset == 0) {
    return false;
  }
  facts.previewOffset = previewOffset;
  SetLastError(kXpOk);
  return true;
}

XpPixmapBase* XpImageIoZKP::KeepOrDrop(XpPixmapBase* pixmap, XpResult result) {
  SetLastError(result);
  if (XpSucceeded(result)) {
    return pixmap;
  }
  delete pixmap;
  return nullptr;
}

XpPixmapBase* XpImageIoZKP::DecodePreview(XpAbstractFile& file, int64_t offset,
                                          uint32_t& orientation, bool convertToSRGB) {
  orientation = 0;
  PreviewFacts facts;
  if (!ReadPreviewFacts(file, offset, facts)) {
    return nullptr;
  }
  orientation = facts.orientation;
  XpImageIoJpeg jpeg;
  XpPixmapBase* pixmap = jpeg.ReadPixmap(file, facts.previewOffset, kFullScale, nullptr, true,
                                         true);
  const XpResult decoded = jpeg.GetLastError();
  if (pixmap == nullptr) {
    SetLastError(XpFailed(decoded) ? decoded : kXpErrImaging);
    return nullptr;
  }
  if (XpFailed(decoded) || facts.width == 0 || facts.height == 0) {
    return KeepOrDrop(pixmap, decoded);
  }
  if (convertToSRGB && facts.adobeRgb) {
    if (XpPixmapAdobeRGBToSRGB(*pixmap) != kXpOk) {
      return KeepOrDrop(pixmap, kXpErrImaging);
    }
  }
  if (!FitsInt32(facts.width) || !FitsInt32(facts.height)) {
    return KeepOrDrop(pixmap, kXpOk);
  }
  const XpSize picture(static_cast<int32_t>(facts.width), static_cast<int32_t>(facts.height));
  return KeepOrDrop(pixmap, XpRawCropToPicture(*pixmap, picture));
}

XpPixmapBase* XpImageIoZKP::TurnOrDrop(XpPixmapBase* pixmap, uint32_t orientation) {
  if (pixmap == nullptr || !XpOrientationNeedsTurn(static_cast<int32_t>(orientation))) {
    return pixmap;
  }
  SetLastError(kXpOk);
  XpPixmapBase* turned = ApplyExifOrientation(pixmap, static_cast<int32_t>(orientation));
  return KeepOrDrop(turned, GetLastError());
}

XpPixmapBase* XpImageIoZKP::ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                                       IXpImageProgress* /*observer*/, bool convertToSRGB,
                                       bool applyOrientation) {
  if (scale < kFullScale) {
    SetLastError(kXpErrImageBadRegion);
    return nullptr;
  }
  uint32_t orientation = 0;
  XpPixmapBase* pixmap = DecodePreview(file, offset, orientation, convertToSRGB);
  if (pixmap == nullptr) {
    return nullptr;
  }
  if (applyOrientation) {
    pixmap = TurnOrDrop(pixmap, orientation);
    if (pixmap == nullptr) {
      return nullptr;
    }
  }
  return KeepOrDrop(pixmap, XpRawApplyScale(*pixmap, scale));
}

XpPixmapBase* XpImageIoZKP::ReadPixmapScaled(XpAbstractFile& file, int64_t offset,
                                             const XpSize& size, IXpImageProgress* /*observer*/,
                                             bool convertToSRGB, bool applyOrientation) {
  uint32_t orientation = 0;
  XpPixmapBase* pixmap = DecodePreview(file, offset, orientation, convertToSRGB);
  if (pixmap == nullptr) {
    return nullptr;
  }
  if (applyOrientation) {
    pixmap = TurnOrDrop(pixmap, orientation);
    if (pixmap == nullptr) {
      return nullptr;
    }
  }
  return KeepOrDrop(pixmap, XpRawShrinkIntoBox(*pixmap, size));
}

XpPixmapBase* XpImageIoZKP::ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) {
  uint32_t orientation = 0;
  XpPixmapBase* pixmap = DecodePreview(file, offset, orientation, true);
  if (pixmap == nullptr) {
    return nullptr;
  }
  int32_t width = 0;
  int32_t height = 0;
  XpFitSizeInside(pixmap->width, pixmap->height, kXpRawThumbnailWidth, kXpRawThumbnailHeight,
                  width, height);
  if (width != pixmap->width || height != pixmap->height) {
    pixmap = KeepOrDrop(pixmap, XpPixmapResize(*pixmap, width, height));
    if (pixmap == nullptr) {
      return nullptr;
    }
  }
  return TurnOrDrop(pixmap, orientation);
}

XpResult XpImageIoZKP::ReadImageSizeFlag0FromPath(const XpString& path, XpSize* size) {
  SetFlagFromPath(path);
  return XpImageIo::ReadImageSizeFlag0FromPath(path, size);
}

XpResult XpImageIoZKP::ReadImageSizeFlag1FromPath(const XpString& path, XpSize* size) {
  SetFlagFromPath(path);
  return XpImageIo::ReadImageSizeFlag1FromPath(path, size);
}

XpResult XpImageIoZKP::ReadImageSizeFromPathCopy(XpString path, XpSize* size) {
  return ReadPreviewSizeFromPath(path, size);
}

XpSharedPtr<XpTiffTagManager> XpImageIoZKP::ReadTagsFromPath(const XpString& path) {
  SetFlagFromPath(path);
  return XpImageIo::ReadTagsFromPath(path);
}

XpResult XpImageIoZKP::ReadPreviewSizeFromPath(const XpString& path, XpSize* size) {
  if (size == nullptr) {
    return SetLastError(kXpErrBadArgument);
  }
  SetFlagFromPath(path);
  XpFile file;
  if (XpFailed(SetLastError(file.OpenPath(path, kXpOpenRead)))) {
    return GetLastError();
  }
  PreviewFacts facts;
  if (!ReadPreviewFacts(file, kStartOfFile, facts)) {
    return GetLastError();
  }
  XpImageIoJpeg jpeg;
  XpSize preview;
  if (XpFailed(SetLastError(jpeg.ReadImageSizeFlag1(file, facts.previewOffset, &preview)))) {
    return GetLastError();
  }
  if (facts.width > 0 && facts.height > 0 && FitsInt32(facts.width) && FitsInt32(facts.height)) {
    int32_t width = 0;
    int32_t height = 0;
    XpFitSizeInside(static_cast<int32_t>(facts.width), static_cast<int32_t>(facts.height),
                    preview.cx, preview.cy, width, height);
    preview = XpSize(width, height);
  }
  if (XpRawOrientationSwaps(facts.orientation)) {
    preview = XpSize(preview.cy, preview.cx);
  }
  *size = preview;
  return SetLastError(kXpOk);
}

XpResult XpImageIoZKP::LocateTiffBlock(XpAbstractFile& file, int64_t offset) {
  if (XpFailed(SetLastError(file.Seek(offset, kXpSeekBegin)))) {
    return GetLastError();
  }
  char mark[2] = {};
  XpResult result = XpRawReadExactly(file, mark, sizeof mark);
  if (XpSucceeded(result)) {
    const bool intel = mark[0] == 'I' && mark[1] == 'I';
    const bool motorola = mark[0] == 'M' && mark[1] == 'M';
    result = intel || motorola ? kXpOk : kXpErrImageNoTiffBlock;
  }
  const XpResult back = file.Seek(offset, kXpSeekBegin);
  if (XpSucceeded(result) && XpFailed(back)) {
    result = back;
  }
  return SetLastError(result);
}

XpResult XpImageIoZKP::ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                     bool keepStoredOrientation) {
  if (size == nullptr) {
    return SetLastError(kXpErrBadArgument);
  }
  XpSharedPtr<XpTiffTagManager> tags = ReadTags(file, offset);
  const XpTiffTagIFD* ifd0 = tags ? tags->GetIFD(kIfd0) : nullptr;
  if (ifd0 == nullptr) {
    return SetLastError(kXpErrImageNoTiffBlock);
  }
  uint32_t width = 0;
  uint32_t height = 0;
  const XpTiffTagIFD* orientationSource = nullptr;
  ReadIfdSize(ifd0, width, height);
  if (width > 0 && height > 0) {
    ApplyModelTable(ifd0, width, height);
    orientationSource = ifd0;
  } else if (const XpTiffTagDataIFD* subIFDs = SubIFDsOf(ifd0)) {
    const XpTiffTagIFD* makerNote = tags->GetMakerNoteIFD();
    if (subIFDs->GetIFDCount() == 1) {
      orientationSource = subIFDs->GetIFD(0);
      ReadIfdSize(orientationSource, width, height);
      ApplyModelCode(makerNote, width, height);
    }
    ApplyFullSize(makerNote, width, height);
  }
  if (width == 0 || height == 0 || !FitsInt32(width) || !FitsInt32(height)) {
    return SetLastError(kXpErrImageNoTiffBlock);
  }
  XpSize found(static_cast<int32_t>(width), static_cast<int32_t>(height));
  if (!keepStoredOrientation && orientationSource != nullptr &&
      XpRawOrientationSwaps(orientationSource->GetShort(kTagOrientation, true))) {
    found = XpSize(found.cy, found.cx);
  }
  *size = found;
  return SetLastError(kXpOk);
}

XpResult XpImageIoZKP::CheckEditable(const XpString& path) {
  const XpFormatKind kind = XpFormatChecker::KindFromExtension(path);
  if (kind == kXpKindZk2) {
    return kXpOk;
  }
  if (kind == kXpKindZkwByName && !XpZkwIsEarlyModelFile(path)) {
    return kXpOk;
  }
  return kXpErrImageNotSupported;
}

XpResult XpImageIoZKP::UpdateTagFromPath(const XpString& path, int32_t quarterTurns,
                                         bool fromUpright) {
  if (XpFailed(SetLastError(CheckEditable(path)))) {
    return GetLastError();
  }
  if (!XpFileExists(path)) {
    return SetLastError(kXpErrFileNotFound);
  }
  XpFile file;
  if (XpFailed(SetLastError(file.OpenPath(path, kXpOpenReadWrite)))) {
    return GetLastError();
  }
  return SetLastError(XpTiffRotateOrientationInFile(file, kStartOfFile, quarterTurns, fromUpright));
}

XpResult XpImageIoZKP::UpdateTag(XpAbstractFile& /*file*/, int32_t /*quarterTurns*/,
                                 bool /*fromUpright*/) {
  return SetLastError(kXpErrImageNotSupported);
}

XpResult XpImageIoZKP::WriteDateTimeFromPath(const XpString& path, const XpDateTime& date) {
  if (XpFailed(SetLastError(CheckEditable(path)))) {
    return GetLastError();
  }
  if (!XpFileExists(path)) {
    return SetLastError(kXpErrFileNotFound);
  }
  XpFile file;
  if (XpFailed(SetLastError(file.OpenPath(path, kXpOpenReadWrite)))) {
    return GetLastError();
  }
  const XpResult written =
      XpTiffWriteExifDateInFile(file, kStartOfFile, kTagDateTimeOriginal, date);
  if (XpFailed(written)) {
    return SetLastError(written);
  }
  const XpResult stamped = XpTiffWriteDateInFile(file, kStartOfFile, XpDateTime::Now(), true);
  return SetLastError(XpTiffCombineEditResults(written, stamped));
}

XpResult XpImageIoZKP::WriteDateTime(XpAbstractFile& /*file*/, const XpDateTime& /*date*/) {
  return SetLastError(kXpErrImageNotSupported);
}

bool XpZkwIsEarlyModelFile(const XpString& path) {
  if (XpPathGetExtension(path).CompareNoCase(u".zkw") != 0) {
    return false;
  }
  XpFile file;
  if (XpFailed(file.OpenPath(path, kXpOpenRead))) {
    return false;
  }
  XpImageIoZKP reader(kXpKindZkwByName);
  XpSharedPtr<XpTiffTagManager> tags = reader.ReadTags(file, kStartOfFile);
  const XpTiffTagIFD* ifd0 = tags ? tags->GetIFD(kIfd0) : nullptr;
  if (ifd0 == nullptr || !ifd0->HasTag(kTagSoftware)) {
    return false;
  }
  const XpStringA software = ifd0->GetAsciiA(kTagSoftware);
  return software.GetLength() >= kEarlyModelSoftwareLength &&
         software.Left(kEarlyModelSoftwareLength) == kEarlyModelSoftware;
}
