#include "imaging/jpeg/XpJpegError.h"

namespace {

void SilentOutputMessage(j_common_ptr /*info*/) {}

// Counts warnings as the library's own handler does, and prints nothing.
void SilentEmitMessage(j_common_ptr info, int level) {
  if (level < 0) {
    ++info->err->num_warnings;
  }
}

}  // namespace

jpeg_error_mgr* XpJpegErrorSetup(XpJpegError& error) {
  jpeg_std_error(&error.manager);
  error.manager.error_exit = XpJpegErrorExit;
  error.manager.output_message = SilentOutputMessage;
  error.manager.emit_message = SilentEmitMessage;
  return &error.manager;
}

void XpJpegErrorExit(j_common_ptr info) {
  auto* error = reinterpret_cast<XpJpegError*>(info->err);
  std::longjmp(error->exit, 1);
}
