#include "imaging/io/XpImageIo.h"

#include <new>

#include "imaging/icc/icc_profile.h"
#include "imaging/io/XpPixmapOrientation.h"
#include "imaging/resample/XpPixmapResize.h"
#include "imaging/tags/XpTiffInPlaceEdit.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpPathQueries.h"

namespace {

constexpr int64_t kStartOfFile = 0;
constexpr int32_t kFullSize = 1;

}  // namespace

XpImageIo::~XpImageIo() = default;

bool XpImageIo::OpenForOperation(XpFile& file, const XpString& path, XpOpenMode mode) {
  return XpSucceeded(SetLastError(file.OpenPath(path, mode)));
}

bool XpImageIo::OpenForEdit(XpFile& file, const XpString& path) {
  // Opening for reading and writing would create a missing file.
  if (!XpFileExists(path)) {
    SetLastError(kXpErrFileNotFound);
    return false;
  }
  return OpenForOperation(file, path, kXpOpenReadWrite);
}

bool XpImageIo::LocateBlockForEdit(XpAbstractFile& file, int64_t& base) {
  if (XpFailed(SetLastError(LocateTiffBlock(file, kStartOfFile)))) {
    return false;
  }
  base = file.Tell();
  if (base < 0) {
    SetLastError(kXpErrImageNoTiffBlock);
    return false;
  }
  return true;
}

XpResult XpImageIo::StampNowAfter(XpResult edit, XpAbstractFile& file, int64_t base) {
  if (XpFailed(edit)) {
    return SetLastError(edit);
  }
  const XpResult stamped = XpTiffWriteDateInFile(file, base, XpDateTime::Now(), true);
  return SetLastError(XpTiffCombineEditResults(edit, stamped));
}

XpPixmapBase* XpImageIo::ReadPixmapScaledFromPath(const XpString& path, const XpSize& size,
                                                  IXpImageProgress* observer, bool convertToSRGB,
                                                  bool applyOrientation) {
  XpFile file;
  if (!OpenForOperation(file, path, kXpOpenRead)) {
    return nullptr;
  }
  return ReadPixmapScaled(file, kStartOfFile, size, observer, convertToSRGB, applyOrientation);
}

XpPixmapBase* XpImageIo::ReadPixmapFromPath(const XpString& path, int32_t scale,
                                            IXpImageProgress* observer, bool convertToSRGB,
                                            bool applyOrientation) {
  XpFile file;
  if (!OpenForOperation(file, path, kXpOpenRead)) {
    return nullptr;
  }
  return ReadPixmap(file, kStartOfFile, scale, observer, convertToSRGB, applyOrientation);
}

XpPixmapBase* XpImageIo::ReadPixmap(XpAbstractFile& /*file*/, int64_t /*offset*/,
                                    int32_t /*scale*/, IXpImageProgress* /*observer*/,
                                    bool /*convertToSRGB*/, bool /*applyOrientation*/) {
  SetLastError(kXpErrImageNotSupported);
  return nullptr;
}

XpPixmapBase* XpImageIo::ReadPixmapScaled(XpAbstractFile& file, int64_t offset, const XpSize& size,
                                          IXpImageProgress* observer, bool convertToSRGB,
                                          bool applyOrientation) {
  XpPixmapBase* pixmap =
      ReadPixmap(file, offset, kFullSize, observer, convertToSRGB, applyOrientation);
  if (pixmap == nullptr) {
    return nullptr;
  }
  if (XpFailed(SetLastError(XpPixmapResize(*pixmap, size.cx, size.cy)))) {
    delete pixmap;
    return nullptr;
  }
  return pixmap;
}

XpPixmapBase* XpImageIo::ReadOrientedPixmapFromPath(const XpString& path) {
  XpFile file;
  if (!OpenForOperation(file, path, kXpOpenRead)) {
    return nullptr;
  }
  return ReadOrientedPixmap(file, kStartOfFile);
}

XpResult XpImageIo::ReadImageSizeFlag0FromPath(const XpString& path, XpSize* size) {
  XpFile file;
  if (!OpenForOperation(file, path, kXpOpenRead)) {
    return GetLastError();
  }
  return ReadImageSizeFlag0(file, kStartOfFile, size);
}

XpResult XpImageIo::ReadImageSizeFlag0(XpAbstractFile& file, int64_t offset, XpSize* size) {
  return SetLastError(ReadImageSize(file, offset, size, false));
}

XpResult XpImageIo::ReadImageSizeFlag1FromPath(const XpString& path, XpSize* size) {
  XpFile file;
  if (!OpenForOperation(file, path, kXpOpenRead)) {
    return GetLastError();
  }
  return ReadImageSizeFlag1(file, kStartOfFile, size);
}

XpResult XpImageIo::ReadImageSizeFlag1(XpAbstractFile& file, int64_t offset, XpSize* size) {
  return SetLastError(ReadImageSize(file, offset, size, true));
}

XpResult XpImageIo::ReadImageSizeFromPathCopy(XpString path, XpSize* size) {
  return ReadImageSizeFlag0FromPath(path, size);
}

XpSharedPtr<XpTiffTagManager> XpImageIo::ReadTagsFromPath(const XpString& path) {
  XpFile file;
  if (!OpenForOperation(file, path, kXpOpenRead)) {
    return XpSharedPtr<XpTiffTagManager>();
  }
  return ReadTags(file, kStartOfFile);
}

