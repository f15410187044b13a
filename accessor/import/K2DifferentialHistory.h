#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The highest album-database content id imported so far from one camera,
// kept in a small property-list file "DCFIND_<name>.dat" (key "GUID", a
// 64-bit integer) in a folder of the caller's choice. Each saved file is
// listed in the user's "ImportHistory" list "Delete" of the QMV
// initialisation tool, which removes it on a reset. A save replaces the
// file atomically, so the file always holds the old or the new value.
class K2DifferentialHistory {
 public:
  static constexpr const char16_t* kFilePrefix = u"DCFIND_";
  static constexpr const char16_t* kFileExtension = u".dat";
  static constexpr const char16_t* kMaxKey = u"GUID";
  static constexpr const char16_t* kListProgram = u"QMV";
  static constexpr const char16_t* kListSubkey = u"ImportHistory";
  static constexpr const char16_t* kListName = u"Delete";

  K2DifferentialHistory();
  // The folder is taken as it is; GetFilePath checks it.
  K2DifferentialHistory(const XpString& name, const XpString& folder);

  void SetName(const XpString& name) { name_ = name; }
  // Takes folder only when it is an existing folder; false otherwise, the
  // old folder kept.
  bool SetFolder(const XpString& folder);

  // The history file's path; "" when the name is empty or holds a '/', or
  // the folder is not an existing folder.
  XpString GetFilePath() const;

  // Keeps the larger of the stored and the given value, compared signed.
  [[nodiscard]] XpResult UpdateMax(int64_t value);
  int64_t GetMax() const { return max_; }

  // Reads the stored value. Without a file, saves first so that the file
  // exists with the current value. kXpErrWrongState without a file path;
  // otherwise the code of reading the file. A missing or non-integer
  // "GUID", or a failed read, leaves the value as it was.
  [[nodiscard]] XpResult Load();
  // Writes the value and, when that worked, lists the file for deletion
  // (best effort). kXpErrWrongState without a file path, kXpErrOutOfMemory,
  // or the code of writing the file.
  [[nodiscard]] XpResult Save() const;

 private:
  XpString name_;
  XpString folder_;
  int64_t max_ = 0;
};
