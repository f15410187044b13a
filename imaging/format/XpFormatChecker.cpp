#include "imaging/format/XpFormatChecker.h"

#include "imaging/format/MP4SDKWrapperLoader.h"
#include "imaging/format/XpAviContainer.h"
#include "imaging/format/XpFormatCheckerHooks.h"
#include "imaging/format/XpMpegProgramStream.h"
#include "imaging/format/XpMpegTransportStream.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"

namespace {

struct ExtensionKind {
  const char16_t* extension;
  XpFormatKind kind;
};

// In the order of comparison; the first match wins.
constexpr ExtensionKind kKindsByName[] = {
    {u".jpg", kXpKindJpegByName},     {u".jpeg", kXpKindJpegByName},
    {u".jpe", kXpKindJpegByName},     {u".thm", kXpKindJpegThumbnail},
    {u".zk2", kXpKindZk2},            {u".zkp", kXpKindZkp},
    {u".zkw", kXpKindZkwByName},      {u".mrw", kXpKindMrw},
    {u".tiff", kXpKindTiff},          {u".tif", kXpKindTiff},
    {u".gif", kXpKindGif},            {u".mpg", kXpKindMpegByName},
    {u".mpeg", kXpKindMpegByName},    {u".m2p", kXpKindMpeg2ByName},
    {u".m2t", kXpKindMpeg2ByName},    {u".mts", kXpKindMpeg2ByName},
    {u".m2ts", kXpKindMpeg2ByName},   {u".mmv", kXpKindMmv},
    {u".mp4", kXpKindMp4ByName},      {u".avi", kXpKindAviByName},
    {u".wmv", kXpKindWmv},            {u".modd", kXpKindMovieSideFile},
    {u".rodd", kXpKindMovieSideFile}, {u".moff", kXpKindMoffSideFile},
    {u".vmlt", kXpKindVmltSideFile},  {u".vmlf", kXpKindVmlfSideFile},
};

constexpr const char16_t* kJpegExtensions[] = {u".jpg", u".jpeg", u".jpe", u".thm"};

// A ".jpg" whose maker note carries the camera's mark.
XpFormatKind JpegKind(const XpString& path) {
  XpImageIoJpeg reader;
  XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(path);
  if (tags && tags->GetExifIFD() != nullptr && tags->HasMakerNoteMark()) {
    return kXpKindJpegMarked;
  }
  return kXpKindJpeg;
}

XpFormatKind ZkwKind(const XpString& path) {
  return XpFormatCheckerHooks::IsZkwEarlyModelFile(path) ? kXpKindZkwModel : kXpKindZkwOther;
}

template <XpFormatKind kind>
XpFormatKind Fixed(const XpString&) {
  return kind;
}

XpFormatKind Mp4Kind(const XpString& path) { return GetMp4Type::Instance()(path); }

struct ContentTest {
  const char16_t* extension;
  XpFormatKind (*kindOf)(const XpString& path);
};

// In the order of comparison; the first match wins.
constexpr ContentTest kKindsByContent[] = {
    {u".jpg", JpegKind},
    {u".jpeg", Fixed<kXpKindJpeg>},
    {u".jpe", Fixed<kXpKindJpeg>},
    {u".thm", Fixed<kXpKindJpegThumbnail>},
    {u".zk2", Fixed<kXpKindZk2>},
    {u".zkp", Fixed<kXpKindZkp>},
    {u".zkw", ZkwKind},
    {u".mrw", Fixed<kXpKindMrw>},
    {u".tiff", Fixed<kXpKindTiff>},
    {u".tif", Fixed<kXpKindTiff>},
    {u".gif", XpFormatCheckerHooks::GifKindOfPath},
    {u".modd", Fixed<kXpKindMovieSideFile>},
    {u".rodd", Fixed<kXpKindMovieSideFile>},
    {u".moff", Fixed<kXpKindMoffSideFile>},
    {u".vmlt", Fixed<kXpKindVmltSideFile>},
    {u".vmlf", Fixed<kXpKindVmlfSideFile>},
    {u".mpg", XpMpegProgramStream::DetectKind},
    {u".mpeg", XpMpegProgramStream::DetectKind},
    {u".m2p", Fixed<kXpKindMpeg2>},
    {u".m2t", XpMpegTransportStream::DetectKind},
    {u".mts", XpMpegTransportStream::DetectKind},
    {u".m2ts", XpMpegTransportStream::DetectKind},
    {u".mmv", Fixed<kXpKindMmv>},
    {u".mp4", Mp4Kind},
    {u".avi", XpAviContainer::DetectKind},
    {u".wmv", Fixed<kXpKindWmv>},
};

}  // namespace

XpFormatKind XpFormatChecker::KindFromExtension(const XpString& path) {
  if (path.IsEmpty() || XpDirectoryExists(path)) {
    return kXpKindDirectory;
  }
  return KindFromName(path);
}

XpFormatKind XpFormatChecker::KindFromName(const XpString& path) {
  const XpString extension = XpPathGetExtension(path);
  if (extension.IsEmpty()) {
    return kXpKindUnknown;
  }
  for (const ExtensionKind& entry : kKindsByName) {
    if (extension.CompareNoCase(entry.extension) == 0) {
      return entry.kind;
    }
  }
  return kXpKindUnknown;
}

bool XpFormatChecker::IsJpegExtension(const XpString& path) {
  const XpString extension = XpPathGetExtension(path);
  for (const char16_t* jpeg : kJpegExtensions) {
    if (extension.CompareNoCase(jpeg) == 0) {
      return true;
    }
  }
  return false;
}

XpFormatKind XpFormatChecker::DetectFormatKind(const XpString& path) {
  if (path.IsEmpty() || XpDirectoryExists(path)) {
    return kXpKindDirectory;
  }
  const XpString extension = XpPathGetExtension(path);
  if (extension.IsEmpty()) {
    return kXpKindUnknown;
  }
  for (const ContentTest& entry : kKindsByContent) {
    if (extension.CompareNoCase(entry.extension) == 0) {
      return entry.kindOf(path);
    }
  }
  return kXpKindUnknown;
}

bool XpFormatChecker::ReadDvAviDate(const XpString& path, XpDateTime& date) {
  return XpAviContainer::ReadDvDate(path, date);
}

bool XpFormatChecker::ReadAviIditDate(const XpString& path, XpDateTime& date) {
  return XpAviContainer::ReadIditDate(path, date);
}

bool XpFormatChecker::ReadPsDate(const XpString& path, XpDateTime& date) {
  return XpMpegProgramStream::ReadDate(path, date);
}

bool XpFormatChecker::ReadTsDate(const XpString& path, XpDateTime& date) {
  return XpMpegTransportStream::ReadDate(path, date);
}

bool XpFormatChecker::FindTsPacketSize(const XpString& path, uint64_t& packetSize,
                                       uint64_t& start) {
  return XpMpegTransportStream::FindPacketSize(path, packetSize, start);
}

XpFormatKind XpFormatChecker::DetectTsKind(const XpString& path) {
  return XpMpegTransportStream::DetectKind(path);
}
