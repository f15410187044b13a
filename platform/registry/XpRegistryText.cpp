#include "platform/registry/XpRegistryText.h"

#include <charconv>
#include <optional>
#include <vector>

#include "platform/text/XpUtf.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kDwordPrefix = "dword:";
constexpr std::string_view kHexPrefix = "hex";
constexpr std::string_view kDefaultValueName = "@";
constexpr std::string_view kContinuation = "\\\n  ";
constexpr size_t kContinuationIndent = 2;
constexpr size_t kHexLineLimit = 77;
constexpr size_t kDwordDigits = 8;
constexpr size_t kMaxByteDigits = 2;
constexpr int kHexBase = 16;
constexpr int kBitsPerByte = 8;
constexpr uint8_t kLowByte = 0xFF;
constexpr char kKeySeparator = '\\';
constexpr char kQuote = '"';
constexpr char kEscape = '\\';
constexpr char kComment = ';';
constexpr char16_t kNul = 0;

constexpr std::string_view kGrantPrefix = ";grant ";
constexpr int kDecimalBase = 10;

constexpr const char* kHexDigits = "0123456789abcdef";

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

// The text as UTF-8, whatever byte-order mark it starts with.
std::string DecodeInput(std::string_view text) {
  if (text.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
    std::u16string units;
    for (size_t i = kUtf16LeBom.size(); i + 1 < text.size(); i += 2) {
      units.push_back(static_cast<char16_t>(static_cast<uint8_t>(text[i]) |
                                            (static_cast<uint8_t>(text[i + 1]) << kBitsPerByte)));
    }
    return XpUtf16ToUtf8(units);
  }
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  return std::string(text);
}

bool IsComment(std::string_view line) {
  line = TrimLeft(line);
  return !line.empty() && line.front() == kComment;
}

// Physical lines joined where a line ends with '\'; CR before LF dropped.
std::vector<std::string> LogicalLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string current;
  bool continuing = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = end + 1;
    current += continuing ? TrimLeft(line) : line;
    const std::string_view trimmed = TrimRight(current);
    continuing = !IsComment(current) && !trimmed.empty() && trimmed.back() == kEscape;
    if (continuing) {
      current.resize(trimmed.size() - 1);
      continue;
    }
    lines.push_back(std::move(current));
    current.clear();
  }
  if (continuing) lines.push_back(std::move(current));
  return lines;
}

// A quoted text at text[pos], with \\ and \" escaped; pos moves past it.
std::optional<std::string> ParseQuoted(std::string_view text, size_t& pos) {
  if (pos >= text.size() || text[pos] != kQuote) return std::nullopt;
  std::string result;
  for (size_t i = pos + 1; i < text.size(); ++i) {
    const char ch = text[i];
    if (ch == kQuote) {
      pos = i + 1;
      return result;
    }
    const bool escaped = ch == kEscape && i + 1 < text.size() &&
                         (text[i + 1] == kEscape || text[i + 1] == kQuote);
    if (escaped) ++i;
    result.push_back(text[i]);
  }
  return std::nullopt;
}

std::optional<uint32_t> ParseHexNumber(std::string_view digits, size_t maxDigits) {
  if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
  uint32_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto parsed = std::from_chars(digits.data(), end, value, kHexBase);
  if (parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
  return value;
}

// "aa,bb,cc" (white space allowed, one trailing comma tolerated).
std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<uint8_t> bytes;
  text = Trim(text);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view token = Trim(text.substr(start, end - start));
    const bool lastAfterComma = token.empty() && end == text.size();
    if (!lastAfterComma) {
      const std::optional<uint32_t> byte = ParseHexNumber(token, kMaxByteDigits);
      if (!byte) return std::nullopt;
      bytes.push_back(static_cast<uint8_t>(*byte));
    }
    start = end + 1;
  }
  return bytes;
}

std::vector<uint8_t> TextBytes(std::string_view utf8) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : XpUtf8ToUtf16(utf8)) {
    bytes.push_back(static_cast<uint8_t>(unit & kLowByte));
    bytes.push_back(static_cast<uint8_t>(unit >> kBitsPerByte));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> DwordBytes(uint32_t value) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < sizeof(value); ++i) {
    bytes.push_back(static_cast<uint8_t>(value >> (i * kBitsPerByte)));
  }
  return bytes;
}

struct ParsedData {
  uint32_t type;
  std::vector<uint8_t> data;
};

