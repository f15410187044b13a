#include "imaging/icc/icc_profile_header.h"

#include <initializer_list>

namespace {

constexpr uint64_t kDeviceAttributesBytes = 8;
constexpr uint64_t kReservedBytes = 28;

}  // namespace

icc_profile_header::icc_profile_header() : profileId_(kProfileIdBytes, 0) {}

XpResult icc_profile_header::Read(XpAbstractFile& file) {
  XpResult result = BeginRead(file);
  for (uint32_t* field : {&profileSize_, &cmmType_, &profileVersion_, &deviceClass_,
                          &colorSpace_, &connectionSpace_}) {
    if (result == kXpOk) {
      result = ReadUInt32(file, *field);
    }
  }
  if (result == kXpOk) {
    result = creationDate_.Read(file);
  }
  for (uint32_t* field : {&fileSignature_, &platform_, &flags_, &manufacturer_, &model_}) {
    if (result == kXpOk) {
      result = ReadUInt32(file, *field);
    }
  }
  if (result == kXpOk) {
    result = Skip(file, kDeviceAttributesBytes);
  }
  if (result == kXpOk) {
    result = ReadUInt32(file, renderingIntent_);
  }
  if (result == kXpOk) {
    result = illuminant_.Read(file);
  }
  if (result == kXpOk) {
    result = ReadUInt32(file, creator_);
  }
  if (result != kXpOk) {
    return result;
  }
  uint8_t id[kProfileIdBytes] = {};
  result = ReadBytes(file, id, sizeof id);
  if (result != kXpOk) {
    return result;
  }
  profileId_.assign(id, id + kProfileIdBytes);
  return Skip(file, kReservedBytes);
}

bool icc_profile_header::SetProfileId(const std::vector<uint8_t>& value) {
  if (value.size() != kProfileIdBytes) {
    return false;
  }
  profileId_ = value;
  return true;
}
