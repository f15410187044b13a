#include "platform/registry/XpRegistryTree.h"

#include <algorithm>

namespace {

bool SameName(const XpString& a, const XpString& b) { return a.CompareNoCase(b.CStr()) == 0; }

bool IsKeySeparator(char16_t ch) { return ch == u'/' || ch == u'\\'; }

}  // namespace

bool operator==(const XpRegValue& a, const XpRegValue& b) {
  return a.name == b.name && a.type == b.type && a.data == b.data;
}

XpRegKey* XpRegKey::FindSubkey(const XpString& name) const {
  for (const std::unique_ptr<XpRegKey>& subkey : subkeys_) {
    if (SameName(subkey->name_, name)) return subkey.get();
  }
  return nullptr;
}

XpRegKey* XpRegKey::AddSubkey(const XpString& name) {
  if (XpRegKey* existing = FindSubkey(name)) return existing;
  subkeys_.push_back(std::make_unique<XpRegKey>(name));
  return subkeys_.back().get();
}

bool XpRegKey::RemoveSubkey(const XpString& name) {
  auto found = std::find_if(subkeys_.begin(), subkeys_.end(),
                            [&](const auto& subkey) { return SameName(subkey->name_, name); });
  if (found == subkeys_.end()) return false;
  subkeys_.erase(found);
  return true;
}

const XpRegValue* XpRegKey::FindValue(const XpString& name) const {
  for (const XpRegValue& value : values_) {
    if (SameName(value.name, name)) return &value;
  }
  return nullptr;
}

bool XpRegKey::SetValue(const XpString& name, uint32_t type, const std::vector<uint8_t>& data) {
  for (XpRegValue& value : values_) {
    if (!SameName(value.name, name)) continue;
    if (value.type == type && value.data == data) return false;
    value.type = type;
    value.data = data;
    return true;
  }
  values_.push_back(XpRegValue{name, type, data});
  return true;
}

bool XpRegKey::RemoveValue(const XpString& name) {
  auto found = std::find_if(values_.begin(), values_.end(),
                            [&](const XpRegValue& value) { return SameName(value.name, name); });
  if (found == values_.end()) return false;
  values_.erase(found);
  return true;
}

XpRegKey* XpRegKey::Find(const XpString& path) {
  XpRegKey* key = this;
  for (const XpString& name : XpRegSplitKeyPath(path)) {
    key = key->FindSubkey(name);
    if (key == nullptr) return nullptr;
  }
  return key;
}

bool XpRegKey::SameAs(const XpRegKey& other) const {
  if (name_ != other.name_ || values_ != other.values_ ||
      subkeys_.size() != other.subkeys_.size()) {
    return false;
  }
  for (size_t i = 0; i < subkeys_.size(); ++i) {
    if (!subkeys_[i]->SameAs(*other.subkeys_[i])) return false;
  }
  return true;
}

XpStringVector XpRegSplitKeyPath(const XpString& path) {
  XpStringVector names;
  const std::u16string_view text = path.View();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && !IsKeySeparator(text[end])) ++end;
    if (end > start) names.push_back(XpString(text.substr(start, end - start)));
    start = end + 1;
  }
  return names;
}
