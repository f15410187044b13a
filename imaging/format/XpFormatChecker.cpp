#include "imaging/format/XpFormatChecker.h"

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

}  // namespace

XpFormatKind XpFormatChecker::KindFromExtension(const XpString& path) {
  if (path.IsEmpty() || XpDirectoryExists(path)) {
    return kXpKindDirectory;
  }
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
