#include "platform/registry/XpRegistryTree.h"

#include <algorithm>
#include <utility>

#include "platform/text/XpUtf.h"

namespace {

// Whole names: a NUL inside a name never ends the comparison early.
bool SameName(const XpString& a, const XpString& b) {
  return a.GetLength() == b.GetLength() && a.CompareNoCase(b.CStr()) == 0;
}

bool IsKeySeparator(char16_t ch) { return ch == u'/' || ch == u'\\'; }

constexpr char16_t kNul = 0;

}  // namespace

bool operator==(const XpRegValue& a, const XpRegValue& b) {
  return a.name == b.name && a.type == b.type && a.data == b.data;
}

bool operator==(const XpRegGrant& a, const XpRegGrant& b) {
  return a.trustee == b.trustee && a.accessMask == b.accessMask && a.inheritance == b.inheritance;
}

XpRegKey::~XpRegKey() {
  // Each key is taken apart after its subkeys moved to the worklist, so no
  // destructor call reaches a second level.
  std::vector<std::unique_ptr<XpRegKey>> pending = std::move(subkeys_);
  subkeys_.clear();
  while (!pending.empty()) {
    std::unique_ptr<XpRegKey> key = std::move(pending.back());
    pending.pop_back();
    for (std::unique_ptr<XpRegKey>& subkey : key->subkeys_) pending.push_back(std::move(subkey));
    key->subkeys_.clear();
  }
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

bool XpRegKey::SetGrant(const XpRegGrant& grant) {
  for (XpRegGrant& existing : grants_) {
    if (!SameName(existing.trustee, grant.trustee)) continue;
    if (existing == grant) return false;
    existing = grant;
    return true;
  }
  grants_.push_back(grant);
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
  std::vector<std::pair<const XpRegKey*, const XpRegKey*>> pending{{this, &other}};
  while (!pending.empty()) {
    const auto [mine, theirs] = pending.back();
    pending.pop_back();
    if (mine->name_ != theirs->name_ || mine->values_ != theirs->values_ ||
        mine->grants_ != theirs->grants_ ||
        mine->subkeys_.size() != theirs->subkeys_.size()) {
      return false;
    }
    for (size_t i = 0; i < mine->subkeys_.size(); ++i) {
      pending.emplace_back(mine->subkeys_[i].get(), theirs->subkeys_[i].get());
    }
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

bool XpRegIsValidName(const XpString& name) {
  const std::u16string_view text = name.View();
  for (char16_t unit : text) {
    if (unit == kNul || unit == u'\r' || unit == u'\n') return false;
  }
  return XpUtf8ToUtf16(XpUtf16ToUtf8(text)) == text;
}

bool XpRegIsValidKeyPath(const XpStringVector& names) {
  if (names.size() > kXpRegMaxKeyDepth) return false;
  return std::all_of(names.begin(), names.end(), XpRegIsValidName);
}
