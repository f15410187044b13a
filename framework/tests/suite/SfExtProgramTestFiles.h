#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/XpRegistry.h"
#include "platform/value/XpIniDict.h"

// Entry files for the external programs tests, written with the project's
// property-list writer.
namespace extprogramtest {

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// The keys of one entry file; unset ones are left out of the file.
struct EntryFile {
  std::optional<std::string> appName;
  std::optional<std::string> description;
  std::optional<bool> groupApp;
  std::optional<std::string> installSettingName;
  std::optional<std::string> installedLocation;
  std::optional<std::string> exeName;
  std::optional<std::string> iconName;
  std::optional<std::string> imageBitmapName;
  std::optional<bool> modal;
  std::optional<std::string> option;
  std::optional<int64_t> displayLevel;
  std::optional<int64_t> uiOrder;
  std::vector<std::string> contentTypeMasks;
  std::vector<std::string> mediaTypeMasks;

  // A level-1 entry named name.
  static EntryFile User(const std::string& name) {
    EntryFile file;
    file.appName = name;
    file.displayLevel = 1;
    return file;
  }
  // A suite entry at level.
  static EntryFile Group(const std::string& name, int64_t level) {
    EntryFile file;
    file.appName = name;
    file.groupApp = true;
    file.displayLevel = level;
    return file;
  }

  void Save(const std::filesystem::path& path) const {
    std::filesystem::create_directories(path.parent_path());
    XpIniDict dict;
    AddString(&dict, u"AppName", appName);
    AddString(&dict, u"Description", description);
    AddBool(&dict, u"GroupApp", groupApp);
    AddString(&dict, u"InstallSettingName", installSettingName);
    AddString(&dict, u"InstalledLocation", installedLocation);
    AddString(&dict, u"ExeName", exeName);
    AddString(&dict, u"IconName", iconName);
    AddString(&dict, u"ImageBitmapName", imageBitmapName);
    AddBool(&dict, u"Modal", modal);
    AddString(&dict, u"Option", option);
    if (displayLevel) {
      ASSERT_EQ(dict.Add(u"DisplayLevel", kXpIniTypeInt, *displayLevel), kXpOk);
    }
    if (uiOrder) {
      ASSERT_EQ(dict.Add(u"UIOrder", kXpIniTypeInt, *uiOrder), kXpOk);
    }
    AddMasks(&dict, u"ContentTypeMaskList", contentTypeMasks);
    AddMasks(&dict, u"MediaTypeMaskList", mediaTypeMasks);
    ASSERT_EQ(dict.SaveToFile(XpString::FromUtf8(path.string())), kXpOk) << path;
  }

 private:
  static void AddString(XpIniDict* dict, const char16_t* key,
                        const std::optional<std::string>& value) {
    if (value) {
      ASSERT_EQ(dict->Add(key, kXpIniTypeString, XpString::FromUtf8(*value)), kXpOk);
    }
  }
  static void AddBool(XpIniDict* dict, const char16_t* key, std::optional<bool> value) {
    if (value) {
      ASSERT_EQ(dict->Add(key, kXpIniTypeBool, *value), kXpOk);
    }
  }
  static void AddMasks(XpIniDict* dict, const char16_t* key,
                       const std::vector<std::string>& masks) {
    if (masks.empty()) return;
    ASSERT_EQ(dict->Add(key, kXpIniTypeArray), kXpOk);
    XpIniElement* array = dict->Find(key);
    ASSERT_NE(array, nullptr);
    for (const std::string& mask : masks) {
      ASSERT_EQ(array->InsertAt(-1, kXpIniTypeString, XpString::FromUtf8(mask)), kXpOk);
    }
  }
};

inline void SetRegistryString(uint32_t root, const std::string& key, const std::string& name,
                              const std::string& value) {
  XpRegistry reg;
  ASSERT_EQ(reg.Open(XpString::FromUtf8(key), root, XpRegistry::kAccessWrite), kXpOk) << key;
  ASSERT_EQ(reg.SetString(XpString::FromUtf8(name), XpString::FromUtf8(value)), kXpOk) << name;
}

inline void SetRegistryDword(uint32_t root, const std::string& key, const std::string& name,
                             uint32_t value) {
  XpRegistry reg;
  ASSERT_EQ(reg.Open(XpString::FromUtf8(key), root, XpRegistry::kAccessWrite), kXpOk) << key;
  ASSERT_EQ(reg.SetDword(XpString::FromUtf8(name), value), kXpOk) << name;
}

}  // namespace extprogramtest
