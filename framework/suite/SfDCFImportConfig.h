#pragma once

#include <cstdint>
#include <vector>

#include "framework/app/XfAppRegistry.h"
#include "platform/fs/XpDir.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"
#include "platform/volume/XpFilePathConverter.h"

// The suite's settings for importing pictures and movies from a camera's
// DCF storage, kept in the registry:
//   local machine "Software\Kavo Corporation\Kavo Telvane\Importer\DCF"
//     "CurrentVersion" names the settings' version;
//   current user, the same path + "\" + that version (the path itself for
//     an empty version): the DWORDs "AutomaticImport", "DifferantialImport"
//     (spelt so), "RemoveAfterImport" and the string "DestDir", the
//     destination in the converter's portable form.
// Besides the stored settings the object proposes the dated sub-folder of
// one import and makes the path of the importer's hand-over file. The
// text, the four further flags and the item list are kept for the caller;
// nothing here reads them.
class SfDCFImportConfig {
 public:
  // Further flags, kept but never stored.
  static constexpr int32_t kExtraFlagCount = 4;
  // Highest number tried for a free "<name>(<n>)" folder name; past it the
  // bare name is proposed.
  static constexpr int32_t kMaxFolderNumber = 65535;

  SfDCFImportConfig();
  SfDCFImportConfig(const SfDCFImportConfig&) = delete;
  SfDCFImportConfig& operator=(const SfDCFImportConfig&) = delete;
  virtual ~SfDCFImportConfig();

  virtual XpFilePathConverter& GetPathConverter();

  // The settings key opened with access (XpRegistry::kAccessRead or
  // kAccessWrite; writing creates it); null when the version key under the
  // local machine or the settings key cannot be opened.
  XfRegistryKey OpenSettingsKey(uint32_t access) const;

  // Reads the settings (kXpErrGeneric without the keys: the members keep
  // their values). A destination that is not an existing folder is
  // dropped; an empty one becomes the pictures folder. Then proposes the
  // import folder name for now: its short date with every character not
  // allowed in a file name turned into '-', followed by "(1)", "(2)", ...
  // while a file or folder of that name exists in the destination.
  [[nodiscard]] XpResult Load();
  // The same with the current time given.
  [[nodiscard]] XpResult Load(const XpDateTime& now);
  // Writes the four values; kXpErrGeneric, nothing written, without the
  // keys. A single value that cannot be written is not reported.
  [[nodiscard]] XpResult Save();

  bool IsAutomaticImport() const { return automaticImport_; }
  void SetAutomaticImport(bool on) { automaticImport_ = on; }
  bool IsDifferentialImport() const { return differentialImport_; }
  void SetDifferentialImport(bool on) { differentialImport_ = on; }
  bool IsRemoveAfterImport() const { return removeAfterImport_; }
  void SetRemoveAfterImport(bool on) { removeAfterImport_ = on; }
  // index 0 to kExtraFlagCount - 1; defaults true, false, false, true. An
  // index outside reads false and is not set.
  bool GetExtraFlag(int32_t index) const;
  void SetExtraFlag(int32_t index, bool on);

  const XpString& GetText() const { return text_; }
  void SetText(const XpString& text) { text_ = text; }

  const XpString& GetDestDir() const { return destDir_; }
  void SetDestDir(const XpString& path) { destDir_ = path; }
  const XpString& GetFolderName() const { return folderName_; }
  void SetFolderName(const XpString& name) { folderName_ = name; }
  // The destination joined with the import folder name.
  XpString GetImportFolderPath() const;

  XpSharedPtr<XpDir> GetDestinationFolder() const { return destinationFolder_; }
  void SetDestinationFolder(const XpSharedPtr<XpDir>& folder) { destinationFolder_ = folder; }
  void SetDestinationFolder(const XpString& path);

  void AddItem(uint32_t item) { items_.push_back(item); }
  std::vector<uint32_t> GetItems() const { return items_; }
  void SetItems(const std::vector<uint32_t>& items) { items_ = items; }

  // The stored hand-over path; when there is none, a new empty file in
  // <app data>/Kavo Corporation/Kavo Telvane/ImportData (made when
  // missing), which is stored and returned from then on. "" on failure.
  XpString GetHandOverFilePath();
  void SetHandOverFilePath(const XpString& path) { handOverFilePath_ = path; }

 private:
  // The dated folder name free in the destination.
  XpString ProposeFolderName(const XpDateTime& now) const;

  XpString text_;
  XpSharedPtr<XpDir> destinationFolder_;
  XpString destDir_;
  XpString folderName_;
  bool removeAfterImport_ = false;
  bool differentialImport_ = true;
  bool automaticImport_ = false;
  bool extraFlags_[kExtraFlagCount] = {true, false, false, true};
  std::vector<uint32_t> items_;
  XpString handOverFilePath_;
  XpFilePathConverter pathConverter_;
};