// The right-hand side of a value line.
std::optional<ParsedData> ParseData(std::string_view text) {
  if (!text.empty() && text.front() == kQuote) {
    size_t pos = 0;
    std::optional<std::string> value = ParseQuoted(text, pos);
    if (!value || !Trim(text.substr(pos)).empty()) return std::nullopt;
    return ParsedData{kXpRegSz, TextBytes(*value)};
  }
  if (text.substr(0, kDwordPrefix.size()) == kDwordPrefix) {
    std::optional<uint32_t> value = ParseHexNumber(Trim(text.substr(kDwordPrefix.size())), kDwordDigits);
    if (!value) return std::nullopt;
    return ParsedData{kXpRegDword, DwordBytes(*value)};
  }
  if (text.substr(0, kHexPrefix.size()) != kHexPrefix) return std::nullopt;
  text.remove_prefix(kHexPrefix.size());
  uint32_t type = kXpRegBinary;
  if (!text.empty() && text.front() == '(') {
    const size_t close = text.find(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::optional<uint32_t> parsedType = ParseHexNumber(text.substr(1, close - 1), kDwordDigits);
    if (!parsedType) return std::nullopt;
    type = *parsedType;
    text.remove_prefix(close + 1);
  }
  if (text.empty() || text.front() != ':') return std::nullopt;
  std::optional<std::vector<uint8_t>> bytes = ParseHexBytes(text.substr(1));
  if (!bytes) return std::nullopt;
  return ParsedData{type, std::move(*bytes)};
}

bool ParseValueLine(std::string_view line, XpRegKey& key) {
  size_t pos = 0;
  std::string name;
  if (line.substr(0, kDefaultValueName.size()) == kDefaultValueName) {
    pos = kDefaultValueName.size();
  } else {
    std::optional<std::string> quoted = ParseQuoted(line, pos);
    if (!quoted) return false;
    name = std::move(*quoted);
  }
  std::string_view rest = TrimLeft(line.substr(pos));
  if (rest.empty() || rest.front() != '=') return false;
  std::optional<ParsedData> data = ParseData(TrimLeft(rest.substr(1)));
  if (!data) return false;
  const XpString valueName = XpString::FromUtf8(name);
  if (!XpRegIsValidName(valueName)) return false;
  key.SetValue(valueName, data->type, data->data);
  return true;
}

// "[ROOT\A\B]": the key A\B below root, created when missing. Null for a
// malformed line, a name the text form cannot hold or a key nested deeper
// than kXpRegMaxKeyDepth.
XpRegKey* ParseSection(std::string_view line, const XpString& rootName, XpRegKey& root) {
  if (line.size() < 2 || line.back() != ']') return nullptr;
  const std::string_view inner = line.substr(1, line.size() - 2);
  const size_t separator = inner.find(kKeySeparator);
  const std::string_view head = inner.substr(0, separator);
  if (XpString::FromUtf8(head).CompareNoCase(rootName.CStr()) != 0) return nullptr;
  if (separator == std::string_view::npos) return &root;
  const XpStringVector names = XpRegSplitKeyPath(XpString::FromUtf8(inner.substr(separator + 1)));
  if (!XpRegIsValidKeyPath(names)) return nullptr;
  XpRegKey* key = &root;
  for (const XpString& name : names) key = key->AddSubkey(name);
  return key;
}

std::optional<uint32_t> ParseDecimal(std::string_view digits) {
  uint32_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto parsed = std::from_chars(digits.data(), end, value, kDecimalBase);
  if (digits.empty() || parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
  return value;
}

// ";grant "TRUSTEE" MASK FLAGS"; nothing for any other comment.
std::optional<XpRegGrant> ParseGrantLine(std::string_view line) {
  if (line.substr(0, kGrantPrefix.size()) != kGrantPrefix) return std::nullopt;
  line.remove_prefix(kGrantPrefix.size());
  size_t pos = 0;
  std::optional<std::string> trustee = ParseQuoted(line, pos);
  if (!trustee || pos >= line.size() || line[pos] != ' ') return std::nullopt;
  const std::string_view rest = line.substr(pos + 1);
  const size_t space = rest.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const std::optional<uint32_t> mask = ParseHexNumber(rest.substr(0, space), kDwordDigits);
  const std::optional<uint32_t> inheritance = ParseDecimal(rest.substr(space + 1));
  if (!mask || !inheritance) return std::nullopt;
  XpRegGrant grant{XpString::FromUtf8(*trustee), *mask, *inheritance};
  if (!XpRegIsValidName(grant.trustee)) return std::nullopt;
  return grant;
}

// Text that fits on one line of the file and survives UTF-8 unchanged.
bool IsPlainText(std::u16string_view text) {
  for (char16_t unit : text) {
    if (unit == kNul || unit == u'\r' || unit == u'\n') return false;
  }
  return XpUtf8ToUtf16(XpUtf16ToUtf8(text)) == text;
}

// The text of a REG_SZ that the quoted form can carry: one terminator at the
// end, no other NUL, no line break, and a lossless UTF-8 round trip.
std::optional<std::string> QuotableText(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  std::u16string units;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << kBitsPerByte)));
  }
  if (units.back() != kNul) return std::nullopt;
  units.pop_back();
  if (!IsPlainText(units)) return std::nullopt;
  return XpUtf16ToUtf8(units);
}

