#pragma once

#include <cstdint>
#include <vector>

#include "imaging/icc/XYZNumber.h"
#include "imaging/icc/dateTimeNumber.h"
#include "imaging/icc/icc_tools.h"

// The 128-byte header of a profile. The device attributes and the reserved
// bytes are read and dropped.
class icc_profile_header : public icc_tools {
 public:
  static constexpr uint32_t kBytes = 128;
  static constexpr size_t kProfileIdBytes = 16;
  static constexpr IccSignature kFileSignature = 0x61637370;  // "acsp"

  icc_profile_header();

  // Reads every field in file order; the first failing read ends it with
  // its result, and the fields read so far stay. The file signature, size
  // and version are kept as read, never tested.
  [[nodiscard]] virtual XpResult Read(XpAbstractFile& file);

  uint32_t GetProfileSize() const { return profileSize_; }
  IccSignature GetCmmType() const { return cmmType_; }
  uint32_t GetProfileVersion() const { return profileVersion_; }
  IccSignature GetDeviceClass() const { return deviceClass_; }
  IccSignature GetColorSpace() const { return colorSpace_; }
  IccSignature GetConnectionSpace() const { return connectionSpace_; }
  dateTimeNumber GetCreationDate() const { return creationDate_; }
  IccSignature GetFileSignature() const { return fileSignature_; }
  IccSignature GetPlatform() const { return platform_; }
  uint32_t GetFlags() const { return flags_; }
  IccSignature GetManufacturer() const { return manufacturer_; }
  uint32_t GetModel() const { return model_; }
  uint32_t GetRenderingIntent() const { return renderingIntent_; }
  XYZNumber GetIlluminant() const { return illuminant_; }
  IccSignature GetCreator() const { return creator_; }
  std::vector<uint8_t> GetProfileId() const { return profileId_; }

  void SetProfileSize(uint32_t value) { profileSize_ = value; }
  void SetCmmType(IccSignature value) { cmmType_ = value; }
  void SetProfileVersion(uint32_t value) { profileVersion_ = value; }
  void SetDeviceClass(IccSignature value) { deviceClass_ = value; }
  void SetColorSpace(IccSignature value) { colorSpace_ = value; }
  void SetConnectionSpace(IccSignature value) { connectionSpace_ = value; }
  void SetCreationDate(const dateTimeNumber& value) { creationDate_ = value; }
  void SetPlatform(IccSignature value) { platform_ = value; }
  void SetFlags(uint32_t value) { flags_ = value; }
  void SetManufacturer(IccSignature value) { manufacturer_ = value; }
  void SetModel(uint32_t value) { model_ = value; }
  void SetRenderingIntent(uint32_t value) { renderingIntent_ = value; }
  void SetIlluminant(const XYZNumber& value) { illuminant_ = value; }
  void SetCreator(IccSignature value) { creator_ = value; }
  // Taken only when it holds exactly 16 bytes; false keeps the old ID.
  bool SetProfileId(const std::vector<uint8_t>& value);

 private:
  uint32_t profileSize_ = 0;
  IccSignature cmmType_ = 0;
  uint32_t profileVersion_ = 0;
  IccSignature deviceClass_ = 0;
  IccSignature colorSpace_ = 0;
  IccSignature connectionSpace_ = 0;
  dateTimeNumber creationDate_;
  IccSignature fileSignature_ = kFileSignature;
  IccSignature platform_ = 0;
  uint32_t flags_ = 0;
  IccSignature manufacturer_ = 0;
  uint32_t model_ = 0;
  uint32_t renderingIntent_ = 0;
  XYZNumber illuminant_;
  IccSignature creator_ = 0;
  std::vector<uint8_t> profileId_;
};