XpSharedPtr<XpTiffTagManager> XpImageIo::ReadTags(XpAbstractFile& file, int64_t offset) {
  if (XpFailed(SetLastError(LocateTiffBlock(file, offset)))) {
    return XpSharedPtr<XpTiffTagManager>();
  }
  auto* manager = new (std::nothrow) XpTiffTagManager();
  if (manager == nullptr) {
    SetLastError(kXpErrOutOfMemory);
    return XpSharedPtr<XpTiffTagManager>();
  }
  if (!manager->Parse(file, static_cast<XpTiffMakerNoteMode>(GetFormatFlag()))) {
    delete manager;
    SetLastError(kXpErrImageNoTiffBlock);
    return XpSharedPtr<XpTiffTagManager>();
  }
  XpSharedPtr<XpTiffTagManager> tags(manager);
  SetLastError(tags ? kXpOk : kXpErrOutOfMemory);
  return tags;
}

XpSharedPtr<icc_profile> XpImageIo::ReadIccProfile(XpAbstractFile& /*file*/, int64_t /*offset*/) {
  SetLastError(kXpErrImageNotSupported);
  return XpSharedPtr<icc_profile>();
}

XpSharedPtr<icc_profile> XpImageIo::ReadIccProfileFromPath(const XpString& path) {
  XpFile file;
  if (!OpenForOperation(file, path, kXpOpenRead)) {
    return XpSharedPtr<icc_profile>();
  }
  return ReadIccProfile(file, kStartOfFile);
}

XpResult XpImageIo::UpdateTagFromPath(const XpString& path, int32_t quarterTurns,
                                      bool fromUpright) {
  XpFile file;
  if (!OpenForEdit(file, path)) {
    return GetLastError();
  }
  return UpdateTag(file, quarterTurns, fromUpright);
}

XpResult XpImageIo::UpdateTag(XpAbstractFile& file, int32_t quarterTurns, bool fromUpright) {
  int64_t base = 0;
  if (!LocateBlockForEdit(file, base)) {
    return GetLastError();
  }
  return StampNowAfter(XpTiffRotateOrientationInFile(file, base, quarterTurns, fromUpright), file,
                       base);
}

XpResult XpImageIo::UpdateTagsFromPath(const XpString& path, const XpDateTime& date,
                                       bool setFileTime) {
  XpFile file;
  if (!OpenForEdit(file, path)) {
    return GetLastError();
  }
  return UpdateTags(file, date, setFileTime);
}

XpResult XpImageIo::UpdateTags(XpAbstractFile& file, const XpDateTime& date, bool setFileTime) {
  int64_t base = 0;
  if (!LocateBlockForEdit(file, base)) {
    return GetLastError();
  }
  return SetLastError(XpTiffWriteDateInFile(file, base, date, setFileTime));
}

XpResult XpImageIo::WriteDateTimeFromPath(const XpString& path, const XpDateTime& date) {
  XpFile file;
  if (!OpenForEdit(file, path)) {
    return GetLastError();
  }
  return WriteDateTime(file, date);
}

XpResult XpImageIo::WriteDateTime(XpAbstractFile& file, const XpDateTime& date) {
  int64_t base = 0;
  if (!LocateBlockForEdit(file, base)) {
    return GetLastError();
  }
  return StampNowAfter(
      XpTiffWriteExifDateInFile(file, base, kTagDateTimeOriginal, date), file, base);
}

XpResult XpImageIo::RewriteTagsInPlace(const XpString& path, uint32_t value) {
  XpFile file;
  if (!OpenForEdit(file, path)) {
    return GetLastError();
  }
  int64_t base = 0;
  if (!LocateBlockForEdit(file, base)) {
    return GetLastError();
  }
  return SetLastError(XpTiffAccessMakerLongInFile(file, base, true, value));
}

XpResult XpImageIo::CheckTagsInPlace(const XpString& path, uint32_t value) {
  XpFile file;
  if (!OpenForOperation(file, path, kXpOpenRead)) {
    return GetLastError();
  }
  int64_t base = 0;
  if (!LocateBlockForEdit(file, base)) {
    return GetLastError();
  }
  // Writing off: value only stands in for the one read.
  return SetLastError(XpTiffAccessMakerLongInFile(file, base, false, value));
}

int32_t XpImageIo::GetFormatFlag() { return 0; }

XpResult XpImageIo::LocateTiffBlock(XpAbstractFile& /*file*/, int64_t /*offset*/) {
  return SetLastError(kXpErrImageNoTiffBlock);
}

XpResult XpImageIo::ReadImageSize(XpAbstractFile& /*file*/, int64_t /*offset*/, XpSize* /*size*/,
                                  bool /*keepStoredOrientation*/) {
  return SetLastError(kXpErrImageNotSupported);
}

XpPixmapBase* XpImageIo::ApplyExifOrientation(XpPixmapBase* pixmap, int32_t orientation) {
  if (pixmap == nullptr) {
    SetLastError(kXpErrOutOfMemory);
    return nullptr;
  }
  if (!XpOrientationNeedsTurn(orientation)) {
    return pixmap;
  }
  if (pixmap->GetPlane(0) == nullptr || !XpPixmapIsBGR24(*pixmap)) {
    SetLastError(kXpErrBadArgument);
    return pixmap;
  }
  XpPixmapBase* turned = XpPixmapTurnForOrientation(*pixmap, orientation);
  if (turned == nullptr) {
    SetLastError(kXpErrOutOfMemory);
    return pixmap;
  }
  delete pixmap;
  return turned;
}
