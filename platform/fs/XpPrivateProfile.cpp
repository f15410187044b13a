#include "platform/fs/XpPrivateProfile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/XpReadWholeFile.h"
#include "platform/text/XpUtf.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr char16_t kCommentMark = u';';
constexpr char16_t kSectionOpen = u'[';
constexpr char16_t kSectionClose = u']';
constexpr char16_t kAssign = u'=';
constexpr const char16_t* kLineEnds = u"\r\n";
constexpr unsigned kBitsPerByte = 8;

bool IsBlank(char16_t ch) { return ch == u' ' || ch == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One pair of matching double or single quotes around the whole value.
std::u16string_view Unquote(std::u16string_view value) {
  const bool quoted = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                      value.back() == value.front();
  return quoted ? value.substr(1, value.size() - 2) : value;
}

// UTF-16LE after its byte-order mark (an odd last byte is dropped), else
// UTF-8 without its byte-order mark.
std::u16string DecodeText(std::string_view bytes) {
  if (bytes.starts_with(kUtf16LeBom)) {
    std::u16string text;
    for (size_t i = kUtf16LeBom.size(); i + 1 < bytes.size(); i += 2) {
      const auto low = static_cast<uint8_t>(bytes[i]);
      const auto high = static_cast<uint8_t>(bytes[i + 1]);
      text += static_cast<char16_t>(low | (high << kBitsPerByte));
    }
    return text;
  }
  if (bytes.starts_with(kUtf8Bom)) bytes.remove_prefix(kUtf8Bom.size());
  return XpUtf8ToUtf16(bytes);
}

bool SameName(std::u16string_view name, const XpString& wanted) {
  return XpString(name).CompareNoCase(wanted.CStr()) == 0;
}

// The value of the first key named key in a section named section.
std::optional<XpString> FindValue(std::u16string_view text, const XpString& section,
                                  const XpString& key) {
  bool inSection = false;
  size_t position = 0;
  while (position < text.size()) {
    size_t end = text.find_first_of(kLineEnds, position);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view line = Trim(text.substr(position, end - position));
    position = end + 1;
    if (line.empty() || line.front() == kCommentMark) continue;
    if (line.front() == kSectionOpen) {
      const size_t close = line.find(kSectionClose);
      const size_t length = close == std::u16string_view::npos ? std::u16string_view::npos : close - 1;
      inSection = SameName(Trim(line.substr(1, length)), section);
      continue;
    }
    const size_t assign = line.find(kAssign);
    if (!inSection || assign == std::u16string_view::npos) continue;
    if (SameName(Trim(line.substr(0, assign)), key)) {
      return XpString(Unquote(Trim(line.substr(assign + 1))));
    }
  }
  return std::nullopt;
}

XpString CutToCapacity(const XpString& text, uint32_t capacity) {
  if (capacity == 0) return XpString();
  const uint32_t room = capacity - 1;
  return static_cast<uint32_t>(text.GetLength()) > room ? text.Left(static_cast<int32_t>(room))
                                                         : text;
}

}  // namespace

XpString XpGetPrivateProfileString(const XpString& section, const XpString& key,
                                   const XpString& defaultValue, uint32_t capacity,
                                   const XpString& path) {
  std::vector<uint8_t> bytes;
  if (XpFailed(XpReadWholeFile(path, &bytes))) return CutToCapacity(defaultValue, capacity);
  const std::u16string text =
      DecodeText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  const XpString wantedSection(Trim(section.View()));
  const XpString wantedKey(Trim(key.View()));
  const std::optional<XpString> value = FindValue(text, wantedSection, wantedKey);
  return CutToCapacity(value ? *value : defaultValue, capacity);
}
