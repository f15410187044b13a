#include "imaging/io/XpImageIoFactory.h"

#include <new>

#include "imaging/format/XpFormatChecker.h"
#include "imaging/gif/XpImageIoGIF.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/movie/XpImageIoMovie.h"
#include "imaging/raw/XpImageIoZKP.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tiff/XpImageIoTiff.h"

namespace {

constexpr XpFormatKind kSubFamilyMask = 0xFF00;
constexpr XpFormatKind kJpegSubFamily = 0x0100;

bool IsBetween(XpFormatKind kind, XpFormatKind first, XpFormatKind last) {
  return kind >= first && kind <= last;
}

}  // namespace

XpImageIoFamily XpImageIoFamilyForKind(XpFormatKind kind) {
  if ((kind & kSubFamilyMask) == kJpegSubFamily) {
    return XpImageIoFamily::kJpeg;
  }
  if (XpIsMovieKind(kind)) {
    return XpImageIoFamily::kMovie;
  }
  if (kind == kXpKindTiff) {
    return XpImageIoFamily::kTiff;
  }
  if (IsBetween(kind, kXpKindZkp, kXpKindZk2) ||
      IsBetween(kind, kXpKindZkwByName, kXpKindZkwOther)) {
    return XpImageIoFamily::kZkp;
  }
  if (kind == kXpKindGif) {
    return XpImageIoFamily::kGif;
  }
  return XpImageIoFamily::kNone;
}

XpSharedPtr<XpImageIo> XpImageIo::CreateForKind(XpFormatKind kind) {
  switch (XpImageIoFamilyForKind(kind)) {
    case XpImageIoFamily::kJpeg:
      return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoJpeg());
    case XpImageIoFamily::kMovie:
      return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoMovie(XpString(), false));
    case XpImageIoFamily::kTiff:
      return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoTiff());
    case XpImageIoFamily::kGif:
      return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoGIF());
    case XpImageIoFamily::kZkp:
      return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoZKP(kind));
    default:
      // No reader for the other kinds. MRW files have XpImageIoMRW, which its
      // callers create directly (the format checker, for a shooting date).
      return XpSharedPtr<XpImageIo>();
  }
}

XpSharedPtr<XpImageIo> XpImageIo::CreateForPath(const XpString& path) {
  return CreateForKind(XpFormatChecker::KindFromExtension(path));
}

XpSharedPtr<XpTiffTagManager> XpImageIoReadTagsForPath(const XpString& path) {
  XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForPath(path);
  if (!reader) {
    return XpSharedPtr<XpTiffTagManager>();
  }
  return reader->ReadTagsFromPath(path);
}
