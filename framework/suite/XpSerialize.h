#pragma once

#include <cstdint>
#include <utility>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

class XpIniDict;

// A record that writes itself into, and reads itself from, a value-tree
// dictionary, one field per key.
class XpSerialize {
 public:
  XpSerialize() = default;
  XpSerialize(const XpSerialize&) = default;
  XpSerialize& operator=(const XpSerialize&) = default;
  virtual ~XpSerialize();

  [[nodiscard]] virtual XpResult Read(const XpIniDict& dict) = 0;
  [[nodiscard]] virtual XpResult Write(XpIniDict& dict) const = 0;

 protected:
  using Point = std::pair<double, double>;

  // Each writer adds key with its element type and then sets the value.
  // False when the key is taken (its value stays as it was) or when setting
  // fails.
  static bool WriteReal(XpIniDict& dict, const XpString& key, double value);
  // Sign-extended into an integer element.
  static bool WriteInt(XpIniDict& dict, const XpString& key, int32_t value);
  // A dictionary with the reals "X" and "Y".
  static bool WritePoint(XpIniDict& dict, const XpString& key, const Point& value);
  static bool WriteString(XpIniDict& dict, const XpString& key, const XpString& value);
  static bool WriteDate(XpIniDict& dict, const XpString& key, const XpDateTime& value);

  // Each reader leaves *out as it was and returns false when key is
  // missing, holds another element type or cannot be read.
  static bool ReadReal(const XpIniDict& dict, const XpString& key, double* out);
  // The real narrowed to single precision.
  static bool ReadFloat(const XpIniDict& dict, const XpString& key, float* out);
  // Integers outside the int32 range fail.
  static bool ReadInt(const XpIniDict& dict, const XpString& key, int32_t* out);
  // Succeeds only when both "X" and "Y" can be read.
  static bool ReadPoint(const XpIniDict& dict, const XpString& key, Point* out);
  static bool ReadString(const XpIniDict& dict, const XpString& key, XpString* out);
  static bool ReadDate(const XpIniDict& dict, const XpString& key, XpDateTime* out);
};
