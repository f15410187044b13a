#include "platform/volume/Xp_MODELCFG_IND_File.h"

#include "platform/path/XpPath.h"

namespace {

constexpr const char16_t* kFileName = u"MODELCFG.IND";
constexpr uint8_t kMagic[] = {'K', 'T'};

}  // namespace

Xp_MODELCFG_IND_File::Xp_MODELCFG_IND_File() = default;

Xp_MODELCFG_IND_File::Xp_MODELCFG_IND_File(const XpString& path) {
  Xp_MODELCFG_IND_File::SetFile(path);
}

XpResult Xp_MODELCFG_IND_File::SetFile(const XpString& path) {
  const XpResult result = XpFile::SetFile(path);
  return result == kXpOk ? Xp_MODELCFG_IND_File::Load() : result;
}

XpResult Xp_MODELCFG_IND_File::Load() {
  valid_ = false;
  loadResult_ = Open(kXpOpenRead);
  if (loadResult_ != kXpOk) {
    return loadResult_;
  }
  uint64_t done = 0;
  const XpResult readResult = Read(bytes_.data(), bytes_.size(), &done);
  valid_ = readResult == kXpOk && done == kFileSize && bytes_[0] == kMagic[0] &&
           bytes_[1] == kMagic[1];
  const XpResult closeResult = Close();
  if (readResult != kXpOk) {
    loadResult_ = readResult;
  } else if (closeResult != kXpOk) {
    valid_ = false;
    loadResult_ = closeResult;
  }
  return loadResult_;
}

const char16_t* Xp_MODELCFG_IND_File::GetFileName() { return kFileName; }

XpString Xp_MODELCFG_IND_File::PathForFolderName(const XpString& path) {
  return XpPathJoin(XpPathGetRoot(path), kFileName);
}

XpString Xp_MODELCFG_IND_File::PathForFolder(const XpAbstractFSObj& folder) {
  return PathForFolderName(folder.GetPath());
}
