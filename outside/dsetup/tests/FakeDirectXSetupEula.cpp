// The licence text entry of the fake DirectX set-up library: a short
// Cyrillic text, copied without a terminator when the buffer holds just the
// text. KAVO_FAKE_DSETUP_EULA_UNITS, when set, is the length it reports.

#include <algorithm>
#include <string_view>

#include "FakeDirectXSetupLog.h"
#include "dsetup/DirectXSetup.h"

namespace {

constexpr std::u16string_view kRussianText = u"Лицензионное соглашение DirectX";

}  // namespace

extern "C" __attribute__((visibility("default"))) uint32_t DirectXSetupGetEULAW(char16_t* buffer, uint32_t capacity,
                                                                                 uint16_t language) {
  fakedsetup::Record(std::string("DirectXSetupGetEULAW(") + (buffer == nullptr ? "null" : "buffer") + ", " +
                     fakedsetup::Decimal(capacity) + ", " + fakedsetup::Hex(language) + ")");
  if (buffer != nullptr) {
    const size_t count = std::min<size_t>(capacity, kRussianText.size());
    std::copy_n(kRussianText.data(), count, buffer);
  }
  const int32_t textUnits = static_cast<int32_t>(kRussianText.size());
  const int32_t reported = fakedsetup::EnvNumber("KAVO_FAKE_DSETUP_EULA_UNITS", textUnits);
  return static_cast<uint32_t>(reported);
}
