#include "setup/config/SfReadGPUCalibrationRegistry.h"

#include <memory>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

using SfReadGPUCalibrationRegistry = testsupport::HermeticTest;

constexpr const char16_t* kKey = u"Software/Kavo Corporation/QMV/HardwareAssist";

std::unique_ptr<XpRegistry> OpenKey() {
  auto key = std::make_unique<XpRegistry>();
  EXPECT_EQ(key->Open(kKey, XpRegistry::kRootCurrentUser,
                      XpRegistry::kAccessRead | XpRegistry::kAccessWrite),
            kXpOk);
  return key;
}

TEST_F(SfReadGPUCalibrationRegistry, ReadsEachValueAndTheBitrateHalves) {
  std::unique_ptr<XpRegistry> key = OpenKey();
  ASSERT_EQ(key->SetDword(::SfReadGPUCalibrationRegistry::kTransBitrate, 0x00C80064), kXpOk);
  ASSERT_EQ(key->SetDword(::SfReadGPUCalibrationRegistry::kSJVTD, 1), kXpOk);
  ASSERT_EQ(key->SetDword(::SfReadGPUCalibrationRegistry::kTransCodecHighSpeed, 3), kXpOk);
  const ::SfReadGPUCalibrationRegistry reader(std::move(key));
  EXPECT_TRUE(reader.IsOpen());
  uint32_t value = 0;
  EXPECT_TRUE(reader.ReadTransBitrateLow(&value));
  EXPECT_EQ(value, 100u);
  EXPECT_TRUE(reader.ReadTransBitrateHigh(&value));
  EXPECT_EQ(value, 200u);
  EXPECT_TRUE(reader.ReadSJVTD(&value));
  EXPECT_EQ(value, 1u);
  EXPECT_TRUE(reader.ReadTransCodecHighSpeed(&value));
  EXPECT_EQ(value, 3u);
  value = 9;
  EXPECT_FALSE(reader.ReadSTPD(&value));
  EXPECT_FALSE(reader.ReadEditingEnginePreview(&value));
  EXPECT_FALSE(reader.ReadTransCodec(&value));
  EXPECT_EQ(value, 9u);
}

TEST_F(SfReadGPUCalibrationRegistry, WithoutAKeyNothingReads) {
  const ::SfReadGPUCalibrationRegistry reader(nullptr);
  EXPECT_FALSE(reader.IsOpen());
  uint32_t value = 9;
  EXPECT_FALSE(reader.ReadValue(::SfReadGPUCalibrationRegistry::kSJVTD, &value));
  EXPECT_FALSE(reader.ReadTransBitrateLow(&value));
  EXPECT_EQ(value, 9u);
}

}  // namespace
