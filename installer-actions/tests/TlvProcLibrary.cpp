#include "TlvProcLibrary.h"

#include <dlfcn.h>

#include <cstring>

namespace installertest {

namespace {

void* Library() {
  static void* const handle = ::dlopen(KAVO_TLVPROC_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

}  // namespace

TlvAction TlvProcExport(const std::string& name) {
  void* library = Library();
  if (library == nullptr) return nullptr;
  void* symbol = ::dlsym(library, name.c_str());
  TlvAction action = nullptr;
  if (symbol != nullptr) std::memcpy(&action, &symbol, sizeof(action));
  return action;
}

}  // namespace installertest
