#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "framework/app/XfAppRegistry.h"
#include "platform/fs/XpAbstractDir.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/volume/XpFilePathConverter.h"

// The settings of one camera-to-PC import: the camera folder to import
// from, the destination folder on the PC, whether imported objects are
// removed from the camera, whether only objects newer than the last import
// are taken, and where the import record file goes. The two flags live in
// the accessor's per-user settings key; the destination folder, in portable
// form, in the application's "Importer\DCF" key.
class K2ImportConfig {
 public:
  static constexpr const char16_t* kDifferentialImportValue = u"DifferantialImport";
  static constexpr const char16_t* kRemoveAfterImportValue = u"RemoveAfterImport";
  static constexpr const char16_t* kImporterKey = u"Importer\\DCF";
  static constexpr const char16_t* kDestDirValue = u"DestDir";
  static constexpr const char16_t* kDocumentsToken = u"<MYDOCUMENTS>";
  static constexpr const char16_t* kVolumeTokenFormat = u"<%08X%08X>";

  // OpenSettingsKey access: read, or read and write (creating the key).
  static constexpr uint32_t kOpenForRead = 1;
  static constexpr uint32_t kOpenForWrite = 2;

  // Seconds since 1970 of the local time; names new record files.
  using SecondsClock = std::function<int64_t()>;

  // No source, no folders, remove-after-import off, differential on.
  K2ImportConfig();
  K2ImportConfig(const K2ImportConfig&) = delete;
  K2ImportConfig& operator=(const K2ImportConfig&) = delete;
  virtual ~K2ImportConfig();

  // Reads both flags and the destination folder. Without the settings key
  // both flags are on and the folder is the pictures folder, the
  // "Importer\DCF" key unread. A missing flag reads as on; a missing, empty
  // or unconvertible folder as the pictures folder. Always kXpOk.
  [[nodiscard]] XpResult Load();
  // Writes both flags and the destination folder in portable form.
  // kXpErrGeneric when either key cannot be opened for writing; single
  // value writes are not checked.
  [[nodiscard]] XpResult Save();

  XpString GetDestDir() const { return destDir_; }
  void SetDestDir(const XpString& folder) { destDir_ = folder; }
  bool GetRemoveAfterImport() const { return removeAfterImport_; }
  bool GetDifferentialImport() const { return differentialImport_; }
  void SetDifferentialImport(bool differential) { differentialImport_ = differential; }

  void SetRecordFilePath(const XpString& path) { recordFilePath_ = path; }
  // The explicit path when one was set, unchanged. Otherwise creates a new,
  // empty record file "<n>.xml" in "<app data>/Kavo Corporation/QMV/
  // ImportData" (made when missing), n being the clock's second, raised
  // while taken, and returns its path; "" when it cannot be created. Each
  // such call makes a new file.
  XpString GetRecordFilePath();
  // Replaces the clock of GetRecordFilePath; an empty one is the system's.
  void SetClock(SecondsClock clock) { clock_ = std::move(clock); }

  XpSharedPtr<XpAbstractDir> GetSource() const { return source_; }
  void SetSource(XpSharedPtr<XpAbstractDir> source) { source_ = std::move(source); }
  // A new folder object on path becomes the source.
  void SetSourcePath(const XpString& path);

  virtual XpFilePathConverter& GetPathConverter() { return pathConverter_; }

  // The accessor's per-user settings key of the version the machine
  // records; null when the machine's key or the settings key cannot be
  // opened with access (kOpenForRead or kOpenForWrite).
  static XfRegistryKey OpenSettingsKey(uint32_t access);

 private:
  XpSharedPtr<XpAbstractDir> source_;
  XpString destDir_;
  bool removeAfterImport_ = false;
  bool differentialImport_ = true;
  XpString recordFilePath_;
  XpFilePathConverter pathConverter_;
  SecondsClock clock_;
};
