#include "imaging/gif/XpImageIoGIF.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "imaging/geometry/XpFitSize.h"
#include "imaging/gif/GifLibrary.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/pixmap/XpReaderPixelLimit.h"
#include "imaging/resample/XpPixmapResize.h"
#include "platform/fs/XpFile.h"

namespace {

constexpr int32_t kNoTransparency = -1;
constexpr int32_t kFirstImage = 0;
constexpr int32_t kBytesPerPixel = 3;
constexpr int kGraphicControlCode = 0xF9;
// Length byte, flags, delay (2 bytes), transparent index.
constexpr int kGraphicControlMinLength = 4;
constexpr GifByteType kTransparencyFlag = 0x01;

// The four interlace passes: first row and step.
constexpr int32_t kPassCount = 4;
constexpr int32_t kPassStart[kPassCount] = {0, 4, 2, 1};
constexpr int32_t kPassStep[kPassCount] = {8, 8, 4, 2};

// giflib's input function over the XpAbstractFile held as user data: the
// count read, also the partial count at the end of the file; 0 on error.
int ReadFromFile(GifFileType* gif, GifByteType* bytes, int count) {
  if (count <= 0) {
    return 0;
  }
  auto* file = static_cast<XpAbstractFile*>(gif->UserData);
  uint64_t done = 0;
  const XpResult result = file->Read(bytes, static_cast<uint64_t>(count), &done);
  if (result != kXpOk && result != kXpErrEndOfFile) {
    return 0;
  }
  return static_cast<int>(done);
}

// The pixmap row of the line-th line of an image of height rows.
int32_t RowOfLine(int32_t line, int32_t height, bool interlaced) {
  if (!interlaced) {
    return line;
  }
  int32_t remaining = line;
  for (int32_t pass = 0; pass < kPassCount; ++pass) {
    const int32_t start = kPassStart[pass];
    const int32_t step = kPassStep[pass];
    const int32_t rows = start < height ? (height - start + step - 1) / step : 0;
    if (remaining < rows) {
      return start + remaining * step;
    }
    remaining -= rows;
  }
  return line;
}

void PutColour(uint8_t* pixel, const GifColorType& colour) {
  pixel[0] = colour.Blue;
  pixel[1] = colour.Green;
  pixel[2] = colour.Red;
}

void FillBackground(XpPixmapBase& pixmap, const GifFileType& gif) {
  GifColorType background{0, 0, 0};
  const ColorMapObject* map = gif.SColorMap;
  if (map != nullptr && map->Colors != nullptr && gif.SBackGroundColor >= 0 &&
      gif.SBackGroundColor < map->ColorCount) {
    background = map->Colors[gif.SBackGroundColor];
  }
  XpPlaneBase* plane = pixmap.GetPlane(0);
  for (int32_t y = 0; y < pixmap.height; ++y) {
    uint8_t* row = plane->Row(y);
    for (int32_t x = 0; x < pixmap.width; ++x) {
      PutColour(row + static_cast<size_t>(x) * kBytesPerPixel, background);
    }
  }
}

// Draws one line at (left, y), clipped to the pixmap; transparent pixels
// and indexes beyond the map are left as they are.
void DrawLine(XpPixmapBase& pixmap, int32_t left, int32_t y, const GifPixelType* line,
              int32_t width, const ColorMapObject* map, int32_t transparent) {
  if (y < 0 || y >= pixmap.height || map == nullptr || map->Colors == nullptr) {
    return;
  }
  uint8_t* row = pixmap.GetPlane(0)->Row(y);
  for (int32_t i = 0; i < width; ++i) {
    const int32_t x = left + i;
    if (x < 0) {
      continue;
    }
    if (x >= pixmap.width) {
      return;
    }
    const int32_t index = line[i];
    if (index == transparent || index >= map->ColorCount) {
      continue;
    }
    PutColour(row + static_cast<size_t>(x) * kBytesPerPixel, map->Colors[index]);
  }
}

// Whether the logical screen is a picture the reader decodes at all.
bool ScreenFitsPixelLimit(const GifFileType& gif) {
  const uint64_t pixels = static_cast<uint64_t>(gif.SWidth) * static_cast<uint64_t>(gif.SHeight);
  return pixels <= kXpMaxReaderPixels;
}

}  // namespace

XpImageIoGIF::XpImageIoGIF() : library_(&GifLibrary::Default()) {}

XpImageIoGIF::XpImageIoGIF(const GifLibrary* library) : library_(library) {}

XpImageIoGIF::~XpImageIoGIF() = default;

XpPixmapBase* XpImageIoGIF::ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t /*scale*/,
                                       IXpImageProgress* observer, bool convertToSRGB,
                                       bool applyOrientation) {
  return ReadPixmapScaled(file, offset, XpSize(), observer, convertToSRGB, applyOrientation);
}

XpPixmapBase* XpImageIoGIF::ReadPixmapScaled(XpAbstractFile& file, int64_t offset,
                                             const XpSize& size, IXpImageProgress* /*observer*/,
                                             bool /*convertToSRGB*/, bool /*applyOrientation*/) {
  XpFormatKind kind = kXpKindUnknown;
  XpPixmapBase* pixmap = DecodeGif(file, offset, false, kind, kFirstImage);
  if (pixmap == nullptr || size.cx == 0 || size.cy == 0) {
    return pixmap;
  }
  int32_t width = 0;
  int32_t height = 0;
  XpFitSizeInside(pixmap->width, pixmap->height, size.cx, size.cy, width, height);
  if (XpFailed(SetLastError(XpPixmapResize(*pixmap, width, height)))) {
    delete pixmap;
    return nullptr;
  }
  return pixmap;
}

