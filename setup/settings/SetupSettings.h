#pragma once

#include <cstdint>
#include <optional>

#include "platform/text/XpString.h"

// The install set's settings file, "setup.ini" beside setup, read once at
// start-up. Every key reads as "" when it is missing.
class SetupSettings {
 public:
  static constexpr const char16_t* kFileName = u"setup.ini";
  // Buffer sizes of the two sections: a value holds one unit less.
  static constexpr uint32_t kGeneralCapacity = 261;
  static constexpr uint32_t kBootstrapCapacity = 260;

  // Bits of the "Settings" value.
  static constexpr uint32_t kFlagSelectMode = 0x00000004;
  static constexpr uint32_t kFlagFullMode = 0x00000002;
  static constexpr uint32_t kFlagQuietAllowed = 0x00010000;
  static constexpr uint32_t kFlagModeFour = 0x00040000;
  static constexpr uint32_t kFlagNoReinstall = 0x00080000;

  // Reads every key, even after one fails. True when "InstallerID",
  // "Target" and "ErrorCaptionText" are not empty and "Settings" is a valid
  // non-zero number. A file that cannot be read reads as all keys empty.
  bool Read(const XpString& path);

  // "Settings" as the 32-bit C library would read it with base 16: leading
  // blanks, an optional sign, an optional "0x", then hex digits up to the
  // first other character; "-n" gives 2^32 - n. Nothing without digits or
  // for a value beyond 32 bits.
  static std::optional<uint32_t> ParseSettingsValue(const XpString& text);

  // Section "General".
  const XpString& InstallerId() const { return installerId_; }
  const XpString& SettingsText() const { return settingsText_; }
  const XpString& Target() const { return target_; }
  const XpString& Existence() const { return existence_; }
  const XpString& Transforms() const { return transforms_; }
  const XpString& Extract() const { return extract_; }
  const XpString& SupressVW() const { return supressVW_; }
  const XpString& UpdateRange() const { return updateRange_; }
  const XpString& ProductCode() const { return productCode_; }
  const XpString& RequireReboot() const { return requireReboot_; }
  const XpString& PrepareMsg() const { return prepareMsg_; }
  // Section "Bootstrap".
  const XpString& ProductName() const { return productName_; }
  const XpString& ErrorCaptionText() const { return errorCaptionText_; }

  // The parsed "Settings" value; 0 when it is not valid.
  uint32_t GetSettingsValue() const { return settingsValue_; }
  // SupressVW is exactly "True".
  bool IsWatcherSuppressed() const;
  // PrepareMsg and RequireReboot are "True" in any case.
  bool IsPrepareMsgOn() const;
  bool IsRebootRequired() const;

  // The install mode the settings value selects: "0" to "5".
  XpString GetInstallMode() const;
  // The same for the file-configuration run, where 0x4 with 0x2 gives "1".
  XpString GetFileConfigurationMode() const;

 private:
  uint32_t settingsValue_ = 0;
  XpString installerId_;
  XpString settingsText_;
  XpString target_;
  XpString existence_;
  XpString transforms_;
  XpString extract_;
  XpString supressVW_;
  XpString updateRange_;
  XpString productCode_;
  XpString requireReboot_;
  XpString prepareMsg_;
  XpString productName_;
  XpString errorCaptionText_;
};
