#pragma once

#include <tiffio.h>

// The run-time binding to libtiff 4: the module loaded by soname and its
// entry points. A binding whose module or any entry point is missing is not
// loaded, and none of its pointers is set. When a binding is made, the
// library's error and warning handlers are set to none, so damaged files
// print nothing. The module is never unloaded.
class TiffLibrary {
 public:
  static constexpr const char* kDefaultSoname = "libtiff.so.6";

  using CloseFn = void (*)(TIFF*);
  using GetFieldFn = int (*)(TIFF*, uint32_t, ...);
  using RGBAImageOKFn = int (*)(TIFF*, char*);
  using MallocFn = void* (*)(tmsize_t);
  using FreeFn = void (*)(void*);
  using ReadRGBAImageOrientedFn = int (*)(TIFF*, uint32_t, uint32_t, uint32_t*, int, int);
  using ClientOpenFn = TIFF* (*)(const char*, const char*, thandle_t, TIFFReadWriteProc,
                                 TIFFReadWriteProc, TIFFSeekProc, TIFFCloseProc, TIFFSizeProc,
                                 TIFFMapFileProc, TIFFUnmapFileProc);
  using SetHandlerFn = TIFFErrorHandler (*)(TIFFErrorHandler);

  // A binding of the module soname, loaded or not.
  static TiffLibrary Load(const char* soname);
  // The process-wide binding of kDefaultSoname, made on first use.
  static const TiffLibrary& Default();

  bool IsLoaded() const { return loaded_; }

  CloseFn close = nullptr;
  GetFieldFn getField = nullptr;
  RGBAImageOKFn rgbaImageOK = nullptr;
  MallocFn tiffMalloc = nullptr;
  FreeFn tiffFree = nullptr;
  ReadRGBAImageOrientedFn readRGBAImageOriented = nullptr;
  ClientOpenFn clientOpen = nullptr;
  SetHandlerFn setErrorHandler = nullptr;
  SetHandlerFn setWarningHandler = nullptr;

 private:
  bool loaded_ = false;
};
