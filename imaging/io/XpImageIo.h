#pragma once

#include <cstdint>

#include "imaging/format/XpFormatKind.h"
#include "imaging/geometry/XpSize.h"
#include "imaging/io/IXpImageProgress.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/fs/XpAbstractFile.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

class XpFile;
class XpTiffTagManager;
class icc_profile;

// The interface of every picture reader and of the JPEG writer. Each
// operation on an open file has a twin that takes a path: it opens an XpFile
// on the path, keeps the open result as the last result and, when the file
// opened, runs the operation on it. Every operation keeps its result code as
// the last result. Pixmaps returned belong to the caller. Nothing throws.
//
// Example: the size and the pixels of a picture, by the reader for its
// kind.
//
//   const XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForPath(path);
//   if (!reader) return kXpErrImageNotSupported;
//   XpSize size;
//   const XpResult result = reader->ReadImageSizeFlag0FromPath(path, &size);
//   if (XpFailed(result)) return result;
//   const std::unique_ptr<XpPixmapBase> pixmap(
//       reader->ReadPixmapFromPath(path, /*scale=*/1, /*observer=*/nullptr,
//                                  /*convertToSRGB=*/true, /*applyOrientation=*/true));
//   if (!pixmap) return reader->GetLastError();
//   // pixmap->width == size.cx and pixmap->height == size.cy
class XpImageIo {
 public:
  XpImageIo() = default;
  XpImageIo(const XpImageIo&) = delete;
  XpImageIo& operator=(const XpImageIo&) = delete;
  virtual ~XpImageIo();

