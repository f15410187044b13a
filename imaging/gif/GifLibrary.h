#pragma once

#include <gif_lib.h>

// The run-time binding to giflib 5: the module loaded by soname and its
// eight entry points. A binding whose module or any entry point is missing
// is not loaded, and none of its pointers is set. The module is never
// unloaded.
class GifLibrary {
 public:
  static constexpr const char* kDefaultSoname = "libgif.so.7";

  using OpenFn = GifFileType* (*)(void*, InputFunc, int*);
  using CloseFileFn = int (*)(GifFileType*, int*);
  using GetRecordTypeFn = int (*)(GifFileType*, GifRecordType*);
  using GetImageDescFn = int (*)(GifFileType*);
  using GetLineFn = int (*)(GifFileType*, GifPixelType*, int);
  using GetExtensionFn = int (*)(GifFileType*, int*, GifByteType**);
  using GetExtensionNextFn = int (*)(GifFileType*, GifByteType**);
  using FreeMapObjectFn = void (*)(ColorMapObject*);

  // A binding of the module soname, loaded or not.
  static GifLibrary Load(const char* soname);
  // The process-wide binding of kDefaultSoname, made on first use.
  static const GifLibrary& Default();

  bool IsLoaded() const { return loaded_; }

  OpenFn open = nullptr;
  CloseFileFn closeFile = nullptr;
  GetRecordTypeFn getRecordType = nullptr;
  GetImageDescFn getImageDesc = nullptr;
  GetLineFn getLine = nullptr;
  GetExtensionFn getExtension = nullptr;
  GetExtensionNextFn getExtensionNext = nullptr;
  FreeMapObjectFn freeMapObject = nullptr;

 private:
  bool loaded_ = false;
};
