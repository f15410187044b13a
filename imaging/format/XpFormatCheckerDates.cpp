#include <ctime>

#include "imaging/format/MP4SDKWrapperLoader.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/format/XpFormatCheckerHooks.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpAbstractFSObj.h"
#include "platform/fs/XpFile.h"
#include "platform/path/XpPath.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr const char16_t* kTagDateFormat = u"%04d:%02d:%02d %02d:%02d:%02d";
constexpr time_t kFileDateTolerance = 1;

bool IsBetween(XpFormatKind kind, XpFormatKind first, XpFormatKind last) {
  return kind >= first && kind <= last;
}

// The kinds dated by their Exif tags.
bool IsTaggedPictureKind(XpFormatKind kind) {
  return IsBetween(kind, kXpKindJpeg, kXpKindJpegThumbnail) || kind == kXpKindTiff ||
         kind == kXpKindGif || IsBetween(kind, kXpKindZkp, kXpKindZk2) || kind == kXpKindMrw ||
         IsBetween(kind, kXpKindZkwModel, kXpKindZkwOther) || kind == kXpKindAnimatedGif;
}

}  // namespace

bool XpFormatChecker::GetShootingDate(const XpString& path, XpDateTime& date) {
  const XpFormatKind kind = DetectFormatKind(path);
  if (IsTaggedPictureKind(kind)) {
    return ReadTagDate(path, kind, kTagDateTimeOriginal, date);
  }
  switch (kind) {
    case kXpKindMpeg2:
      return ReadPsDate(path, date);
    case kXpKindDvAvi:
      return ReadDvAviDate(path, date);
    case kXpKindCameraMjpegAvi:
      return ReadAviIditDate(path, date);
    case kXpKindMpeg2Tshv:
      return ReadTsDate(path, date);
    case kXpKindMp4Type1:
    case kXpKindMp4Type2:
      return GetOriginalDateTimeFromMP4::Instance()(path, date);
    default:
      return false;
  }
}

bool XpFormatChecker::GetFileDate(const XpString& path, XpDateTime& date) {
  XpDateTime modified;
  const bool hasFileTime = XpFile(path).GetTimes(nullptr, &modified, nullptr) == kXpOk;
  const XpFormatKind kind = DetectFormatKind(path);
  XpDateTime tagged;
  if (hasFileTime && IsTaggedPictureKind(kind) && ReadTagDate(path, kind, kTagDateTime, tagged)) {
    const time_t fileSeconds = modified.ToTime64();
    const time_t tagSeconds = tagged.ToTime64();
    const bool bothKnown = fileSeconds != -1 && tagSeconds != -1;
    if (bothKnown && (tagSeconds - fileSeconds == kFileDateTolerance ||
                      fileSeconds - tagSeconds == kFileDateTolerance)) {
      date = tagged;
      return true;
    }
  }
  if (hasFileTime) {
    date = modified;
  }
  return true;
}

bool XpFormatChecker::ReadTagDate(const XpString& path, XpFormatKind kind, uint16_t tag,
                                  XpDateTime& date) {
  XpSharedPtr<XpImageIo> reader = XpFormatCheckerHooks::CreateTagReader(kind);
  if (!reader) {
    return false;
  }
  XpSharedPtr<XpTiffTagManager> tags = reader->ReadTagsFromPath(path);
  const XpTiffTagIFD* ifd0 = tags ? tags->GetIFD(0) : nullptr;
  if (ifd0 == nullptr) {
    return false;
  }
  const XpStringA text = ifd0->GetAsciiA(tag, true);
  if (text.IsEmpty()) {
    return false;
  }
  XpDateTime parsed;
  if (!parsed.Parse(text.ToWide(), kTagDateFormat) || !parsed.IsValid()) {
    return false;
  }
  date = parsed;
  return true;
}

XpResult XpFormatChecker::GetFileTimes(const char16_t* path, XpDateTime* created,
                                       XpDateTime* modified, XpDateTime* accessed) {
  if (path == nullptr) {
    return kXpErrBadArgument;
  }
  XpDateTime times[3];
  if (XpFile(XpString(path)).GetTimes(&times[0], &times[1], &times[2]) != kXpOk) {
    return kXpErrFileNotFound;
  }
  XpDateTime* outputs[3] = {created, modified, accessed};
  for (int index = 0; index < 3; ++index) {
    if (outputs[index] != nullptr) {
      *outputs[index] = times[index];
    }
  }
  return kXpOk;
}

bool XpFormatChecker::IsListableEntry(const XpAbstractFSObj* entry) {
  if (entry == nullptr) {
    return false;
  }
  if (!entry->IsDirectory()) {
    return true;
  }
  const XpString name = XpPathGetFileName(entry->GetPath());
  return name != u"." && name != u"..";
}
