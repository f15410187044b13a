#include "platform/value/XpIniDict.h"

#include <algorithm>
#include <new>

#include "platform/value/XpIniPath.h"

namespace {

XpString ToString(std::u16string_view text) {
  return XpString(text.data(), static_cast<int32_t>(text.size()));
}

}  // namespace

XpIniDict::XpIniDict() = default;

XpIniDict::~XpIniDict() = default;

XpIniDict* XpIniDict::Create() {
  XpIniDict* dict = new (std::nothrow) XpIniDict();
  if (dict != nullptr) {
    dict->owned_ = true;
  }
  return dict;
}

void XpIniDict::Destroy(XpIniDict* dict) {
  if (dict != nullptr && dict->owned_) {
    delete dict;
  }
}

void XpIniDict::RemoveAll() { entries_.clear(); }

int32_t XpIniDict::GetCount() const { return static_cast<int32_t>(entries_.size()); }

XpIniElement* XpIniDict::Find(const XpString& path) const {
  const XpIniPathParts parts = XpIniSplitPath(path.View());
  XpIniElement* element = Lookup(parts.head);
  if (!parts.nested || element == nullptr) {
    return element;
  }
  return element->Find(ToString(parts.rest));
}

XpResult XpIniDict::Remove(const XpString& path) {
  const XpIniPathParts parts = XpIniSplitPath(path.View());
  if (parts.nested) {
    XpIniElement* element = Lookup(parts.head);
    return element != nullptr ? element->Remove(ToString(parts.rest)) : kXpErrValueNotFound;
  }
  const auto found = LowerBound(parts.head);
  if (found == entries_.end() || found->key.View() != parts.head) {
    return kXpErrValueNotFound;
  }
  entries_.erase(found);
  return kXpOk;
}

XpResult XpIniDict::Add(const XpString& path, XpIniType type, const XpIniValue& value) {
  const XpIniPathParts parts = XpIniSplitPath(path.View());
  if (parts.nested) {
    XpIniElement* element = Lookup(parts.head);
    return element != nullptr ? element->Add(ToString(parts.rest), type, value)
                              : kXpErrValueNotFound;
  }
  const auto place = LowerBound(parts.head);
  if (place != entries_.end() && place->key.View() == parts.head) {
    return kXpErrValueKeyExists;
  }
  XpIniElement* created = nullptr;
  const XpResult result = XpIniElement::Create(type, &created, value);
  if (result != kXpOk) {
    return result;
  }
  Entry entry{path, std::unique_ptr<XpIniElement>(created)};
  try {
    entries_.insert(place, std::move(entry));
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}

XpIniElement* XpIniDict::GetAt(uint32_t index) const {
  return index < entries_.size() ? entries_[index].element.get() : nullptr;
}

XpResult XpIniDict::GetKeyAt(uint32_t index, XpString* key) const {
  if (key == nullptr) {
    return kXpErrBadArgument;
  }
  if (index >= entries_.size()) {
    return kXpErrValueNotFound;
  }
  *key = entries_[index].key;
  return kXpOk;
}

XpIniDict::Entries::const_iterator XpIniDict::LowerBound(std::u16string_view key) const {
  // std::u16string_view compares by UTF-16 code unit, as XpString does.
  return std::lower_bound(entries_.begin(), entries_.end(), key,
                          [](const Entry& entry, std::u16string_view wanted) {
                            return entry.key.View() < wanted;
                          });
}

XpIniElement* XpIniDict::Lookup(std::u16string_view key) const {
  const auto found = LowerBound(key);
  if (found == entries_.end() || found->key.View() != key) {
    return nullptr;
  }
  return found->element.get();
}
