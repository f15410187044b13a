#pragma once

#include <cstdint>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "platform/text/XpString.h"

// The former suite's fixed keys and names.
namespace tlv {

// The former suite's own Uninstall key; the trailing separator names the
// key itself.
inline constexpr const char16_t* kFormerUninstallKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{3C9E1A70-5B2D-4F86-A1C4-7D0E9B26F158}\\";
inline constexpr const char16_t* kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char16_t* kFormerProductCode = u"{6b27e0d4-91c3-4a5e-b8f2-0c4d7a9e13b6}";
inline constexpr const char16_t* kSharedDllsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
inline constexpr const char16_t* kMakerKey = u"SOFTWARE\\Kavo Corporation";
inline constexpr const char16_t* kSuiteKey = u"SOFTWARE\\Kavo Corporation\\Kavo Telvane";
inline constexpr const char16_t* kProductKey = u"SOFTWARE\\Kavo Corporation\\QMV";
inline constexpr const char16_t* kSuiteName = u"Kavo Telvane";
inline constexpr const char16_t* kInstallLocation = u"InstallLocation";
// InstallLocation is read into 522 bytes.
inline constexpr uint32_t kLocationUnits = 261;

// An InstallLocation value of an Uninstall key, without one trailing '/';
// "" when it cannot be read.
XpString ReadInstallLocation(InstallerCommonFunction& common, const XpString& uninstallKey);

// The former installation folder when it is there and passes the folder
// guard; "" otherwise, and the actions then behave as if it were missing.
XpString ReadFormerFolder(InstallerCommonFunction& common);

// folder '/' entry when that stays below kPathLimit units, else "".
XpString JoinBounded(const XpString& folder, const XpString& entry);

// The text with every unit upper-cased.
XpString UpperCased(const XpString& text);

}  // namespace tlv
