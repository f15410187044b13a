#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniDict.h"

// The content-info document through which the suite's programs hand a set
// of pictures and movies to one another: a property list whose root holds
// "XMLFileType", "SourceApp", optionally "ImportDirPath", and
// "ContentsGroupList", an array of groups. A group holds "GroupName" and
// "ContentsList", an array of contents; a contents entry holds "Files", an
// array of full paths (entry 0 is the main file), and optionally "Selected"
// and "DateTimeOriginal". Key names are case-sensitive.
//
// Documents come from other programs, so every reader checks types: a list
// key that is not an array counts as missing, and a group or contents entry
// that is not a dictionary cannot be fetched. Group and contents elements
// are owned by the document; null means none.
class SfContentInfoXML : public XpIniDict {
 public:
  // How many file names MakeFilePath tries before it gives up.
  static constexpr int32_t kMaxNameAttempts = 65536;

  SfContentInfoXML();
  ~SfContentInfoXML() override;

  // Adds "XMLFileType", "SourceApp", "ImportDirPath" (only when
  // importDirPath is not null) and an empty "ContentsGroupList", in this
  // order, and stops at the first add that fails (kXpErrValueKeyExists on a
  // document that is not empty).
  [[nodiscard]] XpResult InitHeader(const XpString& sourceApp, const char16_t* importDirPath);
  // "SourceApp"; empty when absent or not a string.
  XpString GetSourceApp() const;

  // Appends a group with "GroupName" and an empty "ContentsList". Null when
  // "ContentsGroupList" is missing or the group cannot be built completely;
  // a half-built group is removed again.
  XpIniElement* AddContentsGroup(const XpString& groupName);
  // Appends a contents entry with an empty "Files" to the group's
  // "ContentsList"; null when group is null or has no list.
  static XpIniElement* AddContents(XpIniElement* group);
  // Appends path to the contents' "Files"; kXpErrValueNotFound when there is
  // no "Files".
  [[nodiscard]] static XpResult AddFile(XpIniElement* contents, const XpString& path);

  // -1 when "ContentsGroupList" is missing.
  int32_t GetContentsGroupCount() const;
  // Null when the list is missing or the index is out of range.
  XpIniElement* GetContentsGroup(uint32_t index) const;
  // The first group whose "GroupName" equals groupName exactly.
  XpIniElement* FindContentsGroup(const XpString& groupName) const;

  // -1 when group is null or has no "ContentsList".
  static int32_t GetContentsCount(const XpIniElement* group);
  static XpIniElement* GetContents(const XpIniElement* group, uint32_t index);

  // 0 when contents is null or has no "Files".
  static int32_t GetFileCount(const XpIniElement* contents);
  // Copies the index-th file into *path. kXpErrValueNotFound when "Files"
  // is missing or has no entry at index; kXpErrValueNotSupported, *path
  // untouched, when the entry is not a string.
  [[nodiscard]] static XpResult GetFile(const XpIniElement* contents, uint32_t index,
                                        XpString* path);
  // The Boolean "Selected"; false when absent or of another type.
  static bool IsSelected(const XpIniElement* contents);
  // The real "DateTimeOriginal" in days since 1899-12-30.
  // kXpErrValueNotFound without "Files" or without the key;
  // kXpErrValueNotSupported when the element is not a real;
  // kXpErrValueParse when the number is no valid date. *date is set only on
  // success.
  [[nodiscard]] static XpResult GetDateTimeOriginal(const XpIniElement* contents, XpDateTime* date);
  // The first selected contents entry, groups and contents in list order.
  XpIniElement* FindFirstSelectedContents() const;

  // Creates a new, empty file named "<n>.xml" in folder, n being the local
  // time in seconds since 1970 (low 32 bits, signed), raised by one while
  // the name is taken. Returns its path; empty when folder is empty, when
  // the create fails for another reason, or after kMaxNameAttempts names.
  static XpString MakeFilePath(const XpString& folder);
  // The same, starting at firstSecond.
  static XpString MakeFilePath(const XpString& folder, int64_t firstSecond);
};
