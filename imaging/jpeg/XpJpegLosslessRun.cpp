#include "imaging/jpeg/XpJpegLosslessRun.h"

#include "imaging/jpeg/XpJpegCoefficientTransform.h"
#include "imaging/jpeg/XpJpegCompressRun.h"
#include "imaging/jpeg/XpJpegError.h"
#include "imaging/jpeg/XpJpegFileDestination.h"
#include "imaging/jpeg/XpJpegFileSource.h"
#include "imaging/jpeg/XpJpegMarkerCopy.h"

namespace {

constexpr int kApp1 = JPEG_APP0 + 1;

// What lives through a run and is read after a jump: kept in the caller's
// frame, so the function that holds the setjmp changes none of its own
// locals. Both records share one error manager.
struct RunState {
  XpJpegError error;
  jpeg_decompress_struct source;
  jpeg_compress_struct destination;
  XpResult result;
};

void DestroyBoth(RunState& state) {
  jpeg_destroy_compress(&state.destination);
  jpeg_destroy_decompress(&state.source);
}

[[nodiscard]] XpResult Fail(RunState& state, XpResult result) {
  DestroyBoth(state);
  return result;
}

bool HasExif(const XpJpegLosslessRun& run) { return run.exif != nullptr && run.exifSize > 0; }

// Drives the library. A library error, or a failing write, jumps back to
// the setjmp; no object with a destructor lives in this frame or below it.
[[nodiscard]] XpResult Drive(const XpJpegLosslessRun& run, RunState& state,
                             XpJpegCoefficientTransform& transform) {
  state.source.err = XpJpegErrorSetup(state.error);
  state.destination.err = &state.error.manager;
  if (setjmp(state.error.exit) != 0) {
    return Fail(state, state.result != kXpOk ? state.result : kXpErrImageNoTiffBlock);
  }
  jpeg_create_decompress(&state.source);
  jpeg_create_compress(&state.destination);
  state.destination.client_data = &state.result;
  XpJpegFileSourceInstall(&state.source, *run.source);
  XpJpegFileDestinationInstall(&state.destination, *run.destination);
  XpJpegMarkerCopy::Setup(&state.source);
  if (jpeg_read_header(&state.source, TRUE) != JPEG_HEADER_OK) {
    return Fail(state, kXpErrImageNoTiffBlock);
  }
  if (transform.Code() != XpJpegCoefficientTransform::kNone &&
      !XpJpegCoefficientTransform::CoversWholeIMCUs(state.source)) {
    return Fail(state, kXpErrImageNotSupported);
  }
  transform.RequestWorkspace(&state.source);
  jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&state.source);
  if (coefficients == nullptr || state.error.manager.num_warnings != 0) {
    return Fail(state, kXpErrImageNoTiffBlock);
  }
  jpeg_copy_critical_parameters(&state.source, &state.destination);
  state.destination.write_JFIF_header = FALSE;
  state.destination.write_Adobe_marker = FALSE;
  jpeg_write_coefficients(&state.destination,
                          transform.AdjustParameters(&state.destination, coefficients));
  if (HasExif(run)) {
    jpeg_write_marker(&state.destination, kApp1, run.exif, static_cast<unsigned int>(run.exifSize));
  }
  XpJpegMarkerCopy::Execute(&state.source, &state.destination,
                            HasExif(run) ? XpJpegMarkerCopy::Mode::kAllButExif
                                         : XpJpegMarkerCopy::Mode::kAll);
  transform.Execute(&state.source, coefficients);
  jpeg_finish_compress(&state.destination);
  jpeg_finish_decompress(&state.source);
  if (state.error.manager.num_warnings != 0) {
    return Fail(state, kXpErrImageNoTiffBlock);
  }
  DestroyBoth(state);
  return state.result;
}

}  // namespace

XpResult XpJpegLosslessRun::Run() const {
  if (source == nullptr || destination == nullptr ||
      exifSize > XpJpegCompressRun::kMaxMarkerPayload) {
    return kXpErrBadArgument;
  }
  const XpResult seeked = source->Seek(0, kXpSeekBegin);
  if (seeked != kXpOk) {
    return seeked;
  }
  XpJpegCoefficientTransform coefficients(transform);
  RunState state{};
  state.result = kXpOk;
  return Drive(*this, state, coefficients);
}
