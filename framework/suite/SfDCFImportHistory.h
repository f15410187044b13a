#pragma once

#include <cstddef>
#include <vector>

#include "framework/suite/SfDCFImportedFile.h"
#include "platform/fs/XpAbstractFSObj.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// A named list of imported files, kept as the XML property list
//   $XDG_DATA_HOME/Kavo Corporation/Kavo Telvane/Importer/<name>.xml
// with the key "ImportedFiles": an array of one dictionary per record, in
// list order. A later import asks it which files it has seen.
//
// The name is a file name: an empty one, one holding '/' or a NUL, "." and
// ".." are refused with kXpErrOpenForWriteFailed, so that no name places
// the file outside the folder.
//
// Save replaces the file atomically (a temporary file beside it, flushed and
// renamed over it): a save that fails or is killed leaves the previous
// history whole. The camera import relies on that.
class SfDCFImportHistory {
 public:
  explicit SfDCFImportHistory(const XpString& name);
  ~SfDCFImportHistory();

  // The history file's path; "" for a refused name and when the
  // application-data folder cannot be told. Creates the "Importer"
  // folder and its parents when missing (a failure there is ignored).
  XpString GetFilePath() const;
  // Appends the records of the file to those held, so loading twice doubles
  // them. kXpErrFileNotFound when there is no file; kXpOk and nothing added
  // when it has no "ImportedFiles". Elements that are not dictionaries are
  // passed over; a record lacking a key keeps the default for that field.
  [[nodiscard]] XpResult Load();
  // Writes every record; on success lists the file in the InitTool list
  // "Delete" of the subkey "ImportHistory", so that the suite's
  // initialisation tool removes it (that step's result is ignored). The
  // result is that of writing the file.
  [[nodiscard]] XpResult Save();
  // Records the file as it is now. A record whose path equals the file's
  // without regard to case (FAT names compare so) is overwritten, its path
  // included; otherwise the record is appended. A file that cannot be read
  // is recorded all the same.
  void AddImportedFile(const XpString& fullPath);
  // Whether a record equals the file as it is now (path case-sensitive,
  // both times, size).
  bool Contains(const XpString& fullPath) const;
  // A file: Contains of its path. A folder: true when every direct entry is
  // contained (an empty folder too). False for a null object, for anything
  // else and for a folder that cannot be enumerated.
  bool Contains(const XpSharedPtr<XpAbstractFSObj>& object) const;
  size_t GetCount() const { return records_.size(); }
  const std::vector<SfDCFImportedFile>& GetRecords() const { return records_; }

 private:
  bool HasValidName() const;

  XpString name_;
  std::vector<SfDCFImportedFile> records_;
};
