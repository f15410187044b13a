#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "imaging/geometry/XpRect.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/raw/XpImageIoMRW.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tools/XpImageCommands.h"

namespace {

constexpr int32_t kFullSize = 1;
// Decoded pictures are written at a quality that keeps what was decoded.
constexpr int32_t kDecodeQuality = 90;

}  // namespace

// decode SRC DST.jpg [--oriented]: the picture read by the reader for its
// name, turned upright by its orientation when asked, written as a JPEG.
int XpImageDecodeCommand(const std::vector<std::string>& arguments) {
  const bool oriented = arguments.size() == 3 && arguments[2] == "--oriented";
  if (arguments.size() != 2 && !oriented) {
    std::fprintf(stderr, "usage: xpimage decode SRC DST.jpg [--oriented]\n");
    return 2;
  }
  const XpString source = XpImageToolPath(arguments[0]);
  XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForPath(source);
  // MRW files have no reader in the factory; the checker reads them with
  // the MRW reader.
  if (!reader && XpFormatChecker::KindFromExtension(source) == kXpKindMrw) {
    reader = XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoMRW());
  }
  if (!reader) {
    std::fprintf(stderr, "xpimage: no reader for this kind\n");
    return 1;
  }
  std::unique_ptr<XpPixmapBase> pixmap(
      reader->ReadPixmapFromPath(source, kFullSize, nullptr, false, oriented));
  if (pixmap == nullptr) {
    return XpImageToolFailure("decode", reader->GetLastError());
  }
  XpImageIoJpeg writer(kDecodeQuality, u"xpimage");
  const XpResult written =
      writer.WriteToPath(pixmap.get(), XpSharedPtr<XpTiffTagManager>(),
                         XpImageToolPath(arguments[1]), nullptr, XpRect(), false, oriented);
  if (written != kXpOk) {
    return XpImageToolFailure("decode", written);
  }
  std::printf("%-18s %d x %d\n", "decoded", pixmap->width, pixmap->height);
  return 0;
}
