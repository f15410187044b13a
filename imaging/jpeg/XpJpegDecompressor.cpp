#include "imaging/jpeg/XpJpegDecompressor.h"

#include <cstring>

#include "imaging/jpeg/XpJpegCheckPrologue.h"
#include "imaging/jpeg/XpJpegFileSource.h"

namespace {

constexpr int32_t kProgressRowStep = 256;
constexpr int32_t kPercent = 100;
constexpr int32_t kBgrComponents = 3;

}  // namespace

XpJpegDecompressor::XpJpegDecompressor() : error_(), info_() {}

XpJpegDecompressor::~XpJpegDecompressor() {
  if (created_) {
    jpeg_destroy_decompress(&info_);
  }
}

XpResult XpJpegDecompressor::Open(XpAbstractFile& file) {
  const int64_t start = file.Tell();
  XpResult result = XpJpegCheckPrologue(file);
  const XpResult back = file.Seek(start, kXpSeekBegin);
  if (XpFailed(result) || XpFailed(back)) {
    return XpFailed(result) ? result : back;
  }
  info_.err = XpJpegErrorSetup(error_);
  if (setjmp(error_.exit) != 0) {
    return kXpErrImageNoTiffBlock;
  }
  // Set first: destroying a record whose creation failed is safe.
  created_ = true;
  jpeg_create_decompress(&info_);
  XpJpegFileSourceInstall(&info_, file);
  return kXpOk;
}

bool XpJpegDecompressor::KeepMarkers(int code) {
  if (setjmp(error_.exit) != 0) {
    return false;
  }
  jpeg_save_markers(&info_, code, kMarkerLimit);
  return true;
}

bool XpJpegDecompressor::ReadHeader() {
  if (setjmp(error_.exit) != 0) {
    return false;
  }
  return jpeg_read_header(&info_, TRUE) == JPEG_HEADER_OK;
}

XpResult XpJpegDecompressor::SetOutput(int32_t denominator) {
  if (setjmp(error_.exit) != 0) {
    return kXpErrImageNoTiffBlock;
  }
  info_.out_color_space = JCS_EXT_BGR;
  info_.dct_method = JDCT_ISLOW;
  if (denominator >= 2) {
    info_.scale_num = 1;
    info_.scale_denom = static_cast<unsigned int>(denominator);
    info_.do_fancy_upsampling = FALSE;
    info_.do_block_smoothing = FALSE;
    info_.quantize_colors = FALSE;
    info_.two_pass_quantize = FALSE;
    info_.dither_mode = JDITHER_NONE;
  }
  jpeg_calc_output_dimensions(&info_);
  return info_.output_components == kBgrComponents ? kXpOk : kXpErrImageMalformed;
}

XpResult XpJpegDecompressor::Decode(XpPixmapBase& pixmap, IXpImageProgress* observer) {
  if (setjmp(error_.exit) != 0) {
    return kXpErrImageNoTiffBlock;
  }
  return DecodeRows(pixmap, observer);
}

XpResult XpJpegDecompressor::DecodeRows(XpPixmapBase& pixmap, IXpImageProgress* observer) {
  jpeg_start_decompress(&info_);
  const XpPlaneBase* plane = pixmap.GetPlane(0);
  const auto height = static_cast<int32_t>(info_.output_height);
  for (int32_t row = 0; info_.output_scanline < info_.output_height && row < pixmap.height; ++row) {
    JSAMPROW line = plane->Row(row);
    if (jpeg_read_scanlines(&info_, &line, 1) == 0) {
      break;
    }
    if (observer != nullptr && row % kProgressRowStep == 0 &&
        observer->OnProgress(static_cast<int32_t>(int64_t{row} * kPercent / height)) != 0) {
      return kXpErrImageStopped;
    }
  }
  if (observer != nullptr && observer->OnProgress(kPercent) != 0) {
    return kXpErrImageStopped;
  }
  jpeg_finish_decompress(&info_);
  return kXpOk;
}

bool XpJpegDecompressor::HasMultipleScans() {
  if (setjmp(error_.exit) != 0) {
    return false;
  }
  return jpeg_has_multiple_scans(&info_) != FALSE;
}

bool XpJpegDecompressor::StartRows() {
  if (setjmp(error_.exit) != 0) {
    return false;
  }
  return jpeg_start_decompress(&info_) != FALSE;
}

bool XpJpegDecompressor::ReadRow(uint8_t* row) {
  if (setjmp(error_.exit) != 0) {
    return false;
  }
  JSAMPROW line = row;
  return jpeg_read_scanlines(&info_, &line, 1) == 1;
}

bool XpJpegDecompressor::FinishRows() {
  if (setjmp(error_.exit) != 0) {
    return false;
  }
  return jpeg_finish_decompress(&info_) != FALSE;
}

const jpeg_marker_struct* XpJpegDecompressor::FindMarker(int code, const char* signature,
                                                         size_t size) const {
  for (const jpeg_marker_struct* marker = info_.marker_list; marker != nullptr;
       marker = marker->next) {
    if (marker->marker == code && XpJpegMarkerStartsWith(*marker, signature, size)) {
      return marker;
    }
  }
  return nullptr;
}

bool XpJpegMarkerStartsWith(const jpeg_marker_struct& marker, const char* signature, size_t size) {
  return marker.data_length >= size && std::memcmp(marker.data, signature, size) == 0;
}
