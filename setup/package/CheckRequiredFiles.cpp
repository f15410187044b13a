#include "setup/package/CheckRequiredFiles.h"

#include <vector>

#include "platform/fs/XpPathQueries.h"

namespace {

constexpr const char16_t* kDataFolderName = u"Data/";

XpString CabinetName(const XpString& target) {
  XpString cabinet = target;
  static_cast<void>(cabinet.Replace(u".msi", u".cab"));
  return cabinet;
}

}  // namespace

bool CheckRequiredFiles(const XpString& programFolder, const XpString& target) {
  const XpString data = programFolder + kDataFolderName;
  const std::vector<XpString> required = {
      data + target,           programFolder + u"setup", programFolder + u"setup.ini",
      data + u"Version.txt",   data + u"data.bin",       data + CabinetName(target)};
  for (const XpString& path : required) {
    if (!XpFileExists(path)) return false;
  }
  return true;
}
