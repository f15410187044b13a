#include "platform/value/XpIniArray.h"

#include <new>

#include "platform/value/XpIniPath.h"

namespace {

XpString ToString(std::u16string_view text) {
  return XpString(text.data(), static_cast<int32_t>(text.size()));
}

}  // namespace

XpIniArray::~XpIniArray() {
  // Front to back.
  for (std::unique_ptr<XpIniElement>& element : elements_) {
    element.reset();
  }
}

int32_t XpIniArray::GetCount() const { return static_cast<int32_t>(elements_.size()); }

XpIniElement* XpIniArray::Find(const XpString& path) const {
  const XpIniPathParts parts = XpIniSplitPath(path.View());
  XpIniElement* element = GetAt(XpIniParseIndex(parts.head));
  if (!parts.nested || element == nullptr) {
    return element;
  }
  return element->Find(ToString(parts.rest));
}

XpIniElement* XpIniArray::GetAt(int32_t index) const {
  if (index < 0 || index >= GetCount()) {
    return nullptr;
  }
  return elements_[static_cast<size_t>(index)].get();
}

XpResult XpIniArray::Remove(const XpString& path) {
  const XpIniPathParts parts = XpIniSplitPath(path.View());
  const int32_t index = XpIniParseIndex(parts.head);
  if (!parts.nested) {
    return RemoveAt(index);
  }
  XpIniElement* element = GetAt(index);
  return element != nullptr ? element->Remove(ToString(parts.rest)) : kXpErrValueNotFound;
}

XpResult XpIniArray::RemoveAt(int32_t index) {
  if (index < 0 || index >= GetCount()) {
    return kXpErrValueNotFound;
  }
  elements_.erase(elements_.begin() + index);
  return kXpOk;
}

XpResult XpIniArray::Add(const XpString& path, XpIniType type, const XpIniValue& value) {
  const XpIniPathParts parts = XpIniSplitPath(path.View());
  const int32_t index = XpIniParseIndex(parts.head);
  if (!parts.nested) {
    return InsertAt(index, type, value);
  }
  XpIniElement* element = GetAt(index);
  return element != nullptr ? element->Add(ToString(parts.rest), type, value)
                            : kXpErrValueNotFound;
}

XpResult XpIniArray::InsertAt(int32_t index, XpIniType type, const XpIniValue& value) {
  const uint32_t count = static_cast<uint32_t>(elements_.size());
  const uint32_t at = index == kAppend ? count : static_cast<uint32_t>(index);
  if (at > count) {
    return kXpErrValueNotFound;
  }
  XpIniElement* created = nullptr;
  const XpResult result = Create(type, &created, value);
  if (result != kXpOk) {
    return result;
  }
  std::unique_ptr<XpIniElement> element(created);
  try {
    elements_.insert(elements_.begin() + at, std::move(element));
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}
