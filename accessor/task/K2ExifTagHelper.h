#pragma once

#include "imaging/tags/XpTiffTagManager.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// Completes the Exif data that goes with an exported picture.
class K2ExifTagHelper {
 public:
  // tags = the tag tree of the picture at sourcePath (empty when it has
  // none). When its Exif IFD lacks DateTimeOriginal and date is valid, the
  // date is added as that tag, creating IFD 0 and the Exif IFD (in a new
  // little-endian tree) where missing. An invalid date adds nothing and
  // leaves the tags as read. kXpErrOutOfMemory when no Exif IFD can be made.
  [[nodiscard]] XpResult EnsureDateTimeOriginal(const XpString& sourcePath, const XpDateTime& date,
                                                XpSharedPtr<XpTiffTagManager>& tags) const;
};

// The Exif IFD of the tree, made (with IFD 0, and the tree itself when the
// holder is empty) when missing; null when it cannot be made.
XpTiffTagIFD* GetOrCreateExifIFD(XpSharedPtr<XpTiffTagManager>& tags);
// A new, empty little-endian tag tree; empty when memory ran out.
XpSharedPtr<XpTiffTagManager> NewTagManager();
// The picture at path has tags with a first IFD, or a second one.
bool FileHasIFD0(const XpString& path);
bool FileHasThumbnailIFD(const XpString& path);
// A JPEG reader finds tags in the picture at path.
bool JpegHasTags(const XpString& path);
bool TagsHaveIFD0(const XpTiffTagManager* tags);
bool TagsHaveIFD1(const XpTiffTagManager* tags);
bool TagsHaveExifIFD(const XpTiffTagManager* tags);
