#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "platform/text/XpString.h"

// The bitmaps and strings of a resource library, kept in a bundle folder:
//   bitmaps/<id>.bmp  whole bitmap files ("BM" header), decimal ids;
//   strings.plist     a property-list dictionary of decimal ids to strings.
// An in-memory bundle (AddBitmap, AddString) serves tests; entries added
// in memory come before the folder's. The strings are read once, at the
// first LoadString. Safe to use from several threads once filled.
class XpResourceModule {
 public:
  // An empty bundle in memory.
  XpResourceModule() = default;
  // The bundle in folder (absolute; a trailing '/' is optional).
  explicit XpResourceModule(const XpString& folder);
  XpResourceModule(const XpResourceModule&) = delete;
  XpResourceModule& operator=(const XpResourceModule&) = delete;

  // The bundle folder of a library: "Name.dll" (or "Name") is the folder
  // "Name" beside the program, with a trailing '/'; "" when the program's
  // folder cannot be told.
  static XpString LibraryFolder(const XpString& libraryName);

  const XpString& GetFolder() const { return folder_; }

  // The bytes of bitmap id; false, bytes empty, when there is none.
  bool FindBitmap(uint32_t id, std::vector<uint8_t>* bytes) const;
  // The string id; "" when there is none.
  XpString LoadString(uint32_t id) const;

  void AddBitmap(uint32_t id, std::vector<uint8_t> bytes);
  void AddString(uint32_t id, const XpString& text);

 private:
  void LoadStringsFile() const;

  XpString folder_;
  std::map<uint32_t, std::vector<uint8_t>> bitmaps_;
  std::map<uint32_t, XpString> strings_;
  mutable std::once_flag stringsFileOnce_;
  mutable std::map<uint32_t, XpString> fileStrings_;
};
