#include "platform/resource/XpResourceModule.h"

#include <optional>
#include <string_view>
#include <utility>

#include "platform/fs/XpReadWholeFile.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/value/XpIniDict.h"

namespace {

constexpr std::u16string_view kLibrarySuffix = u".dll";
constexpr const char16_t* kBitmapsFolder = u"bitmaps/";
constexpr const char16_t* kBitmapSuffix = u".bmp";
constexpr const char16_t* kStringsFile = u"strings.plist";
constexpr uint32_t kDecimalBase = 10;

XpString WithTrailingSlash(const XpString& folder) {
  if (folder.IsEmpty() || folder.View().back() == u'/') {
    return folder;
  }
  return folder + u"/";
}

bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix) {
  if (text.size() < suffix.size()) {
    return false;
  }
  const XpString tail(text.substr(text.size() - suffix.size()));
  return tail.CompareNoCase(XpString(suffix).CStr()) == 0;
}

// A key of decimal digits that fits 32 bits.
std::optional<uint32_t> ParseId(std::u16string_view key) {
  if (key.empty()) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char16_t ch : key) {
    if (ch < u'0' || ch > u'9') {
      return std::nullopt;
    }
    value = value * kDecimalBase + static_cast<uint64_t>(ch - u'0');
    if (value > UINT32_MAX) {
      return std::nullopt;
    }
  }
  return static_cast<uint32_t>(value);
}

XpString DecimalText(uint32_t id) {
  XpString text;
  (void)text.Format(u"%u", id);  // a number always formats
  return text;
}

}  // namespace

XpResourceModule::XpResourceModule(const XpString& folder) : folder_(WithTrailingSlash(folder)) {}

XpString XpResourceModule::LibraryFolder(const XpString& libraryName) {
  const XpString programFolder = XpGetSpecialFolder(kXpFolderProgramFolder, false);
  if (programFolder.IsEmpty() || libraryName.IsEmpty()) {
    return XpString();
  }
  std::u16string_view name = libraryName.View();
  if (EndsWithNoCase(name, kLibrarySuffix)) {
    name.remove_suffix(kLibrarySuffix.size());
  }
  return WithTrailingSlash(programFolder) + XpString(name) + u"/";
}

bool XpResourceModule::FindBitmap(uint32_t id, std::vector<uint8_t>* bytes) const {
  if (bytes == nullptr) {
    return false;
  }
  bytes->clear();
  const auto found = bitmaps_.find(id);
  if (found != bitmaps_.end()) {
    *bytes = found->second;
    return true;
  }
  if (folder_.IsEmpty()) {
    return false;
  }
  const XpString path = folder_ + kBitmapsFolder + DecimalText(id) + kBitmapSuffix;
  return XpSucceeded(XpReadWholeFile(path, bytes));
}

XpString XpResourceModule::LoadString(uint32_t id) const {
  const auto found = strings_.find(id);
  if (found != strings_.end()) {
    return found->second;
  }
  std::call_once(stringsFileOnce_, [this] { LoadStringsFile(); });
  const auto fromFile = fileStrings_.find(id);
  return fromFile != fileStrings_.end() ? fromFile->second : XpString();
}

void XpResourceModule::AddBitmap(uint32_t id, std::vector<uint8_t> bytes) {
  bitmaps_[id] = std::move(bytes);
}

void XpResourceModule::AddString(uint32_t id, const XpString& text) { strings_[id] = text; }

void XpResourceModule::LoadStringsFile() const {
  if (folder_.IsEmpty()) {
    return;
  }
  XpIniDict dict;
  // What was read before a failure is kept, like the dictionary does.
  (void)dict.LoadFromFile(folder_ + kStringsFile);
  const auto count = static_cast<uint32_t>(dict.GetCount());
  for (uint32_t i = 0; i < count; ++i) {
    XpString key;
    XpString text;
    const XpIniElement* element = dict.GetAt(i);
    if (XpFailed(dict.GetKeyAt(i, &key)) || element == nullptr ||
        XpFailed(element->GetString(&text))) {
      continue;
    }
    const std::optional<uint32_t> id = ParseId(key.View());
    if (id) {
      fileStrings_.emplace(*id, text);
    }
  }
}
