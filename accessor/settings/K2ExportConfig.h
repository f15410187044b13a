#pragma once

#include <cstdint>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The user's choices for one export: whether pictures are converted to a
// smaller size and which, whether picture cutting applies, the temporary
// folder and the camera volume chosen as destination. All but the
// destination are kept in the user's registry, under the version that the
// installer records for the machine.
class K2ExportConfig {
 public:
  static constexpr const char16_t* kVersionKeyPath = u"Software\\Kavo Corporation\\QMV\\Accessor\\K2";
  static constexpr const char16_t* kVersionValue = u"CurrentVersion";
  static constexpr const char16_t* kTempDirValue = u"TempDir";
  static constexpr const char16_t* kChangeImageFileSizeValue = u"ChangeImageFileSize";
  static constexpr const char16_t* kImageFileSizeValue = u"ImageFileSize";
  static constexpr const char16_t* kPictureCuttingValue = u"PictureCutting";

  // Empty folders, both flags false, size 0; Load gives the defaults.
  K2ExportConfig();
  K2ExportConfig(const K2ExportConfig& other);
  K2ExportConfig& operator=(const K2ExportConfig& other);
  virtual ~K2ExportConfig();

  void SetTempDir(const XpString& folder) { tempDir_ = folder; }
  const XpString& GetTempDir() const { return tempDir_; }
  void SetChangeImageFileSize(bool change) { changeImageFileSize_ = change; }
  bool GetChangeImageFileSize() const { return changeImageFileSize_; }
  // 0 and 1 are the two size choices.
  void SetImageFileSize(uint32_t size) { imageFileSize_ = size; }
  uint32_t GetImageFileSize() const { return imageFileSize_; }
  void SetPictureCutting(bool cutting) { pictureCutting_ = cutting; }
  bool GetPictureCutting() const { return pictureCutting_; }
  // The camera volume's mount point.
  void SetDestination(const XpString& volume) { destination_ = volume; }
  const XpString& GetDestination() const { return destination_; }

  // Reads the stored settings; without a settings key, and for each value
  // missing or of another type, the default: conversion on, size 0, no
  // cutting, the system temporary folder. A stored folder that is not an
  // existing folder reads as the system temporary folder. Always kXpOk.
  [[nodiscard]] XpResult Load();
  // Stores all but the destination; kXpErrGeneric when the settings key
  // cannot be opened for writing or a value cannot be written.
  [[nodiscard]] XpResult Save() const;

  // Each is true when the two differ. Folders are compared exactly, after
  // one trailing '/' is dropped from each. The conversion differs when the
  // change flag does, or, with it on on both sides, the size or the
  // cutting does.
  bool IsTempDirDifferent(const K2ExportConfig& other) const;
  bool IsConversionDifferent(const K2ExportConfig& other) const;
  bool IsDestinationDifferent(const K2ExportConfig& other) const;
  bool IsDifferent(const K2ExportConfig& other) const;

 private:
  void SetDefaults();

  XpString tempDir_;
  bool changeImageFileSize_ = false;
  uint32_t imageFileSize_ = 0;
  bool pictureCutting_ = false;
  // Copied with the settings; nothing fills it.
  std::vector<uint32_t> values_;
  XpString destination_;
};
