#include "imaging/jpeg/XpJpegMarkerCopy.h"

namespace {

constexpr int kAppMarkers = 16;
constexpr int kApp1 = JPEG_APP0 + 1;

}  // namespace

void XpJpegMarkerCopy::Setup(j_decompress_ptr source, Mode mode) {
  jpeg_save_markers(source, JPEG_COM, kLengthLimit);
  for (int index = 0; index < kAppMarkers; ++index) {
    const int code = JPEG_APP0 + index;
    if (mode == Mode::kAllButApp1 && code == kApp1) {
      continue;
    }
    jpeg_save_markers(source, code, kLengthLimit);
  }
}

void XpJpegMarkerCopy::Execute(j_decompress_ptr source, j_compress_ptr destination) {
  for (jpeg_saved_marker_ptr marker = source->marker_list; marker != nullptr;
       marker = marker->next) {
    jpeg_write_marker(destination, marker->marker, marker->data, marker->data_length);
  }
}
