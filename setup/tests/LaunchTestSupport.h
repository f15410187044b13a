#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/text/XpString.h"

namespace setuptest {

// Machine-wide registry values for the tests; each creates its key.
void SetMachineString(const XpString& key, const XpString& name, const XpString& value);
void SetMachineNumber(const XpString& key, const XpString& name, uint32_t value);
void SetMachineMultiString(const XpString& key, const XpStringVector& entries, const XpString& name = u"History");
void MakeMachineKey(const XpString& key);
bool MachineKeyExists(const XpString& key);

void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The product installed at location: its key's values and "Version.txt".
struct ProductInstall {
  std::filesystem::path location;
  std::string version = "1.1.00.12000";
  std::string language = "1033";
  std::string country = "US";
  bool withBroadcast = true;
  uint32_t broadcast = 1;
};
void InstallProduct(const ProductInstall& product);

}  // namespace setuptest
