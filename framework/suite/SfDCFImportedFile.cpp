#include "framework/suite/SfDCFImportedFile.h"

#include "platform/fs/XpFile.h"
#include "platform/path/XpPath.h"
#include "platform/value/XpIniDict.h"

namespace {

constexpr const char16_t* kPathKey = u"Path";
constexpr const char16_t* kModifiedKey = u"Modified";
constexpr const char16_t* kCreatedKey = u"Created";
constexpr const char16_t* kSizeKey = u"Size";

// The low 32 bits, as a signed value; -1 stays -1.
int32_t LowWord(int64_t size) { return static_cast<int32_t>(static_cast<uint32_t>(size)); }

}  // namespace

SfDCFImportedFile::SfDCFImportedFile() = default;

SfDCFImportedFile::SfDCFImportedFile(const XpString& fullPath)
    : path_(XpPathRelativeToRoot(fullPath)) {
  XpFile file(fullPath);
  XpDateTime created;
  XpDateTime modified;
  if (file.GetTimes(&created, &modified, nullptr) == kXpOk) {
    created_ = created;
    modified_ = modified;
  }
  size_ = LowWord(file.GetSize());
}

SfDCFImportedFile::~SfDCFImportedFile() = default;

XpResult SfDCFImportedFile::Read(const XpIniDict& dict) {
  (void)ReadString(dict, kPathKey, &path_);
  (void)ReadDate(dict, kModifiedKey, &modified_);
  (void)ReadDate(dict, kCreatedKey, &created_);
  (void)ReadInt(dict, kSizeKey, &size_);
  return kXpOk;
}

XpResult SfDCFImportedFile::Write(XpIniDict& dict) const {
  (void)WriteString(dict, kPathKey, path_);
  (void)WriteDate(dict, kModifiedKey, modified_);
  (void)WriteDate(dict, kCreatedKey, created_);
  (void)WriteInt(dict, kSizeKey, size_);
  return kXpOk;
}

bool SfDCFImportedFile::operator==(const SfDCFImportedFile& other) const {
  return path_.View() == other.path_.View() && created_ == other.created_ &&
         modified_ == other.modified_ && size_ == other.size_;
}
