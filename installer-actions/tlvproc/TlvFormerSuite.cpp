#include "installer-actions/tlvproc/TlvFormerSuite.h"

#include <cwctype>
#include <string>

#include "installer-actions/tlvproc/TlvFolderGuard.h"

namespace tlv {

XpString ReadInstallLocation(InstallerCommonFunction& common, const XpString& uninstallKey) {
  char16_t location[kLocationUnits] = {};
  uint32_t type = 0;
  uint32_t size = sizeof(location);
  if (common.QueryLocalMachineValue(uninstallKey, kInstallLocation, &type, location, &size) != 0) return XpString();
  if (type != kXpRegSz && type != kXpRegExpandSz) return XpString();
  XpString folder(location);
  InstallerCommonFunction::RemoveTrailingChar(folder, u'/');
  return folder;
}

XpString ReadFormerFolder(InstallerCommonFunction& common) {
  const XpString folder = ReadInstallLocation(common, kFormerUninstallKey);
  if (!TlvFolderGuard().Accepts(folder)) return XpString();
  return folder;
}

XpString JoinBounded(const XpString& folder, const XpString& entry) {
  const XpString path = folder + u"/" + entry;
  return path.GetLength() < InstallerCommonFunction::kPathLimit ? path : XpString();
}

XpString UpperCased(const XpString& text) {
  std::u16string upper(text.View());
  for (char16_t& unit : upper) unit = static_cast<char16_t>(std::towupper(unit));
  return XpString(upper);
}

}  // namespace tlv
