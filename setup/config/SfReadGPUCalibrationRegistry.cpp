#include "setup/config/SfReadGPUCalibrationRegistry.h"

#include <utility>

namespace {

constexpr uint32_t kHalfBits = 16;
constexpr uint32_t kHalfMask = 0xFFFF;

}  // namespace

SfReadGPUCalibrationRegistry::SfReadGPUCalibrationRegistry(std::unique_ptr<XpRegistry> key)
    : key_(std::move(key)) {}

SfReadGPUCalibrationRegistry::~SfReadGPUCalibrationRegistry() = default;

bool SfReadGPUCalibrationRegistry::IsOpen() const { return key_ != nullptr; }

bool SfReadGPUCalibrationRegistry::ReadSJVTD(uint32_t* value) const { return ReadValue(kSJVTD, value); }

bool SfReadGPUCalibrationRegistry::ReadSTPD(uint32_t* value) const { return ReadValue(kSTPD, value); }

bool SfReadGPUCalibrationRegistry::ReadEditingEnginePreview(uint32_t* value) const {
  return ReadValue(kEditingEnginePreview, value);
}

bool SfReadGPUCalibrationRegistry::ReadTransCodec(uint32_t* value) const {
  return ReadValue(kTransCodec, value);
}

bool SfReadGPUCalibrationRegistry::ReadTransCodecHighSpeed(uint32_t* value) const {
  return ReadValue(kTransCodecHighSpeed, value);
}

bool SfReadGPUCalibrationRegistry::ReadTransBitrateLow(uint32_t* value) const {
  uint32_t bitrate = 0;
  if (value == nullptr || !ReadValue(kTransBitrate, &bitrate)) return false;
  *value = bitrate & kHalfMask;
  return true;
}

bool SfReadGPUCalibrationRegistry::ReadTransBitrateHigh(uint32_t* value) const {
  uint32_t bitrate = 0;
  if (value == nullptr || !ReadValue(kTransBitrate, &bitrate)) return false;
  *value = (bitrate >> kHalfBits) & kHalfMask;
  return true;
}

bool SfReadGPUCalibrationRegistry::ReadValue(const XpString& name, uint32_t* value) const {
  if (value == nullptr || !key_ || !key_->HasValue(name)) return false;
  *value = key_->QueryDword(name, *value);
  return true;
}