  // Opens for reading, then ReadPixmapScaled at offset 0.
  virtual XpPixmapBase* ReadPixmapScaledFromPath(const XpString& path, const XpSize& size,
                                                 IXpImageProgress* observer, bool convertToSRGB,
                                                 bool applyOrientation);
  // Opens for reading, then ReadPixmap at offset 0.
  virtual XpPixmapBase* ReadPixmapFromPath(const XpString& path, int32_t scale,
                                           IXpImageProgress* observer, bool convertToSRGB,
                                           bool applyOrientation);
  // Decodes the picture at offset, reduced by the scale divisor. Here: not
  // supported (kXpErrImageNotSupported), null.
  virtual XpPixmapBase* ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                                   IXpImageProgress* observer, bool convertToSRGB,
                                   bool applyOrientation);
  // ReadPixmap at full size, then resized to size; a failed resize gives
  // null and the resize's result.
  virtual XpPixmapBase* ReadPixmapScaled(XpAbstractFile& file, int64_t offset, const XpSize& size,
                                         IXpImageProgress* observer, bool convertToSRGB,
                                         bool applyOrientation);
  // Opens for reading, then ReadOrientedPixmap at offset 0.
  virtual XpPixmapBase* ReadOrientedPixmapFromPath(const XpString& path);

  // The picture size, turned by the stored orientation (flag 0) or as
  // stored (flag 1): ReadImageSize with keepStoredOrientation false or true.
  [[nodiscard]] virtual XpResult ReadImageSizeFlag0FromPath(const XpString& path, XpSize* size);
  [[nodiscard]] virtual XpResult ReadImageSizeFlag0(XpAbstractFile& file, int64_t offset,
                                                    XpSize* size);
  [[nodiscard]] virtual XpResult ReadImageSizeFlag1FromPath(const XpString& path, XpSize* size);
  [[nodiscard]] virtual XpResult ReadImageSizeFlag1(XpAbstractFile& file, int64_t offset,
                                                    XpSize* size);
  // ReadImageSizeFlag0FromPath on a copy of the path.
  [[nodiscard]] virtual XpResult ReadImageSizeFromPathCopy(XpString path, XpSize* size);

  // The tag tree of the picture; empty when it has none.
  virtual XpSharedPtr<XpTiffTagManager> ReadTagsFromPath(const XpString& path);
  // LocateTiffBlock, then the block parsed with GetFormatFlag() as the
  // maker-note mode: empty and kXpErrImageNoTiffBlock when the header is
  // not valid, kXpErrOutOfMemory when no manager could be made.
  virtual XpSharedPtr<XpTiffTagManager> ReadTags(XpAbstractFile& file, int64_t offset);
  // The embedded colour profile. Here: not supported, empty.
  virtual XpSharedPtr<icc_profile> ReadIccProfile(XpAbstractFile& file, int64_t offset);
  virtual XpSharedPtr<icc_profile> ReadIccProfileFromPath(const XpString& path);

  // Tag edits in place, in the TIFF block that LocateTiffBlock finds. The
  // by-path forms answer kXpErrFileNotFound, and create nothing, when the
  // path does not name an existing file; they open for reading and writing.
  // Turns the stored orientation by quarter turns; when that succeeded,
  // DateTime and the file time become now.
  [[nodiscard]] virtual XpResult UpdateTagFromPath(const XpString& path, int32_t quarterTurns,
                                                   bool fromUpright);
  [[nodiscard]] virtual XpResult UpdateTag(XpAbstractFile& file, int32_t quarterTurns,
                                           bool fromUpright);
  // Rewrites DateTime, and optionally the file time, from date.
  [[nodiscard]] virtual XpResult UpdateTagsFromPath(const XpString& path, const XpDateTime& date,
                                                    bool setFileTime);
  [[nodiscard]] virtual XpResult UpdateTags(XpAbstractFile& file, const XpDateTime& date,
                                            bool setFileTime);
  // Rewrites the shooting date (DateTimeOriginal); when that succeeded,
  // DateTime and the file time become now.
  [[nodiscard]] virtual XpResult WriteDateTimeFromPath(const XpString& path,
                                                       const XpDateTime& date);
  [[nodiscard]] virtual XpResult WriteDateTime(XpAbstractFile& file, const XpDateTime& date);
  // Writes value into maker-note tag 0x2002.
  [[nodiscard]] virtual XpResult RewriteTagsInPlace(const XpString& path, uint32_t value);

  // The picture turned by its stored orientation.
  virtual XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) = 0;
  // Handed to the tag parser as its maker-note mode: 0 here.
  virtual int32_t GetFormatFlag();
  // Positions the file at the TIFF header of the picture's tag block. Here:
  // kXpErrImageNoTiffBlock.
  [[nodiscard]] virtual XpResult LocateTiffBlock(XpAbstractFile& file, int64_t offset);
  // Here: kXpErrImageNotSupported.
  [[nodiscard]] virtual XpResult ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                               bool keepStoredOrientation);

  // RewriteTagsInPlace with the file opened read-only and writing off: the
  // tag block is only checked, and value is not handed out.
  [[nodiscard]] XpResult CheckTagsInPlace(const XpString& path, uint32_t value);

  [[nodiscard]] XpResult GetLastError() const { return lastResult_; }

  // The BGR 24-bit pixmap mirrored and turned for display by an Exif
  // orientation 2-8 (XpPixmapTurnForOrientation), as a new pixmap without
  // bitmap handle; the input is then destroyed. 1 and values outside 1-8
  // return the input as it is. When the
  // turned pixmap cannot be made the input comes back unturned and the last
  // result is kXpErrOutOfMemory; a null input also gives kXpErrOutOfMemory.
  XpPixmapBase* ApplyExifOrientation(XpPixmapBase* pixmap, int32_t orientation);

  // The reader for a format kind; empty when there is none.
  static XpSharedPtr<XpImageIo> CreateForKind(XpFormatKind kind);
  // The reader for the kind of the path's extension.
  static XpSharedPtr<XpImageIo> CreateForPath(const XpString& path);

 protected:
  // Records result as the last result and returns it, for `return SetLastError(x)`.
  XpResult SetLastError(XpResult result) {
    lastResult_ = result;
    return result;
  }

 private:
  // Opens file on path with mode; the open result becomes the last result.
  bool OpenForOperation(XpFile& file, const XpString& path, XpOpenMode mode);
  // Opens an existing file for an edit: kXpErrFileNotFound for anything else.
  bool OpenForEdit(XpFile& file, const XpString& path);
  // LocateTiffBlock from the start of the file; base receives the block's
  // position. False, with the result kept, when there is none.
  bool LocateBlockForEdit(XpAbstractFile& file, int64_t& base);
  // The turn or date edit done, then DateTime and the file time set to now
  // in the block at base; the date step's result wins unless it is kXpOk or
  // kXpErrImageTagNotFound.
  [[nodiscard]] XpResult StampNowAfter(XpResult edit, XpAbstractFile& file, int64_t base);

  XpResult lastResult_ = kXpOk;
};

// The tag tree of the picture at path, read by the reader for its kind;
// empty when there is no reader or no tags.
XpSharedPtr<XpTiffTagManager> XpImageIoReadTagsForPath(const XpString& path);
