#include "framework/suite/XpSerialize.h"

#include "platform/value/XpIniDict.h"

namespace {

constexpr const char16_t* kPointX = u"X";
constexpr const char16_t* kPointY = u"Y";

// The new element of type under key; null when the key is taken or the
// element cannot be added.
XpIniElement* AddElement(XpIniDict& dict, const XpString& key, XpIniType type) {
  if (dict.Find(key) != nullptr) return nullptr;
  if (dict.Add(key, type) != kXpOk) return nullptr;
  return dict.Find(key);
}

// The element under key when it has type; null otherwise.
const XpIniElement* FindTyped(const XpIniDict& dict, const XpString& key, XpIniType type) {
  const XpIniElement* element = dict.Find(key);
  if (element == nullptr || element->GetType() != type) return nullptr;
  return element;
}

}  // namespace

XpSerialize::~XpSerialize() = default;

bool XpSerialize::WriteReal(XpIniDict& dict, const XpString& key, double value) {
  XpIniElement* element = AddElement(dict, key, kXpIniTypeReal);
  return element != nullptr && element->SetReal(value) == kXpOk;
}

bool XpSerialize::WriteInt(XpIniDict& dict, const XpString& key, int32_t value) {
  XpIniElement* element = AddElement(dict, key, kXpIniTypeInt);
  return element != nullptr && element->SetInt64(value) == kXpOk;
}

bool XpSerialize::WritePoint(XpIniDict& dict, const XpString& key, const Point& value) {
  XpIniElement* element = AddElement(dict, key, kXpIniTypeDict);
  if (element == nullptr) return false;
  auto* point = static_cast<XpIniDict*>(element);
  const bool wroteX = WriteReal(*point, kPointX, value.first);
  const bool wroteY = WriteReal(*point, kPointY, value.second);
  return wroteX && wroteY;
}

bool XpSerialize::WriteString(XpIniDict& dict, const XpString& key, const XpString& value) {
  XpIniElement* element = AddElement(dict, key, kXpIniTypeString);
  return element != nullptr && element->SetString(value.CStr()) == kXpOk;
}

bool XpSerialize::WriteDate(XpIniDict& dict, const XpString& key, const XpDateTime& value) {
  XpIniElement* element = AddElement(dict, key, kXpIniTypeDate);
  return element != nullptr && element->SetDate(value) == kXpOk;
}

bool XpSerialize::ReadReal(const XpIniDict& dict, const XpString& key, double* out) {
  const XpIniElement* element = FindTyped(dict, key, kXpIniTypeReal);
  double value = 0.0;
  if (element == nullptr || out == nullptr || element->GetReal(&value) != kXpOk) return false;
  *out = value;
  return true;
}

bool XpSerialize::ReadFloat(const XpIniDict& dict, const XpString& key, float* out) {
  double value = 0.0;
  if (out == nullptr || !ReadReal(dict, key, &value)) return false;
  *out = static_cast<float>(value);
  return true;
}

bool XpSerialize::ReadInt(const XpIniDict& dict, const XpString& key, int32_t* out) {
  const XpIniElement* element = FindTyped(dict, key, kXpIniTypeInt);
  int32_t value = 0;
  if (element == nullptr || out == nullptr || element->GetInt32(&value) != kXpOk) return false;
  *out = value;
  return true;
}

bool XpSerialize::ReadPoint(const XpIniDict& dict, const XpString& key, Point* out) {
  const XpIniElement* element = FindTyped(dict, key, kXpIniTypeDict);
  if (element == nullptr || out == nullptr) return false;
  const auto& point = static_cast<const XpIniDict&>(*element);
  Point value;
  if (!ReadReal(point, kPointX, &value.first) || !ReadReal(point, kPointY, &value.second)) {
    return false;
  }
  *out = value;
  return true;
}

bool XpSerialize::ReadString(const XpIniDict& dict, const XpString& key, XpString* out) {
  const XpIniElement* element = FindTyped(dict, key, kXpIniTypeString);
  XpString value;
  if (element == nullptr || out == nullptr || element->GetString(&value) != kXpOk) return false;
  *out = value;
  return true;
}

bool XpSerialize::ReadDate(const XpIniDict& dict, const XpString& key, XpDateTime* out) {
  const XpIniElement* element = FindTyped(dict, key, kXpIniTypeDate);
  XpDateTime value;
  if (element == nullptr || out == nullptr || element->GetDate(&value) != kXpOk) return false;
  *out = value;
  return true;
}
