#include "setup/tests/LaunchTestSupport.h"

#include <fstream>

#include <gtest/gtest.h>

#include "platform/registry/XpRegistry.h"
#include "platform/text/XpStringA.h"
#include "setup/config/SetupRegistryReaders.h"

namespace setuptest {

namespace {

constexpr uint32_t kReadWrite = XpRegistry::kAccessRead | XpRegistry::kAccessWrite;

}  // namespace

void SetMachineString(const XpString& key, const XpString& name, const XpString& value) {
  XpRegistry registry;
  ASSERT_EQ(registry.Open(key, XpRegistry::kRootLocalMachine, kReadWrite), kXpOk);
  ASSERT_EQ(registry.SetString(name, value), kXpOk);
}

void SetMachineNumber(const XpString& key, const XpString& name, uint32_t value) {
  XpRegistry registry;
  ASSERT_EQ(registry.Open(key, XpRegistry::kRootLocalMachine, kReadWrite), kXpOk);
  ASSERT_EQ(registry.SetDword(name, value), kXpOk);
}

void SetMachineMultiString(const XpString& key, const XpStringVector& entries, const XpString& name) {
  XpRegistry registry;
  ASSERT_EQ(registry.Open(key, XpRegistry::kRootLocalMachine, kReadWrite), kXpOk);
  ASSERT_EQ(registry.SetMultiString(name, entries), kXpOk);
}

void MakeMachineKey(const XpString& key) {
  XpRegistry registry;
  ASSERT_EQ(registry.Open(key, XpRegistry::kRootLocalMachine, kReadWrite), kXpOk);
}

bool MachineKeyExists(const XpString& key) {
  XpRegistry registry;
  return XpSucceeded(registry.Open(key, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead));
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

void InstallProduct(const ProductInstall& product) {
  WriteFile(product.location / "Version.txt", product.version);
  SetMachineString(kSetupProductKey, u"InstalledLocation",
                   XpString::FromUtf8(product.location.string()));
  SetMachineString(kSetupProductKey, u"InstalledLanguage", XpString::FromUtf8(product.language));
  SetMachineString(XpString(kSetupProductKey) + u"\\GlobalSettings\\1.0", u"CountryOrAreaCode",
                   XpString::FromUtf8(product.country));
  if (product.withBroadcast) {
    SetMachineNumber(XpString(kSetupProductKey) + u"\\TranscodeSettings", u"BroadcastSystem", product.broadcast);
  }
}

}  // namespace setuptest
