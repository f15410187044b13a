#include "framework/strings/XfStringsManager.h"

#include <array>
#include <string>
#include <string_view>

#include "framework/strings/XfStringLookup.h"
#include "platform/value/XpIniElement.h"

namespace {

constexpr std::u16string_view kAbsoluteLink = u"::/";
constexpr std::u16string_view kSiblingLink = u"::";
constexpr char16_t kKeySeparator = u'/';
constexpr const char16_t* kNameEntry = u"Name";
constexpr const char16_t* kOtherEntry = u"Other";

constexpr const char16_t* kErrorsPrefix = u"Errors/";
constexpr const char16_t* kGenericErrorsKey = u"Errors/Generic";
constexpr uint32_t kErrorGroupShift = 8;
constexpr uint32_t kErrorGroupMask = 0x7F;
constexpr uint32_t kErrorNumberMask = 0x3F;
// Groups whose low six bits are clear (0x40xx, 0xC0xx) read documents too.
constexpr uint32_t kDocumentReadGroupMask = 0x3F;
constexpr const char16_t* kDocumentReadCategory = u"DocumentRead";
// By group 0-6; group 3 has no category of its own.
constexpr std::array<const char16_t*, 7> kErrorCategories = {
    u"Generic", u"File", u"Thread", u"", u"Memory", u"Ini", kDocumentReadCategory,
};

// The value of a string element; empty for anything else.
XpString StringValue(const XpIniElement* element) {
  XpString text;
  if (element != nullptr && element->GetType() == kXpIniTypeString) {
    // The type is checked above; text stays empty otherwise.
    (void)element->GetString(&text);
  }
  return text;
}

// A string's value, or a dictionary's "Name" entry.
XpString TextOf(const XpIniElement* element) {
  if (element != nullptr && element->GetType() == kXpIniTypeDict) {
    return StringValue(element->Find(XpString(kNameEntry)));
  }
  return StringValue(element);
}

XpString After(const XpString& text, std::u16string_view prefix) {
  return XpString(text.View().substr(prefix.size()));
}

// The category of an error code; null when it has none.
const char16_t* ErrorCategory(uint32_t code) {
  const uint32_t group = (code >> kErrorGroupShift) & kErrorGroupMask;
  if (group < kErrorCategories.size()) {
    return kErrorCategories[group];
  }
  if ((group & kDocumentReadGroupMask) == 0) {
    return kDocumentReadCategory;
  }
  return nullptr;
}

}  // namespace

XfStringsManager::XfStringsManager() = default;

XfStringsManager::~XfStringsManager() = default;

XpResult XfStringsManager::Load(const XpString& path) { return dict_.LoadFromFile(path); }

bool XfStringsManager::HasString(const char16_t* key) const {
  return dict_.Find(XpString(key)) != nullptr;
}

XpString XfStringsManager::GetString(const char16_t* key) const { return Resolve(XpString(key), 0); }

XpString XfStringsManager::GetStringItem(const char16_t* key, const char16_t* item) const {
  return ResolveItem(XpString(key), XpString(item), 0);
}

XpString XfStringsManager::Resolve(const XpString& key, int hops) const {
  const XpString text = TextOf(dict_.Find(key));
  const std::u16string_view view = text.View();
  if (!view.starts_with(kSiblingLink)) {
    return text;
  }
  const bool absolute = view.starts_with(kAbsoluteLink);
  const int32_t lastSeparator = key.ReverseFind(kKeySeparator);
  // A sibling link at the top level has no parent to look in.
  if (!absolute && lastSeparator < 0) {
    return text;
  }
  if (hops >= kMaxLinkHops) {
    return XpString();
  }
  if (absolute) {
    return Resolve(After(text, kAbsoluteLink), hops + 1);
  }
  return ResolveItem(key.Left(lastSeparator), After(text, kSiblingLink), hops + 1);
}

XpString XfStringsManager::ResolveItem(const XpString& key, const XpString& item, int hops) const {
  const XpIniElement* dict = dict_.Find(key);
  if (dict == nullptr || dict->GetType() != kXpIniTypeDict) {
    return XpString();
  }
  const XpIniElement* entry = dict->Find(item);
  if (entry == nullptr || entry->GetType() != kXpIniTypeString) {
    entry = dict->Find(XpString(kOtherEntry));
  }
  const XpString text = StringValue(entry);
  const std::u16string_view view = text.View();
  if (!view.starts_with(kSiblingLink)) {
    return text;
  }
  if (hops >= kMaxLinkHops) {
    return XpString();
  }
  if (view.starts_with(kAbsoluteLink)) {
    return Resolve(After(text, kAbsoluteLink), hops + 1);
  }
  return ResolveItem(key, After(text, kSiblingLink), hops + 1);
}

XpString XfStringsManager::FormatString(const char16_t* key, XfFormatArgs args) const {
  const XpString text = XfGetString(key);
  if (text.IsEmpty()) {
    return text;
  }
  std::u16string formatted;
  if (XfFormatPrintfTo(text.CStr(), args, &formatted) != kXpOk) {
    return XpString();
  }
  return XpString(formatted);
}

XpString XfStringsManager::FormatMessage(const char16_t* key, XfFormatArgs args) const {
  const XpString text = XfGetString(key);
  if (text.IsEmpty()) {
    return text;
  }
  std::u16string formatted;
  if (XfFormatMessageTo(text.CStr(), args, &formatted) != kXpOk) {
    return text;
  }
  return XpString(formatted);
}

XpString XfStringsManager::GetErrorText(uint32_t code, XfFormatArgs args) const {
  const char16_t* category = ErrorCategory(code);
  if (category == nullptr || category[0] == u'\0') {
    return GetStringItem(kGenericErrorsKey, kOtherEntry);
  }
  const XpString prefix = XpString(kErrorsPrefix) + category + u"/";
  XpString key = prefix;
  (void)key.AppendFormat(u"%u", code & kErrorNumberMask);  // a number always formats
  if (!HasString(key.CStr())) {
    return FormatString((prefix + kOtherEntry).CStr(), args);
  }
  const XpString text = FormatString(key.CStr(), args);
  if (text.View().starts_with(kAbsoluteLink)) {
    return FormatString(After(text, kAbsoluteLink).CStr(), args);
  }
  if (text.View().starts_with(kSiblingLink)) {
    return FormatString((prefix + After(text, kSiblingLink)).CStr(), args);
  }
  return text;
}
