#pragma once

#include <dlfcn.h>

#include <cstring>

// The function a loaded module exports under name; null when the module is
// null or has no such symbol. dlsym hands functions out as object pointers,
// whose bits are those of the function pointer.
template <typename Function>
Function XpLookUpFunction(void* module, const char* name) {
  Function function = nullptr;
  if (module == nullptr) {
    return function;
  }
  void* address = ::dlsym(module, name);
  static_assert(sizeof(function) == sizeof(address));
  std::memcpy(&function, &address, sizeof(function));
  return function;
}
