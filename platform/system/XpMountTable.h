#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// One line of /proc/self/mountinfo, with the kernel's octal escapes decoded.
struct XpMountEntry {
  uint32_t mountId = 0;
  uint32_t parentId = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  // The folder of the file system that is mounted ("/" for all of it).
  XpString root;
  XpString mountPoint;
  XpString mountOptions;
  // Tagged fields such as "shared:1", in order.
  XpStringVector optionalFields;
  XpString fileSystemType;
  XpString source;
  XpString superOptions;
};

// The mount table of the calling process, read from /proc/self/mountinfo
// below the system root.
class XpMountTable {
 public:
  // Re-reads the table; on failure the table is empty.
  [[nodiscard]] XpResult Load();
  // Replaces the table with the lines of text; malformed lines are skipped.
  void Parse(std::string_view text);

  const std::vector<XpMountEntry>& Entries() const { return entries_; }

  // The entry whose mount point holds path on a component boundary, the
  // longest such; of equal mount points the later (the one on top). Null
  // for a path that does not begin with '/' or when nothing holds it.
  const XpMountEntry* FindContaining(const XpString& path) const;

  // A mountinfo field with "\ooo" octal escapes turned back into their bytes.
  static XpString DecodeField(std::string_view field);

 private:
  std::vector<XpMountEntry> entries_;
};
