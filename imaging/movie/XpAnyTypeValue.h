#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// Type codes of XpAnyTypeValueBase::GetType. Code 3 is not used.
inline constexpr int32_t kXpAnyTypeInt32 = 1;
inline constexpr int32_t kXpAnyTypeUInt32 = 2;
inline constexpr int32_t kXpAnyTypeUInt64 = 4;
inline constexpr int32_t kXpAnyTypeString = 5;
inline constexpr int32_t kXpAnyTypeDouble = 6;

// A value of one of five types.
class XpAnyTypeValueBase {
 public:
  XpAnyTypeValueBase() = default;
  XpAnyTypeValueBase(const XpAnyTypeValueBase&) = delete;
  XpAnyTypeValueBase& operator=(const XpAnyTypeValueBase&) = delete;
  virtual ~XpAnyTypeValueBase() = default;

  virtual int32_t GetType() const = 0;
};

// Type tags of XpAnyTypeValue: the payload type and its type code.
struct XpAnyTypeValueInt32 {
  using Type = int32_t;
  static constexpr int32_t kType = kXpAnyTypeInt32;
};
struct XpAnyTypeValueUInt32 {
  using Type = uint32_t;
  static constexpr int32_t kType = kXpAnyTypeUInt32;
};
struct XpAnyTypeValueUInt64 {
  using Type = uint64_t;
  static constexpr int32_t kType = kXpAnyTypeUInt64;
};
struct XpAnyTypeValueString {
  using Type = XpString;
  static constexpr int32_t kType = kXpAnyTypeString;
};
struct XpAnyTypeValueDouble {
  using Type = double;
  static constexpr int32_t kType = kXpAnyTypeDouble;
};

template <typename Tag>
class XpAnyTypeValue final : public XpAnyTypeValueBase {
 public:
  using Type = typename Tag::Type;

  explicit XpAnyTypeValue(const Type& value) : value_(value) {}

  int32_t GetType() const override { return Tag::kType; }
  const Type& GetValue() const { return value_; }

 private:
  Type value_;
};
