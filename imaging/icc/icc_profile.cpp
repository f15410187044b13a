#include "imaging/icc/icc_profile.h"

#include <initializer_list>

namespace {

constexpr IccSignature kDescTag = 0x64657363;  // "desc"
constexpr char kDescName[] = "desc";

}  // namespace

XpResult icc_profile::Read(XpAbstractFile& file) {
  XpResult result = header_.Read(file);
  uint32_t count = 0;
  if (result == kXpOk) {
    result = ReadUInt32(file, count);
  }
  const int64_t fileSize = file.GetSize();
  const uint64_t fileBytes = fileSize > 0 ? static_cast<uint64_t>(fileSize) : 0;
  uint64_t heldBytes = 0;
  for (uint32_t index = 0; index < count && result == kXpOk; ++index) {
    uint32_t signature = 0;
    uint32_t offset = 0;
    uint32_t size = 0;
    for (uint32_t* field : {&signature, &offset, &size}) {
      if (result == kXpOk) {
        result = ReadUInt32(file, *field);
      }
    }
    if (result != kXpOk) {
      break;
    }
    const int64_t next = file.Tell();
    if (next < 0) {
      return kXpErrEndOfFile;
    }
    result = ReadTag(file, signature, offset, size, heldBytes, fileBytes);
    if (result == kXpOk) {
      result = file.Seek(next, kXpSeekBegin);
    }
  }
  return result;
}

XpResult icc_profile::ReadTag(XpAbstractFile& file, IccSignature signature, uint32_t offset,
                              uint32_t size, uint64_t& heldBytes, uint64_t fileBytes) {
  if (signature != kDescTag) {
    return kXpOk;
  }
  XpResult result = file.Seek(offset, kXpSeekBegin);
  textDescriptionType description;
  if (result == kXpOk) {
    result = description.Read(file, size);
  }
  if (result != kXpOk) {
    return result;
  }
  heldBytes += static_cast<uint64_t>(description.GetText().GetLength());
  if (heldBytes > fileBytes) {
    return kXpErrEndOfFile;
  }
  tags_.emplace_back(kDescName, description);
  return kXpOk;
}

const icc_tag* icc_profile::FindTag(std::string_view name) const {
  for (const icc_tag& tag : tags_) {
    if (tag.GetTagSignatureText().View() == name) {
      return &tag;
    }
  }
  return nullptr;
}

bool icc_profile::HasTag(std::string_view name) const { return FindTag(name) != nullptr; }

icc_tag icc_profile::GetTag(std::string_view name) const {
  const icc_tag* tag = FindTag(name);
  return tag != nullptr ? *tag : icc_tag();
}

std::vector<IccSignature> icc_profile::GetTagSignatures() const {
  std::vector<IccSignature> signatures;
  signatures.reserve(tags_.size());
  for (const icc_tag& tag : tags_) {
    signatures.push_back(tag.GetTagSignature());
  }
  return signatures;
}
