#include "imaging/jpeg/XpJpegMarkerCopy.h"

#include <cstddef>

#include "imaging/jpeg/XpJpegDecompressor.h"

namespace {

constexpr int kAppMarkers = 16;
constexpr int kApp1 = JPEG_APP0 + 1;
// The head LocateTiffBlock looks for; the NUL is not compared.
constexpr char kExifSignature[] = "Exif";
constexpr size_t kExifSignatureSize = sizeof kExifSignature - 1;

bool IsExif(const jpeg_marker_struct& marker) {
  return marker.marker == kApp1 &&
         XpJpegMarkerStartsWith(marker, kExifSignature, kExifSignatureSize);
}

}  // namespace

void XpJpegMarkerCopy::Setup(j_decompress_ptr source) {
  jpeg_save_markers(source, JPEG_COM, kLengthLimit);
  for (int index = 0; index < kAppMarkers; ++index) {
    jpeg_save_markers(source, JPEG_APP0 + index, kLengthLimit);
  }
}

void XpJpegMarkerCopy::Execute(j_decompress_ptr source, j_compress_ptr destination, Mode mode) {
  bool replaced = mode != Mode::kAllButExif;
  for (jpeg_saved_marker_ptr marker = source->marker_list; marker != nullptr;
       marker = marker->next) {
    if (!replaced && IsExif(*marker)) {
      replaced = true;
      continue;
    }
    jpeg_write_marker(destination, marker->marker, marker->data, marker->data_length);
  }
}
