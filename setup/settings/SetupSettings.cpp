#include "setup/settings/SetupSettings.h"

#include "platform/fs/XpPrivateProfile.h"

namespace {

constexpr const char16_t* kGeneral = u"General";
constexpr const char16_t* kBootstrap = u"Bootstrap";
constexpr const char16_t* kTrue = u"True";
constexpr uint64_t kLargest32 = 0xFFFFFFFFu;
constexpr uint32_t kHexBase = 16;
constexpr uint32_t kLowByteMask = 0xFF;
constexpr uint32_t kLowByteModeOne = 0x02;
constexpr uint32_t kLowByteModeFourOrZero = 0x08;
constexpr uint32_t kLowByteModeThree = 0x10;

XpString ReadGeneral(const char16_t* key, const XpString& path) {
  return XpGetPrivateProfileString(kGeneral, key, XpString(), SetupSettings::kGeneralCapacity,
                                   path);
}

XpString ReadBootstrap(const char16_t* key, const XpString& path) {
  return XpGetPrivateProfileString(kBootstrap, key, XpString(), SetupSettings::kBootstrapCapacity,
                                   path);
}

// The white space the C library skips before a number.
bool IsSpace(char16_t ch) {
  return ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\v' || ch == u'\f' || ch == u'\r';
}

int HexDigit(char16_t ch) {
  if (ch >= u'0' && ch <= u'9') return ch - u'0';
  if (ch >= u'a' && ch <= u'f') return ch - u'a' + 10;
  if (ch >= u'A' && ch <= u'F') return ch - u'A' + 10;
  return -1;
}

}  // namespace

bool SetupSettings::Read(const XpString& path) {
  installerId_ = ReadGeneral(u"InstallerID", path);
  settingsText_ = ReadGeneral(u"Settings", path);
  target_ = ReadGeneral(u"Target", path);
  existence_ = ReadGeneral(u"Existence", path);
  transforms_ = ReadGeneral(u"Transforms", path);
  extract_ = ReadGeneral(u"Extract", path);
  supressVW_ = ReadGeneral(u"SupressVW", path);
  updateRange_ = ReadGeneral(u"UpdateRange", path);
  productCode_ = ReadGeneral(u"ProductCode", path);
  requireReboot_ = ReadGeneral(u"RequireReboot", path);
  prepareMsg_ = ReadGeneral(u"PrepareMsg", path);
  productName_ = ReadBootstrap(u"ProductName", path);
  errorCaptionText_ = ReadBootstrap(u"ErrorCaptionText", path);

  settingsValue_ = ParseSettingsValue(settingsText_).value_or(0);
  return !installerId_.IsEmpty() && !target_.IsEmpty() && !errorCaptionText_.IsEmpty() &&
         settingsValue_ != 0;
}

std::optional<uint32_t> SetupSettings::ParseSettingsValue(const XpString& text) {
  std::u16string_view rest = text.View();
  while (!rest.empty() && IsSpace(rest.front())) rest.remove_prefix(1);
  bool negative = false;
  if (!rest.empty() && (rest.front() == u'+' || rest.front() == u'-')) {
    negative = rest.front() == u'-';
    rest.remove_prefix(1);
  }
  // "0x" counts only when a hex digit follows; otherwise the "0" is the
  // number.
  if (rest.size() > 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X') &&
      HexDigit(rest[2]) >= 0) {
    rest.remove_prefix(2);
  }
  if (rest.empty() || HexDigit(rest.front()) < 0) return std::nullopt;
  uint64_t value = 0;
  for (; !rest.empty() && HexDigit(rest.front()) >= 0; rest.remove_prefix(1)) {
    value = value * kHexBase + static_cast<uint64_t>(HexDigit(rest.front()));
    if (value > kLargest32) return std::nullopt;
  }
  const auto magnitude = static_cast<uint32_t>(value);
  return negative ? static_cast<uint32_t>(0u - magnitude) : magnitude;
}

bool SetupSettings::IsWatcherSuppressed() const { return supressVW_.Compare(kTrue) == 0; }

bool SetupSettings::IsPrepareMsgOn() const { return prepareMsg_.CompareNoCase(kTrue) == 0; }

bool SetupSettings::IsRebootRequired() const { return requireReboot_.CompareNoCase(kTrue) == 0; }

XpString SetupSettings::GetInstallMode() const {
  const uint32_t flags = settingsValue_;
  if ((flags & kFlagSelectMode) != 0) return (flags & kFlagFullMode) != 0 ? u"5" : u"2";
  switch (flags & kLowByteMask) {
    case kLowByteModeOne:
      return u"1";
    case kLowByteModeFourOrZero:
      return (flags & kFlagModeFour) != 0 ? u"4" : u"0";
    case kLowByteModeThree:
      return u"3";
    default:
      return u"0";
  }
}

XpString SetupSettings::GetFileConfigurationMode() const {
  const uint32_t flags = settingsValue_;
  const bool fullSelected = (flags & kFlagSelectMode) != 0 && (flags & kFlagFullMode) != 0;
  return fullSelected ? XpString(u"1") : GetInstallMode();
}
