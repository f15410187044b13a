#include "imaging/gif/GifLibrary.h"

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

GifLibrary GifLibrary::Load(const char* soname) {
  GifLibrary bound;
  void* module = soname != nullptr ? dlopen(soname, RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (module == nullptr) {
    return GifLibrary();
  }
  const bool complete = Bind(module, "DGifOpen", bound.open) &&
                        Bind(module, "DGifCloseFile", bound.closeFile) &&
                        Bind(module, "DGifGetRecordType", bound.getRecordType) &&
                        Bind(module, "DGifGetImageDesc", bound.getImageDesc) &&
                        Bind(module, "DGifGetLine", bound.getLine) &&
                        Bind(module, "DGifGetExtension", bound.getExtension) &&
                        Bind(module, "DGifGetExtensionNext", bound.getExtensionNext) &&
                        Bind(module, "GifFreeMapObject", bound.freeMapObject);
  if (!complete) {
    // Nothing may call through a partial binding.
    return GifLibrary();
  }
  bound.loaded_ = true;
  return bound;
}

const GifLibrary& GifLibrary::Default() {
  static std::once_flag once;
  static GifLibrary library;
  std::call_once(once, [] { library = Load(kDefaultSoname); });
  return library;
}
