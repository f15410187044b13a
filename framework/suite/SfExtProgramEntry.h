#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

class XpIniDict;

// One external program: the fields of its entry file (an XML property list
// with a root dictionary), the paths resolved from them, and where the
// entry lives on disk.
//
// Reading takes every key that is present with its type; a missing key,
// or one stored with another type, leaves the field's default. Then the
// paths are resolved:
//  - a suite program ("GroupApp" with an "InstallSettingName") is looked
//    for under the suite's local-machine key of that name: its
//    "CurrentVersion" (default "1.0") names the subkey whose
//    "InstalledLocation" and "ExeName" (the entry's own "ExeName" first)
//    give the executable, when that file exists;
//  - otherwise, when the entry has both "InstalledLocation" and "ExeName",
//    the location joined with the name; a location beginning with "HKEY_"
//    is the registry string "HKEY_<root>\<key>\<value name>", and an
//    unknown root or a missing key or value gives an empty location;
//  - the icon lies beside the executable, the bitmap beside the entry file.
// Masks are hexadecimal strings; one that is not is passed over.
//
// Writing puts the keys, in this order, "AppName", "Description",
// "GroupApp", "InstallSettingName", "InstalledLocation" (the folder of the
// executable), "ExeName", "IconName" (file names of the resolved paths),
// "Modal", "Option", "DisplayLevel", "Multiple", "UIOrder",
// "ContentTypeMaskList", "XMLReceivable", "EveryTimeEnable",
// "IncludeNotSelected". The fields read from a file that this list leaves
// out follow them when they differ from their defaults, so that a program
// read and written again keeps them. The file is replaced atomically.
class SfExtProgramEntry {
 public:
  static constexpr uint32_t kNoDisplayLevel = 0xFFFFFFFF;

  // Loads the entry file at path. kXpOk whatever keys are missing; the
  // code of loading the property list when it cannot be loaded, the entry
  // then unchanged. The entry's file path and source become path.
  [[nodiscard]] XpResult Read(const XpString& path);
  // Writes the entry to its file path and takes the file's creation time
  // again. The first failing step's code (kXpErrPathNotFound without an
  // absolute path).
  [[nodiscard]] XpResult Write();

  // The same program: equal "AppName", executable path and "Option", each
  // compared case-sensitively (whole paths on Linux are case-sensitive).
  bool IsSameProgram(const SfExtProgramEntry& other) const;
  // Takes the texts and flags of a newer entry of the same program: its
  // "AppName", "Description", "DisplayLevel", "Modal", "Option",
  // "Multiple", "XMLReceivable" and both mask lists.
  void TakeOverFrom(const SfExtProgramEntry& other);
  // Holds mask among its content-type masks.
  bool HasContentType(uint32_t mask) const;

  // The fields of the entry file.
  XpString appName;
  XpString description;
  bool groupApp = false;
  XpString installSettingName;
  XpString installedLocation;
  XpString exeName;
  XpString iconName;
  XpString imageBitmapName;
  bool modal = false;
  XpString option;
  uint32_t displayLevel = kNoDisplayLevel;
  bool multiple = true;
  int32_t uiOrder = 0;
  std::vector<uint32_t> contentTypeMasks;
  std::vector<uint32_t> mediaTypeMasks;
  bool xmlReceivable = false;
  bool subFolderReceivable = false;
  bool everyTimeEnable = false;
  XpString summaryString;
  XpString settingDescription;
  uint32_t supportedDeviceMask = 0;
  bool includeNotSelected = false;
  // The file held "InstalledLocation" / "ExeName" as strings.
  bool hasInstalledLocation = false;
  bool hasExeName = false;

  // Resolved when read.
  XpString exePath;
  XpString iconPath;
  XpString bitmapPath;

  // Where the entry is written.
  XpString filePath;
  // The file the entry was read from, while the entry has not been written
  // to filePath yet; "" for an entry that has no such file to retire.
  XpString sourcePath;
  // The entry file's creation time.
  XpDateTime creationTime;
  // 0 until a list hands one out.
  uint32_t id = 0;

 private:
  void ReadFields(const XpIniDict& dict);
  void ResolvePaths();
  void ResolveSuiteProgram();
  [[nodiscard]] XpResult WriteDocument(std::string* bytes) const;
  void TakeCreationTime();
};
