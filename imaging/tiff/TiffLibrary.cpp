#include "imaging/tiff/TiffLibrary.h"

#include <dlfcn.h>

#include <cstring>
#include <mutex>

#include "platform/process/XpLookUpFunction.h"

namespace {

template <typename Fn>
bool Bind(void* module, const char* name, Fn& entry) {
  entry = XpLookUpFunction<Fn>(module, name);
  return entry != nullptr;
}

}  // namespace

TiffLibrary TiffLibrary::Load(const char* soname) {
  TiffLibrary bound;
  void* module = soname != nullptr ? dlopen(soname, RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (module == nullptr) {
    return TiffLibrary();
  }
  const bool complete =
      Bind(module, "TIFFClose", bound.close) && Bind(module, "TIFFGetField", bound.getField) &&
      Bind(module, "TIFFRGBAImageOK", bound.rgbaImageOK) &&
      Bind(module, "_TIFFmalloc", bound.tiffMalloc) && Bind(module, "_TIFFfree", bound.tiffFree) &&
      Bind(module, "TIFFReadRGBAImageOriented", bound.readRGBAImageOriented) &&
      Bind(module, "TIFFClientOpen", bound.clientOpen) &&
      Bind(module, "TIFFSetErrorHandler", bound.setErrorHandler) &&
      Bind(module, "TIFFSetWarningHandler", bound.setWarningHandler);
  if (!complete) {
    // Nothing may call through a partial binding.
    return TiffLibrary();
  }
  bound.setErrorHandler(nullptr);
  bound.setWarningHandler(nullptr);
  bound.loaded_ = true;
  return bound;
}

const TiffLibrary& TiffLibrary::Default() {
  static std::once_flag once;
  static TiffLibrary library;
  std::call_once(once, [] { library = Load(kDefaultSoname); });
  return library;
}
