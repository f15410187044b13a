#include "platform/volume/Xp_VOLUMEID_IND_File.h"

#include <array>

#include "platform/path/XpPath.h"

namespace {

constexpr const char16_t* kFileName = u"VOLUMEID.IND";
constexpr char16_t kHexDigits[] = u"0123456789abcdef";
constexpr int kNibbleBits = 4;
constexpr uint8_t kNibbleMask = 0x0F;

}  // namespace

Xp_VOLUMEID_IND_File::Xp_VOLUMEID_IND_File() = default;

Xp_VOLUMEID_IND_File::Xp_VOLUMEID_IND_File(const XpString& path) {
  (void)Xp_VOLUMEID_IND_File::SetFile(path);  // a constructor cannot report; Load tells
}

XpResult Xp_VOLUMEID_IND_File::SetFile(const XpString& path) {
  const XpResult result = XpFile::SetFile(path);
  return result == kXpOk ? Xp_VOLUMEID_IND_File::Load() : result;
}

XpResult Xp_VOLUMEID_IND_File::Load() {
  valid_ = false;
  loadResult_ = Open(kXpOpenRead);
  if (loadResult_ != kXpOk) {
    return loadResult_;
  }
  std::array<uint8_t, kIdBytes> bytes{};
  const XpResult readResult = Read(bytes.data(), bytes.size(), nullptr);
  if (readResult == kXpOk) {
    idString_ = BytesToHex(bytes.data(), bytes.size());
    valid_ = true;
  }
  const XpResult closeResult = Close();
  if (readResult != kXpOk) {
    loadResult_ = readResult;
  } else if (closeResult != kXpOk) {
    valid_ = false;
    loadResult_ = closeResult;
  }
  return loadResult_;
}

const char16_t* Xp_VOLUMEID_IND_File::GetFileName() { return kFileName; }

XpString Xp_VOLUMEID_IND_File::PathForFolder(const XpString& folder) {
  return XpPathJoin(XpPathGetRoot(folder), kFileName);
}

XpString Xp_VOLUMEID_IND_File::PathForFolderObject(const XpAbstractFSObj& folder) {
  return PathForFolder(folder.GetPath());
}

XpString Xp_VOLUMEID_IND_File::BytesToHex(const uint8_t* bytes, uint64_t count) {
  XpString text;
  if (bytes == nullptr) {
    return text;
  }
  for (uint64_t i = 0; i < count; ++i) {
    text += kHexDigits[bytes[i] >> kNibbleBits];
    text += kHexDigits[bytes[i] & kNibbleMask];
  }
  return text;
}
