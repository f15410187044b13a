#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/value/XpIniValue.h"

class XpAbstractFile;
class XpDateTime;

// Type codes of the value tree's elements.
using XpIniType = int32_t;
inline constexpr XpIniType kXpIniTypeBool = 0;
inline constexpr XpIniType kXpIniTypeInt = 1;
inline constexpr XpIniType kXpIniTypeReal = 2;
inline constexpr XpIniType kXpIniTypeString = 3;
inline constexpr XpIniType kXpIniTypeMemChunk = 4;
inline constexpr XpIniType kXpIniTypeDate = 5;
inline constexpr XpIniType kXpIniTypeArray = 6;
inline constexpr XpIniType kXpIniTypeDict = 7;

// An element of the value tree: a scalar, or a container (XpIniArray,
// XpIniDict) that owns the elements below it. Every operation a type does
// not support gives kXpErrValueNotSupported.
//
// Paths name elements below a container: components separated by '/', each
// a key in a dictionary or an index in an array. Find and GetAt hand out
// elements that their container still owns; the tree has no lock.
class XpIniElement {
 public:
  XpIniElement(const XpIniElement&) = delete;
  XpIniElement& operator=(const XpIniElement&) = delete;
  virtual ~XpIniElement();

  // A new element of type with its initial value, owned by the caller.
  // kXpErrValueUnknownType for a type outside 0-7, kXpErrOutOfMemory; *out
  // is null on failure.
  [[nodiscard]] static XpResult Create(XpIniType type, XpIniElement** out,
                                       const XpIniValue& value = {});

  virtual XpIniType GetType() const = 0;

  // Containers.
  virtual int32_t GetCount() const;
  // Null when nothing lies at path.
  virtual XpIniElement* Find(const XpString& path) const;
  virtual XpIniElement* GetAt(int32_t index) const;
  [[nodiscard]] virtual XpResult Remove(const XpString& path);
  [[nodiscard]] virtual XpResult RemoveAt(int32_t index);
  [[nodiscard]] virtual XpResult LoadFromFile(const XpString& path);
  [[nodiscard]] virtual XpResult SaveToFile(const XpString& path);
  // Creates an element: the last component of path is its key in a
  // dictionary or its insertion index in an array (-1 appends).
  [[nodiscard]] virtual XpResult Add(const XpString& path, XpIniType type,
                                     const XpIniValue& value = {});
  [[nodiscard]] virtual XpResult InsertAt(int32_t index, XpIniType type,
                                          const XpIniValue& value = {});

  // Values. A null output gives kXpErrBadArgument.
  [[nodiscard]] virtual XpResult GetMemChunk(XpAbstractFile* destination) const;
  [[nodiscard]] virtual XpResult GetDate(XpDateTime* out) const;
  [[nodiscard]] virtual XpResult GetString(XpString* out) const;
  [[nodiscard]] virtual XpResult GetReal(double* out) const;
  [[nodiscard]] virtual XpResult GetInt64(int64_t* out) const;
  [[nodiscard]] virtual XpResult GetInt32(int32_t* out) const;
  [[nodiscard]] virtual XpResult GetBool(bool* out) const;
  [[nodiscard]] virtual XpResult SetMemChunk(XpAbstractFile* source, int64_t offset,
                                             int64_t length);
  [[nodiscard]] virtual XpResult SetDate(const XpDateTime& value);
  // Null is the empty string.
  [[nodiscard]] virtual XpResult SetString(const char16_t* text);
  [[nodiscard]] virtual XpResult SetReal(double value);
  [[nodiscard]] virtual XpResult SetInt64(int64_t value);

 protected:
  XpIniElement() = default;
};
