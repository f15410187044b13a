#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/text/XpString.h"

// Value types, numbered as the registry numbers them.
inline constexpr uint32_t kXpRegNone = 0;
inline constexpr uint32_t kXpRegSz = 1;
inline constexpr uint32_t kXpRegExpandSz = 2;
inline constexpr uint32_t kXpRegBinary = 3;
inline constexpr uint32_t kXpRegDword = 4;
inline constexpr uint32_t kXpRegMultiSz = 7;
inline constexpr uint32_t kXpRegQword = 11;

// One value: its name ("" for the key's default value), type and raw bytes
// (text as UTF-16LE with its terminator, numbers little-endian).
struct XpRegValue {
  XpString name;
  uint32_t type = kXpRegNone;
  std::vector<uint8_t> data;
};

bool operator==(const XpRegValue& a, const XpRegValue& b);

// Inheritance flags of a grant.
inline constexpr uint32_t kXpRegInheritObjects = 1;
inline constexpr uint32_t kXpRegInheritContainers = 2;

// One access grant recorded on a key: who, which access rights, and how it
// passes to what lies below. Grants are kept with the key but never
// enforced: the file's own permissions decide who may write.
struct XpRegGrant {
  XpString trustee;
  uint32_t accessMask = 0;
  uint32_t inheritance = 0;
};

bool operator==(const XpRegGrant& a, const XpRegGrant& b);

// Keys below a root never nest deeper than this; the text form and the
// API refuse deeper keys, far below what a real key uses.
inline constexpr size_t kXpRegMaxKeyDepth = 512;

// One key of a registry tree with its values and subkeys. Names match
// without case and keep the case they were created with; values and
// subkeys stay in the order they were added. Destruction and comparison
// walk the tree without recursion, so no depth overflows the stack.
class XpRegKey {
 public:
  explicit XpRegKey(const XpString& name) : name_(name) {}
  XpRegKey(const XpRegKey&) = delete;
  XpRegKey& operator=(const XpRegKey&) = delete;
  ~XpRegKey();

  const XpString& Name() const { return name_; }

  XpRegKey* FindSubkey(const XpString& name) const;
  // The subkey of that name, added when missing.
  XpRegKey* AddSubkey(const XpString& name);
  bool RemoveSubkey(const XpString& name);
  const std::vector<std::unique_ptr<XpRegKey>>& Subkeys() const { return subkeys_; }

  const XpRegValue* FindValue(const XpString& name) const;
  // Replaces the data of an existing value in place (its name keeps its
  // case) or appends a new value. False when nothing changed.
  bool SetValue(const XpString& name, uint32_t type, const std::vector<uint8_t>& data);
  bool RemoveValue(const XpString& name);
  const std::vector<XpRegValue>& Values() const { return values_; }

  const std::vector<XpRegGrant>& Grants() const { return grants_; }
  // Replaces the grant of the same trustee (matched without case) or
  // appends it. False when nothing changed.
  bool SetGrant(const XpRegGrant& grant);

  // The key at path (names separated by '/' or '\') below this one; this
  // key for an empty path. Null when missing.
  XpRegKey* Find(const XpString& path);
  // Same tree: names (with their case), order, types, data and grants.
  bool SameAs(const XpRegKey& other) const;

 private:
  XpString name_;
  std::vector<XpRegValue> values_;
  std::vector<XpRegGrant> grants_;
  std::vector<std::unique_ptr<XpRegKey>> subkeys_;
};

// The key names of a path: split at '/' and '\', empty names dropped.
XpStringVector XpRegSplitKeyPath(const XpString& path);

// A name a key or value may have: no NUL, no line break, and text that
// survives UTF-8 unchanged.
bool XpRegIsValidName(const XpString& name);
// Key names that may be made below a root: each a valid name, and no more
// than kXpRegMaxKeyDepth of them.
bool XpRegIsValidKeyPath(const XpStringVector& names);