XpPixmapBase* XpImageIoGIF::ReadOrientedPixmap(XpAbstractFile& /*file*/, int64_t /*offset*/) {
  SetLastError(kXpErrImageNotSupported);
  return nullptr;
}

XpResult XpImageIoGIF::ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                     bool /*keepStoredOrientation*/) {
  GifFileType* gif = OpenGif(file, offset);
  if (gif == nullptr) {
    return GetLastError();
  }
  if (size != nullptr) {
    *size = XpSize(gif->SWidth, gif->SHeight);
  }
  CloseGif(gif);
  return SetLastError(kXpOk);
}

XpFormatKind XpImageIoGIF::GetKindOfPath(const XpString& path) {
  XpFile file;
  if (XpFailed(SetLastError(file.OpenPath(path, kXpOpenRead)))) {
    return kXpKindUnknown;
  }
  XpFormatKind kind = kXpKindUnknown;
  DecodeGif(file, 0, true, kind, kFirstImage);
  return kind;
}

GifFileType* XpImageIoGIF::OpenGif(XpAbstractFile& file, int64_t offset) {
  if (library_ == nullptr || !library_->IsLoaded()) {
    SetLastError(kXpErrImaging);
    return nullptr;
  }
  if (XpFailed(SetLastError(file.Seek(offset, kXpSeekBegin)))) {
    return nullptr;
  }
  int error = 0;
  GifFileType* gif = library_->open(&file, ReadFromFile, &error);
  if (gif == nullptr) {
    SetLastError(kXpErrImageNoTiffBlock);
  }
  return gif;
}

void XpImageIoGIF::CloseGif(GifFileType* gif) const {
  int error = 0;
  library_->closeFile(gif, &error);
}

XpPixmapBase* XpImageIoGIF::DecodeGif(XpAbstractFile& file, int64_t offset, bool headerOnly,
                                      XpFormatKind& kind, int32_t imageIndex) {
  kind = kXpKindUnknown;
  GifFileType* gif = OpenGif(file, offset);
  if (gif == nullptr) {
    return nullptr;
  }
  kind = kXpKindGif;
  std::unique_ptr<XpPixmapBase> pixmap;
  if (!headerOnly) {
    if (!ScreenFitsPixelLimit(*gif)) {
      SetLastError(kXpErrOutOfMemory);
      CloseGif(gif);
      return nullptr;
    }
    pixmap.reset(new (std::nothrow) XpPixmapBGR24NoHandle());
    if (pixmap == nullptr) {
      SetLastError(kXpErrOutOfMemory);
      CloseGif(gif);
      return nullptr;
    }
    if (XpFailed(SetLastError(pixmap->Allocate(gif->SWidth, gif->SHeight)))) {
      CloseGif(gif);
      return nullptr;
    }
    FillBackground(*pixmap, *gif);
  }
  ReadRecords(gif, pixmap.get(), kind, imageIndex);
  CloseGif(gif);
  SetLastError(kXpOk);
  return pixmap.release();
}

void XpImageIoGIF::ReadRecords(GifFileType* gif, XpPixmapBase* pixmap, XpFormatKind& kind,
                               int32_t imageIndex) const {
  int32_t transparent = kNoTransparency;
  int32_t imagesRead = 0;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (library_->getRecordType(gif, &type) == GIF_ERROR) {
      return;
    }
    switch (type) {
      case EXTENSION_RECORD_TYPE:
        if (!ReadExtension(gif, kind, transparent)) {
          return;
        }
        break;
      case IMAGE_DESC_RECORD_TYPE: {
        if (imagesRead > imageIndex) {
          return;
        }
        // giflib frees the previous image's local map itself.
        if (library_->getImageDesc(gif) == GIF_OK) {
          if (!ReadLines(gif, pixmap, transparent)) {
            return;
          }
          ++imagesRead;
        }
        transparent = kNoTransparency;
        break;
      }
      case TERMINATE_RECORD_TYPE:
        return;
      default:
        break;
    }
  }
}

bool XpImageIoGIF::ReadExtension(GifFileType* gif, XpFormatKind& kind,
                                 int32_t& transparent) const {
  int code = 0;
  GifByteType* block = nullptr;
  if (library_->getExtension(gif, &code, &block) == GIF_ERROR) {
    return true;
  }
  while (block != nullptr) {
    if (code == kGraphicControlCode && block[0] >= kGraphicControlMinLength) {
      const int delay = block[2] | (block[3] << 8);
      if (delay != 0) {
        kind = kXpKindAnimatedGif;
      }
      if ((block[1] & kTransparencyFlag) != 0) {
        transparent = block[4];
      }
    }
    if (library_->getExtensionNext(gif, &block) == GIF_ERROR) {
      return false;
    }
  }
  return true;
}

bool XpImageIoGIF::ReadLines(GifFileType* gif, XpPixmapBase* pixmap, int32_t transparent) const {
  const GifImageDesc& image = gif->Image;
  if (image.Width <= 0 || image.Height <= 0) {
    return true;
  }
  std::unique_ptr<GifPixelType[]> line(new (std::nothrow) GifPixelType[image.Width]);
  if (line == nullptr) {
    return true;
  }
  const ColorMapObject* map = image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap;
  for (int32_t r = 0; r < image.Height; ++r) {
    if (library_->getLine(gif, line.get(), image.Width) == GIF_ERROR) {
      return false;
    }
    if (pixmap != nullptr) {
      const int32_t y = image.Top + RowOfLine(r, image.Height, image.Interlace);
      DrawLine(*pixmap, image.Left, y, line.get(), image.Width, map, transparent);
    }
  }
  return true;
}
