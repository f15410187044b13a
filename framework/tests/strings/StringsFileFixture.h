#pragma once

#include <string>

#include "framework/strings/XfStringsManager.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/testsupport/HermeticTest.h"

namespace framework_test {

using StringsManagerPtr = XpSharedPtr<XfStringsManager>;

// Pieces of a strings file's root dictionary.
std::string Text(const std::string& key, const std::string& value);
std::string Dict(const std::string& key, const std::string& entries);
std::string Integer(const std::string& key, long long value);

// Writes small strings files into the test's folder and loads them. The
// global look-ups' source is removed after each test.
class StringsFileFixture : public testsupport::HermeticTest {
 protected:
  void TearDown() override;

  // Writes a strings file whose root dictionary holds entries.
  std::string WriteStrings(const std::string& name, const std::string& entries);
  // Writes and loads; fails the test when the load fails.
  StringsManagerPtr LoadStrings(const std::string& name, const std::string& entries);
};

}  // namespace framework_test