std::string Quote(std::string_view text) {
  std::string quoted(1, kQuote);
  for (char ch : text) {
    if (ch == kEscape || ch == kQuote) quoted.push_back(kEscape);
    quoted.push_back(ch);
  }
  quoted.push_back(kQuote);
  return quoted;
}

std::string Hex(uint32_t value, size_t minDigits) {
  std::string digits;
  do {
    digits.insert(digits.begin(), kHexDigits[value % kHexBase]);
    value /= kHexBase;
  } while (value != 0);
  if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), '0');
  return digits;
}

void AppendHexData(std::string& out, size_t column, uint32_t type, const std::vector<uint8_t>& data) {
  std::string prefix(kHexPrefix);
  if (type != kXpRegBinary) prefix += "(" + Hex(type, 1) + ")";
  prefix += ":";
  out += prefix;
  column += prefix.size();
  for (size_t i = 0; i < data.size(); ++i) {
    std::string piece = Hex(data[i], kMaxByteDigits);
    if (i + 1 < data.size()) piece += ",";
    if (i > 0 && column + piece.size() > kHexLineLimit) {
      out += kContinuation;
      column = kContinuationIndent;
    }
    out += piece;
    column += piece.size();
  }
}

void AppendValue(std::string& out, const XpRegValue& value) {
  const std::string name = value.name.IsEmpty() ? std::string(kDefaultValueName)
                                                : Quote(value.name.ToMultiByte().ToStdString());
  out += name + "=";
  std::optional<std::string> text;
  if (value.type == kXpRegSz) text = QuotableText(value.data);
  if (text) {
    out += Quote(*text);
  } else if (value.type == kXpRegDword && value.data.size() == sizeof(uint32_t)) {
    uint32_t number = 0;
    for (size_t i = 0; i < sizeof(number); ++i) {
      number |= static_cast<uint32_t>(value.data[i]) << (i * kBitsPerByte);
    }
    out += std::string(kDwordPrefix) + Hex(number, kDwordDigits);
  } else {
    AppendHexData(out, name.size() + 1, value.type, value.data);
  }
  out += "\n";
}

void AppendGrant(std::string& out, const XpRegGrant& grant) {
  out += std::string(kGrantPrefix) + Quote(grant.trustee.ToMultiByte().ToStdString()) + " " +
         Hex(grant.accessMask, kDwordDigits) + " " + std::to_string(grant.inheritance) + "\n";
}

void AppendSection(std::string& out, const XpRegKey& key, const std::string& path) {
  out += "[" + path + "]\n";
  for (const XpRegGrant& grant : key.Grants()) AppendGrant(out, grant);
  for (const XpRegValue& value : key.Values()) AppendValue(out, value);
  out += "\n";
}

// Parents before children, in insertion order, with a worklist instead of
// recursion.
void AppendTree(std::string& out, const XpRegKey& root, const std::string& rootPath) {
  struct Pending {
    const XpRegKey* key;
    std::string path;
  };
  if (!root.Values().empty() || !root.Grants().empty()) AppendSection(out, root, rootPath);
  std::vector<Pending> pending;
  const auto pushSubkeys = [&pending](const XpRegKey& key, const std::string& path) {
    const auto& subkeys = key.Subkeys();
    for (auto subkey = subkeys.rbegin(); subkey != subkeys.rend(); ++subkey) {
      pending.push_back(Pending{
          subkey->get(), path + kKeySeparator + (*subkey)->Name().ToMultiByte().ToStdString()});
    }
  };
  pushSubkeys(root, rootPath);
  while (!pending.empty()) {
    Pending next = std::move(pending.back());
    pending.pop_back();
    AppendSection(out, *next.key, next.path);
    pushSubkeys(*next.key, next.path);
  }
}

}  // namespace

XpResult XpRegistryText::Parse(std::string_view text, const XpString& rootName, XpRegKey& root) {
  bool headerSeen = false;
  XpRegKey* current = nullptr;
  for (const std::string& rawLine : LogicalLines(DecodeInput(text))) {
    const std::string_view line = Trim(rawLine);
    if (line.empty()) continue;
    if (!headerSeen) {
      if (line != kHeader) return kXpErrInvalidFile;
      headerSeen = true;
      continue;
    }
    if (line.front() == kComment) {
      const std::optional<XpRegGrant> grant = ParseGrantLine(line);
      if (grant && current != nullptr) current->SetGrant(*grant);
      continue;
    }
    if (line.front() == '[') {
      current = ParseSection(line, rootName, root);
      if (current == nullptr) return kXpErrInvalidFile;
      continue;
    }
    if (current == nullptr || !ParseValueLine(line, *current)) return kXpErrInvalidFile;
  }
  return kXpOk;
}

std::string XpRegistryText::Write(const XpRegKey& root, const XpString& rootName) {
  std::string out(kHeader);
  out += "\n\n";
  AppendTree(out, root, rootName.ToMultiByte().ToStdString());
  return out;
}

bool XpRegistryText::IsWritableName(const XpString& name) { return XpRegIsValidName(name); }
