#include <gtest/gtest.h>

#include <cstdint>
#include <exception>

#include "camerastore/xdb/XdbException.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using XdbException = testsupport::HermeticTest;
using XdbScriptResult = testsupport::HermeticTest;

struct Mapping {
  int32_t scriptResult;
  XpResult code;
};

constexpr Mapping kMappings[] = {
    {0, 0},          {350, 0},        {352, 0x810D},   {-1, 0x8401},   {-5, 0x8002},
    {351, 0x8000},   {353, 0x8000},   {-300, 0x8000},  {-7, 0x8000},   {-9999, 0x8000},
    {1, 0x8000},     {-2, 0x8000},    {INT32_MIN, 0x8000}, {INT32_MAX, 0x8000},
};

TEST_F(XdbScriptResult, MapsEachScriptResultToItsCode) {
  for (const Mapping& mapping : kMappings) {
    EXPECT_EQ(XdbAccessor::XdbResultFromScript(mapping.scriptResult), mapping.code) << mapping.scriptResult;
  }
}

TEST_F(XdbException, SetFromScriptResultStoresTheMappedCode) {
  for (const Mapping& mapping : kMappings) {
    XdbAccessor::XdbException exception;
    exception.SetCode(0x1234);
    exception.SetFromScriptResult(mapping.scriptResult);
    EXPECT_EQ(exception.GetCode(), mapping.code) << mapping.scriptResult;
  }
}

TEST_F(XdbException, ANewOneHoldsTheGenericFailureAndACopyKeepsTheCode) {
  const XdbAccessor::XdbException fresh;
  EXPECT_EQ(fresh.GetCode(), 0x8000u);

  XdbAccessor::XdbException exception;
  exception.SetCode(0x8106);
  const XdbAccessor::XdbException copy(exception);
  EXPECT_EQ(copy.GetCode(), 0x8106u);
  XdbAccessor::XdbException assigned;
  assigned = exception;
  EXPECT_EQ(assigned.GetCode(), 0x8106u);
}

TEST_F(XdbException, SetCodeStoresTheCodeUnchanged) {
  for (const XpResult code : {XpResult{0}, XpResult{352}, XpResult{0x8106}, XpResult{0x810D}}) {
    XdbAccessor::XdbException exception;
    exception.SetCode(code);
    EXPECT_EQ(exception.GetCode(), code);
  }
}

TEST_F(XdbException, IsCaughtAsAStandardExceptionWithItsCode) {
  try {
    XdbAccessor::XdbException exception;
    exception.SetFromScriptResult(-1);
    throw exception;
  } catch (const std::exception& caught) {
    const auto* exception = dynamic_cast<const XdbAccessor::XdbException*>(&caught);
    ASSERT_NE(exception, nullptr);
    EXPECT_EQ(exception->GetCode(), 0x8401u);
  }
}

}  // namespace
