#include "framework/tests/strings/StringsFileFixture.h"

#include <fstream>

#include <gtest/gtest.h>

#include "framework/strings/XfStringLookup.h"
#include "platform/text/XpStringA.h"

namespace framework_test {

std::string Text(const std::string& key, const std::string& value) {
  return "<key>" + key + "</key><string>" + value + "</string>";
}

std::string Dict(const std::string& key, const std::string& entries) {
  return "<key>" + key + "</key><dict>" + entries + "</dict>";
}

std::string Integer(const std::string& key, long long value) {
  return "<key>" + key + "</key><integer>" + std::to_string(value) + "</integer>";
}

void StringsFileFixture::TearDown() {
  XfSetStringsSource(XpSharedPtr<IXfStringsSource>());
  HermeticTest::TearDown();
}

std::string StringsFileFixture::WriteStrings(const std::string& name, const std::string& entries) {
  const std::string path = (Root() / name).string();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
       << "<plist version=\"1.0\"><dict>" << entries << "</dict></plist>\n";
  EXPECT_TRUE(file.good()) << path;
  return path;
}

StringsManagerPtr StringsFileFixture::LoadStrings(const std::string& name,
                                                  const std::string& entries) {
  const std::string path = WriteStrings(name, entries);
  StringsManagerPtr manager(new XfStringsManager());
  EXPECT_EQ(manager->Load(XpStringA(path.c_str()).ToWide()), kXpOk) << path;
  return manager;
}

}  // namespace framework_test
