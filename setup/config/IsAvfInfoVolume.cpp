#include "setup/config/IsAvfInfoVolume.h"

#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/volume/XpVolume.h"

namespace {

constexpr const char16_t* kInfoFolder = u"AVF_INFO";
constexpr const char16_t* kIndexFile = u"AVIN0001.INP";
constexpr const char16_t* kTableFile = u"AVIN0001.INT";
constexpr const char16_t* kBackupEntry = u"AVIN0001.BNP";

}  // namespace

bool IsAvfInfoVolume(const XpVolume& volume) {
  const XpString root = volume.GetPath();
  if (root.IsEmpty()) return false;
  const XpString folder = XpPathJoin(root, kInfoFolder);
  return XpFileExists(XpPathJoin(folder, kIndexFile)) &&
         XpFileExists(XpPathJoin(folder, kTableFile)) &&
         XpPathExists(XpPathJoin(folder, kBackupEntry));
}
