#pragma once

#include <csetjmp>

#include "imaging/jpeg/XpJpegLib.h"

// The libjpeg error manager of this system. A library error jumps back to
// the setjmp on exit in the one function that drives a libjpeg run; nothing
// is ever printed. The manager comes first, so the library's err pointer
// is the address of the whole record.
struct XpJpegError {
  jpeg_error_mgr manager;
  std::jmp_buf exit;
};

// Fills error.manager from jpeg_std_error with XpJpegErrorExit and a silent
// emit_message and output_message (warnings of a corrupt stream are only
// counted); returns it for the err field of a run's record.
jpeg_error_mgr* XpJpegErrorSetup(XpJpegError& error);

// error_exit: longjmp to the run's exit.
[[noreturn]] void XpJpegErrorExit(j_common_ptr info);
