// A small custom-action library for the driver's tests. It uses no
// template of the standard library, so that it exports its actions alone.

#include <stdint.h>

#include "msi/MsiApi.h"

#define MSI_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kCapacity = 1024;
constexpr uint32_t kDecimalBase = 10;

bool CopyProperty(MSIHANDLE install, const char16_t* from, const char16_t* to) {
  char16_t value[kCapacity];
  uint32_t size = kCapacity;
  if (MsiGetPropertyW(install, from, value, &size) != kMsiSuccess) return false;
  return MsiSetPropertyW(install, to, value) == kMsiSuccess;
}

// The decimal number of a property; 0 when unset or not a number.
uint32_t NumberOf(MSIHANDLE install, const char16_t* name) {
  char16_t value[kCapacity];
  uint32_t size = kCapacity;
  if (MsiGetPropertyW(install, name, value, &size) != kMsiSuccess) return 0;
  uint32_t number = 0;
  for (uint32_t i = 0; i < size; ++i) {
    if (value[i] < u'0' || value[i] > u'9') return 0;
    number = number * kDecimalBase + static_cast<uint32_t>(value[i] - u'0');
  }
  return number;
}

}  // namespace

// Copies property A into B.
MSI_TEST_EXPORT uint32_t MsiTest_CopyAToB(MSIHANDLE install) {
  return CopyProperty(install, u"A", u"B") ? 0 : 1;
}

// Copies property B into C.
MSI_TEST_EXPORT uint32_t MsiTest_CopyBToC(MSIHANDLE install) {
  return CopyProperty(install, u"B", u"C") ? 0 : 1;
}

// Sets feature RU_Feature to the local state; returns the installer's code.
MSI_TEST_EXPORT uint32_t MsiTest_SetFeature(MSIHANDLE install) {
  return MsiSetFeatureStateW(install, u"RU_Feature", kMsiStateLocal);
}

// Asks a question and keeps the answer in property ANSWER.
MSI_TEST_EXPORT uint32_t MsiTest_Ask(MSIHANDLE install) {
  const int32_t answer = MsiAskUserYesNo(install, u"Licence", u"Do you accept?");
  return MsiSetPropertyW(install, u"ANSWER", answer == kMsiAnswerYes ? u"6" : u"7");
}

// Returns the number in property RETURN_CODE.
MSI_TEST_EXPORT uint32_t MsiTest_Return(MSIHANDLE install) { return NumberOf(install, u"RETURN_CODE"); }
