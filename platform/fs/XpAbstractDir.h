#pragma once

#include <cstdint>

#include "platform/fs/XpAbstractFSObj.h"
#include "platform/memory/XpSharedPtr.h"

// Enumeration filter bits. A child must be admitted by its kind, then pass
// at most one name test, tried in the order equals, begins, ends; names
// compare exactly and case-sensitively.
using XpEnumFilter = uint32_t;
inline constexpr XpEnumFilter kXpEnumDirectories = 0x1;
inline constexpr XpEnumFilter kXpEnumFiles = 0x2;
inline constexpr XpEnumFilter kXpEnumAll = kXpEnumDirectories | kXpEnumFiles;
inline constexpr XpEnumFilter kXpEnumNameEquals = 0x100;
inline constexpr XpEnumFilter kXpEnumNameBegins = 0x200;
inline constexpr XpEnumFilter kXpEnumNameEnds = 0x400;

// A folder: enumeration of its children, and counts and sizes over them.
class XpAbstractDir : public XpAbstractFSObj {
 public:
  // The sum of the sizes of every file below the folder; -1 when the folder
  // cannot be enumerated. Ends any enumeration running on this object.
  int64_t GetSize() override;
  bool IsFile() const override { return false; }
  bool IsDirectory() const override { return true; }

  // Ends a running enumeration and starts a new one. Succeeds on an
  // existing folder even when nothing matches.
  [[nodiscard]] virtual XpResult BeginEnum(XpEnumFilter filter, const XpString& pattern) = 0;
  // The next matching child as a new object; empty at the end or when no
  // enumeration runs.
  virtual XpSharedPtr<XpAbstractFSObj> GetNext() = 0;
  // kXpErrWrongState when no enumeration runs.
  [[nodiscard]] virtual XpResult EndEnum() = 0;
  // Children, and with recursive their children too; 0 when the folder
  // cannot be enumerated. Ends any enumeration running on this object.
  virtual int64_t CountChildren(bool recursive);
  // True only for a folder that can be enumerated and has no children. Ends
  // any enumeration running on this object.
  virtual bool IsEmpty();
  // The filter test of the running (or last) enumeration.
  virtual bool MatchEntry(bool isDirectory, const XpString& name) const;

 protected:
  // Stores the filter and the pattern of a new enumeration.
  void SetFilter(XpEnumFilter filter, const XpString& pattern);

 private:
  XpEnumFilter filter_ = kXpEnumAll;
  XpString pattern_;
  int32_t patternLength_ = 0;
};
