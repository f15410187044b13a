#pragma once

#include <array>
#include <mutex>

#include "platform/text/XpString.h"

// The folders of special-folder kinds 1 to 9 and their display names, read
// once, on first use, from whichever thread comes first.
class XpDisplayPathTable {
 public:
  // path with a leading special-folder path replaced by that folder's
  // display name; the folders are tried in kind order, compared
  // case-sensitively, and must be followed in path by '/' or the end.
  // Other paths come back unchanged.
  XpString ToDisplayPath(const XpString& path);

 private:
  struct Entry {
    XpString folder;
    XpString displayName;
  };
  static constexpr size_t kEntryCount = 9;

  void Fill();

  std::once_flag filled_;
  std::array<Entry, kEntryCount> entries_;
};

// XpDisplayPathTable::ToDisplayPath over the process's one table.
XpString XpPathToDisplayPath(const XpString& path);
