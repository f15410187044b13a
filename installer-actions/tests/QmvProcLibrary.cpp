#include "QmvProcLibrary.h"

#include <dlfcn.h>

#include <cstring>

namespace installertest {

namespace {

void* Library() {
  static void* const handle = ::dlopen(KAVO_QMVPROC_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

}  // namespace

QmvAction QmvProcExport(const std::string& name) {
  void* library = Library();
  if (library == nullptr) return nullptr;
  void* symbol = ::dlsym(library, name.c_str());
  QmvAction action = nullptr;
  if (symbol != nullptr) std::memcpy(&action, &symbol, sizeof(action));
  return action;
}

}  // namespace installertest
