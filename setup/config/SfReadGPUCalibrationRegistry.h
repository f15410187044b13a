#pragma once

#include <cstdint>
#include <memory>

#include "platform/registry/XpRegistry.h"
#include "platform/text/XpString.h"

// Reads the hardware-assist settings of the suite from a registry key that
// whoever makes it has opened; it may have none.
class SfReadGPUCalibrationRegistry {
 public:
  static constexpr const char16_t* kSJVTD = u"HardwareAssistType_SJVTD";
  static constexpr const char16_t* kSTPD = u"HardwareAssistType_STPD";
  static constexpr const char16_t* kEditingEnginePreview =
      u"HardwareAssistType_EditingEngine_Preview";
  static constexpr const char16_t* kTransCodec = u"HardwareAssistType_TransCodec";
  static constexpr const char16_t* kTransCodecHighSpeed = u"HardwareAssistType_TransCodec_HighSpeed";
  static constexpr const char16_t* kTransBitrate = u"HardwareAssistType_TransBitrate";

  // Takes ownership of key, which may be null.
  explicit SfReadGPUCalibrationRegistry(std::unique_ptr<XpRegistry> key);
  SfReadGPUCalibrationRegistry(const SfReadGPUCalibrationRegistry&) = delete;
  SfReadGPUCalibrationRegistry& operator=(const SfReadGPUCalibrationRegistry&) = delete;
  virtual ~SfReadGPUCalibrationRegistry();

  // There is a registry key.
  virtual bool IsOpen() const;
  virtual bool ReadSJVTD(uint32_t* value) const;
  virtual bool ReadSTPD(uint32_t* value) const;
  virtual bool ReadEditingEnginePreview(uint32_t* value) const;
  virtual bool ReadTransCodec(uint32_t* value) const;
  virtual bool ReadTransCodecHighSpeed(uint32_t* value) const;
  // The low and the high 16 bits of the bit-rate value.
  virtual bool ReadTransBitrateLow(uint32_t* value) const;
  virtual bool ReadTransBitrateHigh(uint32_t* value) const;
  // False without a key or when the value is absent; else the value.
  virtual bool ReadValue(const XpString& name, uint32_t* value) const;

 private:
  std::unique_ptr<XpRegistry> key_;
};
