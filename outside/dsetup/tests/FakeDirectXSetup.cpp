// A DirectX set-up library for tests. Each call appends one line with its
// arguments to the file that KAVO_FAKE_DSETUP_LOG names;
// KAVO_FAKE_DSETUP_EULA is the licence answer (6 by default) and
// KAVO_FAKE_DSETUP_RESULT what the set-up returns (0 by default).

#include "FakeDirectXSetupLog.h"
#include "dsetup/DirectXSetup.h"

namespace {

constexpr int32_t kYes = 6;
constexpr uint32_t kProgressReason = 1;
constexpr uint32_t kInformationType = 0;

DirectXSetupCallback gCallback = nullptr;

const char* PointerText(const void* pointer) { return pointer == nullptr ? "null" : "set"; }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t DirectXSetupGetVersion(uint32_t* version, uint32_t* revision) {
  fakedsetup::Record("DirectXSetupGetVersion()");
  if (version != nullptr) *version = 0x00040009;
  if (revision != nullptr) *revision = 0x00000904;
  return 1;
}

__attribute__((visibility("default"))) int32_t DirectXSetupSetCallback(DirectXSetupCallback callback) {
  gCallback = callback;
  fakedsetup::Record(std::string("DirectXSetupSetCallback(") + (callback == nullptr ? "null" : "set") + ")");
  return 0;
}

__attribute__((visibility("default"))) int32_t DirectXSetupShowEULA(void* owner) {
  fakedsetup::Record(std::string("DirectXSetupShowEULA(") + PointerText(owner) + ")");
  return fakedsetup::EnvNumber("KAVO_FAKE_DSETUP_EULA", kYes);
}

__attribute__((visibility("default"))) int32_t DirectXSetupW(void* owner, const char16_t* folder, uint32_t flags) {
  fakedsetup::Record(std::string("DirectXSetupW(") + PointerText(owner) + ", " + fakedsetup::Utf8(folder) + ", " +
                     fakedsetup::Hex(flags) + ")");
  if (gCallback != nullptr) {
    const uint32_t answer = gCallback(kProgressReason, kInformationType, "Installing", "DirectX", nullptr);
    fakedsetup::Record("callback answered " + fakedsetup::Decimal(answer));
  }
  return fakedsetup::EnvNumber("KAVO_FAKE_DSETUP_RESULT", 0);
}

}  // extern "C"
