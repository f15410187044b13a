#include <cinttypes>
#include <cstdio>
#include <new>
#include <string>

#include "imaging/format/XpFormatChecker.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/raw/XpImageIoMRW.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tools/XpImageCommands.h"
#include "platform/fs/XpFileOpSupport.h"

namespace {

void PrintText(const char* label, const XpTiffTagIFD* ifd, uint16_t tag) {
  const std::string text = ifd != nullptr ? std::string(ifd->GetAsciiA(tag).View()) : "";
  std::printf("%-18s %s\n", label, text.empty() ? "-" : text.c_str());
}

void PrintSize(XpImageIo& io, const XpString& path, bool stored) {
  XpSize size;
  const XpResult result =
      stored ? io.ReadImageSizeFlag1FromPath(path, &size) : io.ReadImageSizeFlag0FromPath(path, &size);
  if (result != kXpOk) {
    std::printf("%-18s - (0x%04X)\n", stored ? "size (stored)" : "size (upright)",
                static_cast<unsigned>(result));
    return;
  }
  std::printf("%-18s %d x %d\n", stored ? "size (stored)" : "size (upright)", size.cx, size.cy);
}

}  // namespace

// info PATH: the format kind, the size upright and as stored, and the main
// Exif facts of a picture.
int XpImageInfoCommand(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) {
    std::fprintf(stderr, "usage: xpimage info PATH\n");
    return 2;
  }
  const XpString path = XpImageToolPath(arguments[0]);
  if (!XpFsEntryExists(path)) {
    return XpImageToolFailure("info", kXpErrFileNotFound);
  }
  const XpFormatKind kind = XpFormatChecker::DetectFormatKind(path);
  std::printf("%-18s 0x%08X\n", "kind", static_cast<unsigned>(kind));
  // An animated GIF's kind reads as a movie kind to the factory.
  XpSharedPtr<XpImageIo> io =
      XpImageIo::CreateForKind(kind == kXpKindAnimatedGif ? kXpKindGif : kind);
  if (!io) {
    io = XpImageIo::CreateForPath(path);
  }
  // MRW files have no reader in the factory; the checker dates them with
  // the MRW reader.
  if (!io && kind == kXpKindMrw) {
    io = XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoMRW());
  }
  if (!io) {
    std::fprintf(stderr, "xpimage: no reader for this kind\n");
    return 1;
  }
  PrintSize(*io, path, false);
  PrintSize(*io, path, true);
  const XpSharedPtr<XpTiffTagManager> tags = io->ReadTagsFromPath(path);
  const XpTiffTagIFD* ifd0 = tags ? tags->GetIFD(0) : nullptr;
  const XpTiffTagIFD* exif = tags ? tags->GetExifIFD() : nullptr;
  if (ifd0 != nullptr && ifd0->HasTag(kTagOrientation)) {
    std::printf("%-18s %u\n", "Orientation", static_cast<unsigned>(ifd0->GetShort(kTagOrientation)));
  } else {
    std::printf("%-18s -\n", "Orientation");
  }
  PrintText("Make", ifd0, kTagMake);
  PrintText("Model", ifd0, kTagModel);
  PrintText("DateTimeOriginal", exif, kTagDateTimeOriginal);
  uint64_t first = 0;
  uint64_t second = 0;
  if (tags && tags->GetImageUniqueID(first, second) == kXpOk) {
    std::printf("%-18s %016" PRIx64 "%016" PRIx64 "\n", "ImageUniqueID", first, second);
  } else {
    std::printf("%-18s -\n", "ImageUniqueID");
  }
  return 0;
}
