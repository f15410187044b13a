#include "installer-actions/qmvproc/DirectXSetupLibrary.h"

#include <dlfcn.h>

#include <cstring>

#include "platform/process/XpLookUpFunction.h"

namespace {

constexpr const char16_t* kSetupName = u"dsetup.so";
constexpr const char16_t* kSetup32Name = u"dsetup32.so";
// Units a library path may take, with its terminator.
constexpr int32_t kPathCapacity = 260;

void* LoadFrom(const XpString& folder, const char16_t* name) {
  XpString path;
  if (XpFailed(path.Format(u"%s/%s", folder, name)) || path.GetLength() >= kPathCapacity) return nullptr;
  return ::dlopen(path.ToMultiByte().CStr(), RTLD_NOW | RTLD_LOCAL);
}

template <typename Function>
bool Resolve(void* library, const char* name, Function* function) {
  *function = XpLookUpFunction<Function>(library, name);
  return *function != nullptr;
}

}  // namespace

bool DirectXSetupLibrary::Load(const XpString& folder) {
  Free();
  setupLibrary_ = LoadFrom(folder, kSetupName);
  const bool resolved = setupLibrary_ != nullptr && Resolve(setupLibrary_, "DirectXSetupGetVersion", &getVersion) &&
                        Resolve(setupLibrary_, "DirectXSetupSetCallback", &setCallback) &&
                        Resolve(setupLibrary_, "DirectXSetupShowEULA", &showEula) &&
                        Resolve(setupLibrary_, "DirectXSetupW", &setup) &&
                        Resolve(setupLibrary_, "DirectXSetupGetEULAW", &getEulaText);
  if (resolved) setup32Library_ = LoadFrom(folder, kSetup32Name);
  if (!resolved || setup32Library_ == nullptr) {
    Free();
    return false;
  }
  return true;
}

void DirectXSetupLibrary::Free() {
  getVersion = nullptr;
  setCallback = nullptr;
  showEula = nullptr;
  setup = nullptr;
  getEulaText = nullptr;
  if (setup32Library_ != nullptr) (void)::dlclose(setup32Library_);
  if (setupLibrary_ != nullptr) (void)::dlclose(setupLibrary_);
  setup32Library_ = nullptr;
  setupLibrary_ = nullptr;
}
