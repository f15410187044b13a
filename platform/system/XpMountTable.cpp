#include "platform/system/XpMountTable.h"

#include <charconv>
#include <optional>
#include <string>

#include "platform/system/XpSysRoot.h"
#include "platform/text/XpUtf.h"

namespace {

constexpr const char* kMountInfoPath = "/proc/self/mountinfo";
constexpr std::string_view kOptionalFieldsEnd = "-";
constexpr char kEscape = '\\';
constexpr size_t kEscapeDigits = 3;
constexpr int kOctalBase = 8;
constexpr size_t kFieldsBeforeOptional = 6;
constexpr size_t kFieldsAfterSeparator = 3;

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (start < line.size()) {
    size_t end = line.find(' ', start);
    if (end == std::string_view::npos) end = line.size();
    if (end > start) fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
  Number value = 0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, value);
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
  return value;
}

bool IsOctalDigit(char ch) { return ch >= '0' && ch <= '7'; }

// "major:minor".
bool ParseDevice(std::string_view text, XpMountEntry& entry) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  auto major = ParseNumber<uint32_t>(text.substr(0, colon));
  auto minor = ParseNumber<uint32_t>(text.substr(colon + 1));
  if (!major || !minor) return false;
  entry.major = *major;
  entry.minor = *minor;
  return true;
}

std::optional<XpMountEntry> ParseLine(std::string_view line) {
  const std::vector<std::string_view> fields = SplitFields(line);
  size_t separator = kFieldsBeforeOptional;
  while (separator < fields.size() && fields[separator] != kOptionalFieldsEnd) ++separator;
  if (separator + kFieldsAfterSeparator >= fields.size()) return std::nullopt;

  XpMountEntry entry;
  auto mountId = ParseNumber<uint32_t>(fields[0]);
  auto parentId = ParseNumber<uint32_t>(fields[1]);
  if (!mountId || !parentId || !ParseDevice(fields[2], entry)) return std::nullopt;
  entry.mountId = *mountId;
  entry.parentId = *parentId;
  entry.root = XpMountTable::DecodeField(fields[3]);
  entry.mountPoint = XpMountTable::DecodeField(fields[4]);
  entry.mountOptions = XpMountTable::DecodeField(fields[5]);
  for (size_t i = kFieldsBeforeOptional; i < separator; ++i) {
    entry.optionalFields.push_back(XpMountTable::DecodeField(fields[i]));
  }
  entry.fileSystemType = XpMountTable::DecodeField(fields[separator + 1]);
  entry.source = XpMountTable::DecodeField(fields[separator + 2]);
  entry.superOptions = XpMountTable::DecodeField(fields[separator + 3]);
  return entry;
}

// True when mountPoint holds path: equal, or path continues below it after
// a '/'. "/" holds every absolute path.
bool Holds(std::u16string_view mountPoint, std::u16string_view path) {
  if (mountPoint.empty() || path.size() < mountPoint.size()) return false;
  if (path.substr(0, mountPoint.size()) != mountPoint) return false;
  if (mountPoint.back() == u'/' || path.size() == mountPoint.size()) return true;
  return path[mountPoint.size()] == u'/';
}

}  // namespace

XpString XpMountTable::DecodeField(std::string_view field) {
  std::string bytes;
  bytes.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    const bool escaped = field[i] == kEscape && i + kEscapeDigits < field.size() &&
                         IsOctalDigit(field[i + 1]) && IsOctalDigit(field[i + 2]) &&
                         IsOctalDigit(field[i + 3]);
    if (!escaped) {
      bytes.push_back(field[i]);
      continue;
    }
    int value = 0;
    for (size_t digit = 1; digit <= kEscapeDigits; ++digit) {
      value = value * kOctalBase + (field[i + digit] - '0');
    }
    bytes.push_back(static_cast<char>(value));
    i += kEscapeDigits;
  }
  return XpString(XpUtf8ToUtf16(bytes));
}

XpResult XpMountTable::Load() {
  entries_.clear();
  std::string text;
  const XpResult result = XpSysRootReadFile(kMountInfoPath, &text);
  if (XpFailed(result)) return result;
  Parse(text);
  return kXpOk;
}

void XpMountTable::Parse(std::string_view text) {
  entries_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (std::optional<XpMountEntry> entry = ParseLine(text.substr(start, end - start))) {
      entries_.push_back(*entry);
    }
    start = end + 1;
  }
}

const XpMountEntry* XpMountTable::FindContaining(const XpString& path) const {
  const std::u16string_view wanted = path.View();
  if (wanted.empty() || wanted.front() != u'/') return nullptr;
  const XpMountEntry* best = nullptr;
  for (const XpMountEntry& entry : entries_) {
    const std::u16string_view mountPoint = entry.mountPoint.View();
    if (!Holds(mountPoint, wanted)) continue;
    if (best == nullptr || mountPoint.size() >= best->mountPoint.View().size()) best = &entry;
  }
  return best;
}
