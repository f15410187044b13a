#pragma once

#include <cstdint>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniElement.h"

// The scalar elements of the value tree. Their getters and setters return
// kXpOk; a null output gives kXpErrBadArgument.

class XpIniBool : public XpIniElement {
 public:
  explicit XpIniBool(bool value = false) : value_(value) {}

  XpIniType GetType() const override { return kXpIniTypeBool; }
  [[nodiscard]] XpResult GetBool(bool* out) const override;
  [[nodiscard]] virtual XpResult SetBool(bool value);

 private:
  bool value_;
};

class XpIniInt : public XpIniElement {
 public:
  explicit XpIniInt(int64_t value = 0) : value_(value) {}

  XpIniType GetType() const override { return kXpIniTypeInt; }
  [[nodiscard]] XpResult GetInt64(int64_t* out) const override;
  // Writes the low 32 bits in any case; kXpErrValueNotInt32 when the value
  // lies outside the int32 range.
  [[nodiscard]] XpResult GetInt32(int32_t* out) const override;
  [[nodiscard]] XpResult SetInt64(int64_t value) override;

 private:
  int64_t value_;
};

class XpIniReal : public XpIniElement {
 public:
  XpIniReal() = default;

  XpIniType GetType() const override { return kXpIniTypeReal; }
  [[nodiscard]] XpResult GetReal(double* out) const override;
  [[nodiscard]] XpResult SetReal(double value) override;

 private:
  double value_ = 0.0;
};

class XpIniString : public XpIniElement {
 public:
  // Null is the empty string.
  explicit XpIniString(const char16_t* text = nullptr) : value_(text) {}

  XpIniType GetType() const override { return kXpIniTypeString; }
  [[nodiscard]] XpResult GetString(XpString* out) const override;
  [[nodiscard]] XpResult SetString(const char16_t* text) override;

 private:
  XpString value_;
};

// Starts as a date that is not valid.
class XpIniDate : public XpIniElement {
 public:
  XpIniDate() = default;

  XpIniType GetType() const override { return kXpIniTypeDate; }
  // Value and valid flag.
  [[nodiscard]] XpResult GetDate(XpDateTime* out) const override;
  [[nodiscard]] XpResult SetDate(const XpDateTime& value) override;

 private:
  XpDateTime value_;
};
