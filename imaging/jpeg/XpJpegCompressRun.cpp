#include "imaging/jpeg/XpJpegCompressRun.h"

#include <algorithm>
#include <cstdlib>

#include "imaging/jpeg/XpJpegError.h"
#include "imaging/jpeg/XpJpegFileDestination.h"

namespace {

constexpr int32_t kInputComponents = 3;
constexpr int32_t kLumaHorizontalSampling = 2;
constexpr int32_t kProgressStep = 5;
constexpr int32_t kPercent = 100;
constexpr int kApp1 = JPEG_APP0 + 1;
constexpr int kApp2 = JPEG_APP0 + 2;
constexpr char kIccSignature[] = "ICC_PROFILE";

// What lives through a run and is read after a jump: kept in the caller's
// frame, so the function that holds the setjmp changes none of its own
// locals.
struct RunState {
  XpJpegError error;
  jpeg_compress_struct info;
  XpResult result;
};

void Configure(const XpJpegCompressRun& run, jpeg_compress_struct& info) {
  info.image_width = static_cast<JDIMENSION>(run.width);
  info.image_height = static_cast<JDIMENSION>(run.height);
  info.input_components = kInputComponents;
  info.in_color_space = run.colourSpace;
  jpeg_set_defaults(&info);
  info.write_JFIF_header = FALSE;
  info.write_Adobe_marker = FALSE;
  jpeg_set_quality(&info, run.quality, TRUE);
  info.dct_method = JDCT_ISLOW;
  if (!run.sample422) {
    return;
  }
  info.comp_info[0].h_samp_factor = kLumaHorizontalSampling;
  info.comp_info[0].v_samp_factor = 1;
  for (int component = 1; component < kInputComponents; ++component) {
    info.comp_info[component].h_samp_factor = 1;
    info.comp_info[component].v_samp_factor = 1;
  }
}

void WriteIccSegments(const XpJpegCompressRun& run, jpeg_compress_struct& info) {
  const size_t segments = (run.iccSize + XpJpegCompressRun::kIccChunkSize - 1) /
                          XpJpegCompressRun::kIccChunkSize;
  JOCTET segment[XpJpegCompressRun::kMaxMarkerPayload];
  std::copy(kIccSignature, kIccSignature + sizeof kIccSignature, segment);
  segment[sizeof kIccSignature + 1] = static_cast<JOCTET>(segments);
  for (size_t index = 0; index < segments; ++index) {
    const size_t offset = index * XpJpegCompressRun::kIccChunkSize;
    const size_t chunk = std::min(run.iccSize - offset, XpJpegCompressRun::kIccChunkSize);
    segment[sizeof kIccSignature] = static_cast<JOCTET>(index + 1);
    std::copy(run.icc + offset, run.icc + offset + chunk,
              segment + XpJpegCompressRun::kIccHeaderSize);
    jpeg_write_marker(&info, kApp2, segment,
                      static_cast<unsigned int>(XpJpegCompressRun::kIccHeaderSize + chunk));
  }
}

void WriteMarkers(const XpJpegCompressRun& run, jpeg_compress_struct& info) {
  if (run.exif != nullptr && run.exifSize <= XpJpegCompressRun::kMaxMarkerPayload) {
    jpeg_write_marker(&info, kApp1, run.exif, static_cast<unsigned int>(run.exifSize));
  }
  if (run.icc != nullptr && run.iccSize > 0) {
    WriteIccSegments(run, info);
  }
}

// Feeds the rows: kXpOk, kXpErrImageStopped when the observer asked to
// stop, kXpErrImageNoTiffBlock when the rows' source failed.
[[nodiscard]] XpResult WriteRows(const XpJpegCompressRun& run, jpeg_compress_struct& info) {
  int32_t lastReported = 0;
  for (int32_t y = 0; y < run.height; ++y) {
    auto* row = const_cast<JSAMPLE*>(run.rows(run.rowContext, y));
    if (row == nullptr) {
      return kXpErrImageNoTiffBlock;
    }
    if (jpeg_write_scanlines(&info, &row, 1) == 0) {
      return kXpOk;
    }
    if (run.observer == nullptr) {
      continue;
    }
    const auto percent = static_cast<int32_t>(int64_t{y} * kPercent / run.height);
    if (std::abs(percent - lastReported) < kProgressStep) {
      continue;
    }
    if (run.observer->OnProgress(percent) != 0) {
      return kXpErrImageStopped;
    }
    lastReported = percent;
  }
  return kXpOk;
}

// Drives the library. A library error, or a failing write, jumps back to
// the setjmp; no object with a destructor lives in this frame or below it.
[[nodiscard]] XpResult Drive(const XpJpegCompressRun& run, RunState& state) {
  state.info.err = XpJpegErrorSetup(state.error);
  if (setjmp(state.error.exit) != 0) {
    jpeg_destroy_compress(&state.info);
    return state.result != kXpOk ? state.result : kXpErrImaging;
  }
  jpeg_create_compress(&state.info);
  state.info.client_data = &state.result;
  XpJpegFileDestinationInstall(&state.info, *run.file);
  Configure(run, state.info);
  jpeg_start_compress(&state.info, TRUE);
  WriteMarkers(run, state.info);
  const XpResult written = WriteRows(run, state.info);
  if (written != kXpOk) {
    jpeg_destroy_compress(&state.info);
    return written;
  }
  jpeg_finish_compress(&state.info);
  jpeg_destroy_compress(&state.info);
  return state.result;
}

}  // namespace

XpResult XpJpegCompressRun::Run() const {
  if (file == nullptr || rows == nullptr || iccSize > kMaxIccSize) {
    return kXpErrBadArgument;
  }
  RunState state{};
  state.result = kXpOk;
  const XpResult result = Drive(*this, state);
  if (result != kXpOk) {
    return result;
  }
  return file->Flush();
}
