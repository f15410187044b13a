#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// One open registry key under the local-machine or the current-user root,
// with typed getters that fall back to the caller's default and typed
// setters. Every key path and value name given to Open, the getters and the
// setters has each '/' turned into '\'. A list of strings is stored as the
// REG_DWORD "<prefix>Count" and one REG_SZ "<prefix><index>" per entry.
//
// An object is used by one thread at a time; separate objects may be used on
// separate threads. A key deleted by someone else reads as empty and refuses
// changes.
class XpRegistry {
 public:
  static constexpr uint32_t kRootLocalMachine = 1;
  // Any root other than kRootLocalMachine means the current user.
  static constexpr uint32_t kRootCurrentUser = 2;

  static constexpr uint32_t kAccessRead = 0x1;
  static constexpr uint32_t kAccessWrite = 0x2;
  // The 64- and 32-bit views are one tree here; the bits are accepted.
  static constexpr uint32_t kAccessView64 = 0x4;
  static constexpr uint32_t kAccessView32 = 0x8;

  XpRegistry() = default;
  XpRegistry(const XpRegistry&) = delete;
  XpRegistry& operator=(const XpRegistry&) = delete;
  virtual ~XpRegistry();

  // Closes any open key, then opens the key; with write access a missing
  // key (and its parents) is created. kXpOk or kXpErrGeneric.
  [[nodiscard]] XpResult Open(const XpString& path, uint32_t root, uint32_t access);
  // A new object with the key open, or null. Free it with CloseAndDelete.
  static XpRegistry* OpenNew(const XpString& path, uint32_t root, uint32_t access);
  // parent's path + '\' + name under parent's root; null on failure or for
  // a closed or null parent.
  static XpRegistry* OpenSubKey(const XpRegistry* parent, const XpString& name, uint32_t access);
  // Closes and frees a key from OpenNew or OpenSubKey; null is allowed.
  static void CloseAndDelete(XpRegistry* key);

  // kXpErrGeneric when no key is open.
  [[nodiscard]] XpResult Close();

  bool IsOpen() const { return open_; }
  const XpString& GetPath() const { return path_; }
  uint32_t GetRoot() const { return root_; }
  uint32_t GetAccess() const { return access_; }

  // The value exists with data.
  bool HasValue(const XpString& name) const;
  // A REG_DWORD, else the default; QueryBool is true for any non-zero value.
  bool QueryBool(const XpString& name, bool defaultValue) const;
  uint32_t QueryDword(const XpString& name, uint32_t defaultValue) const;
  // A REG_BINARY that fits buffer (size in: its capacity, out: the bytes
  // read); false otherwise, with buffer and size unchanged.
  bool QueryBinary(const XpString& name, void* buffer, uint32_t* size) const;
  // A REG_SZ, else the default (REG_EXPAND_SZ too).
  XpString QueryString(const XpString& name, const XpString& defaultValue) const;
  // Entry i falls back to defaults[i], or "" past its end; without a count
  // value the defaults are returned.
  XpStringVector QueryStringList(const XpString& prefix, const XpStringVector& defaults) const;
  // A REG_MULTI_SZ: its entries up to the first empty one. False, with list
  // unchanged, for another type, a missing value or a null list.
  bool QueryMultiString(const XpString& name, XpStringVector* list) const;
  // The names of the open key's subkeys or values, in the order they were
  // added and with their stored case. names is emptied first. kXpOk, or
  // kXpErrGeneric for a null names, a key not open for reading or a key
  // that is gone.
  [[nodiscard]] XpResult EnumSubkeys(XpStringVector* names) const;
  [[nodiscard]] XpResult EnumValues(XpStringVector* names) const;

  // kXpOk or kXpErrGeneric.
  [[nodiscard]] XpResult SetBool(const XpString& name, bool flag);
  [[nodiscard]] XpResult SetDword(const XpString& name, uint32_t value);
  [[nodiscard]] XpResult SetString(const XpString& name, const XpString& text);
  // Writes the count, then the entries; stops at the first failure, leaving
  // what was written.
  [[nodiscard]] XpResult SetStringList(const XpString& prefix, const XpStringVector& list);
  // A REG_MULTI_SZ of the entries; an empty entry ends the list early.
  [[nodiscard]] XpResult SetMultiString(const XpString& name, const XpStringVector& list);

  // Removes the key and everything below it; the path is taken as it is.
  [[nodiscard]] static XpResult DeleteKeyTree(const XpString& path, uint32_t root);
  // Removes the value named after the last '\' of fullPath from the key
  // before it (a path without '\' names a value directly under the root).
  [[nodiscard]] static XpResult DeleteValue(const XpString& fullPath, uint32_t root);

 private:
  bool CanRead() const;
  [[nodiscard]] XpResult SetValue(const XpString& name, uint32_t type, const void* data, size_t size);

  bool open_ = false;
  XpString path_;
  uint32_t root_ = 0;
  uint32_t access_ = kAccessRead;
};
