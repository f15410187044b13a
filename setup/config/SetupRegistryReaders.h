#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// Readers of the product's and the former suite's installations in the
// machine-wide registry. Every key is opened for reading only, so a reader
// or a presence test never creates the key it looks for. Readers answer
// false when the key cannot be opened or the value cannot be read; they
// never report.

inline constexpr const char16_t* kSetupMakerKey = u"Software\\Kavo Corporation";
inline constexpr const char16_t* kSetupProductKey = u"Software\\Kavo Corporation\\QMV";
inline constexpr const char16_t* kSetupUninstallKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    u"{3C9E1A70-5B2D-4F86-A1C4-7D0E9B26F158}";

// A string value of the product's key, or of its subkey when subkey is not
// empty, cut to capacity - 1 units.
bool ReadProductValue(const XpString& subkey, const XpString& name, XpString* value,
                      uint32_t capacity);
// The same under the maker's key and under the product's uninstall key.
bool ReadMakerValue(const XpString& subkey, const XpString& name, XpString* value,
                    uint32_t capacity);
bool ReadUninstallValue(const XpString& subkey, const XpString& name, XpString* value,
                        uint32_t capacity);
// A 4-byte number of the product's key or of its subkey.
bool ReadProductNumber(const XpString& subkey, const XpString& name, uint32_t* value);
// A 4-byte number under the maker's key.
bool ReadMakerNumber(const XpString& subkey, const XpString& name, uint32_t* value);

// The uninstall key's "InstallLocation" names an existing path.
bool IsProductUninstallPresent();

// The path of one of the product's programs: below the product's key, the
// key name, then its subkey named by its value "CurrentVersion", whose
// "InstalledLocation" joined with "ExeName" is the path. False when the
// keys cannot be opened or the path is empty.
bool ReadProductProgramPath(const XpString& name, XpString* path);
// The same for the key "Browser", with "QMVBrowser.exe" for an empty
// "ExeName". Without a location the path is the bare name: there is no
// fallback folder.
bool ReadBrowserProgramPath(XpString* path);
