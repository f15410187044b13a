#include "platform/value/XpPlistReader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "platform/memory/XpMemoryFile.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniDict.h"
#include "platform/value/XpIniMemChunk.h"
#include "platform/value/XpIniPath.h"
#include "platform/xml/XpXmlDocument.h"

namespace {

constexpr int kDateFields = 6;
constexpr int kDecimalBase = 10;
constexpr int kNibbleBits = 4;
constexpr uint32_t kNibbleMask = 0x0F;
constexpr uint32_t kByteMask = 0xFF;
constexpr size_t kDataBlock = 4096;
constexpr char16_t kFirstNonAscii = 0x80;
// Exponents beyond this are all the same to a double.
constexpr int kExponentCap = 100000;

struct ValueElement {
  const char* name;
  XpIniType type;
};

constexpr ValueElement kValueElements[] = {
    {"true", kXpIniTypeBool}, {"false", kXpIniTypeBool},    {"integer", kXpIniTypeInt},
    {"real", kXpIniTypeReal}, {"string", kXpIniTypeString}, {"data", kXpIniTypeMemChunk},
    {"date", kXpIniTypeDate}, {"array", kXpIniTypeArray},   {"dict", kXpIniTypeDict},
};
constexpr XpIniType kNoValueType = -1;

bool IsBlank(char16_t ch) {
  return ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\v' || ch == u'\f' || ch == u'\r';
}

bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

size_t SkipBlanks(std::u16string_view text) {
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) {
    ++at;
  }
  return at;
}

size_t CountDigits(std::u16string_view text, size_t at) {
  size_t count = 0;
  while (at + count < text.size() && IsDigit(text[at + count])) {
    ++count;
  }
  return count;
}

// What the reader passes over between the children it reads.
bool IsSkipped(XpXmlNode node) {
  return node.GetType() == XpXmlNodeType::kComment || node.IsBlankText();
}

XpXmlNode SkipOver(XpXmlNode node) {
  while (!node.IsNull() && IsSkipped(node)) {
    node = node.GetNextSibling();
  }
  return node;
}

XpIniType ValueTypeOf(XpXmlNode node) {
  for (const ValueElement& element : kValueElements) {
    if (node.IsElement(element.name)) {
      return element.type;
    }
  }
  return kNoValueType;
}

// The order of magnitude of a decimal number text (digits, a '.', an
// exponent): enough to tell an overflow from an underflow.
int DecimalMagnitude(std::string_view number) {
  size_t at = 0;
  while (at < number.size() && number[at] == '0') {
    ++at;
  }
  int integerDigits = 0;
  while (at < number.size() && std::isdigit(static_cast<unsigned char>(number[at]))) {
    ++integerDigits;
    ++at;
  }
  int magnitude = integerDigits - 1;
  if (at < number.size() && number[at] == '.') {
    ++at;
    int zeros = 0;
    while (at < number.size() && number[at] == '0') {
      ++zeros;
      ++at;
    }
    if (integerDigits == 0) {
      magnitude = -(zeros + 1);
    }
  }
  while (at < number.size() && number[at] != 'e' && number[at] != 'E') {
    ++at;
  }
  if (at < number.size()) {
    ++at;
    const bool negative = at < number.size() && number[at] == '-';
    if (at < number.size() && (number[at] == '-' || number[at] == '+')) {
      ++at;
    }
    int exponent = 0;
    for (; at < number.size() && std::isdigit(static_cast<unsigned char>(number[at])); ++at) {
      exponent = std::min(exponent * kDecimalBase + (number[at] - '0'), kExponentCap);
    }
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude;
}

// A character of hexadecimal text as a digit value.
uint32_t DigitValue(char16_t ch) {
  const uint32_t c = ch & kByteMask;
  if (c >= '0' && c <= '9') {
    return c - 0x30;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 0x37;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 0x57;
  }
  return c;
}

}  // namespace

XpResult XpPlistReader::Read(const XpXmlDocument& document, XpIniDict* dict) {
  if (dict == nullptr) {
    return kXpErrBadArgument;
  }
  const XpXmlNode root = document.GetRoot();
  if (root.IsNull()) {
    return kXpErrValueNoRoot;
  }
  if (!root.IsElement("plist")) {
    return kXpErrValueStructure;
  }
  for (XpXmlNode child = root.GetFirstChild(); !child.IsNull(); child = child.GetNextSibling()) {
    if (child.IsElement("dict")) {
      return ReadDict(child, dict);
    }
  }
  return kXpErrValueStructure;
}

XpResult XpPlistReader::ReadDict(XpXmlNode node, XpIniElement* dict) {
  XpXmlNode child = SkipOver(node.GetFirstChild());
  while (!child.IsNull()) {
    if (!child.IsElement("key")) {
      return kXpErrValueStructure;
    }
    const XpString key = child.GetText();
    if (key.IsEmpty()) {
      return kXpErrValueStructure;
    }
    const XpXmlNode value = SkipOver(child.GetNextSibling());
    if (value.IsNull()) {
      return kXpOk;
    }
    // A value that cannot be read is dropped.
    (void)ReadValue(value, Slot{dict, &key});
    child = SkipOver(value.GetNextSibling());
  }
  return kXpOk;
}

void XpPlistReader::ReadArray(XpXmlNode node, XpIniElement* array) {
  for (XpXmlNode child = SkipOver(node.GetFirstChild()); !child.IsNull();
       child = SkipOver(child.GetNextSibling())) {
    (void)ReadValue(child, Slot{array, nullptr});  // a value that cannot be read is dropped
  }
}

XpResult XpPlistReader::ReadValue(XpXmlNode node, const Slot& slot) {
  const XpIniType type = ValueTypeOf(node);
  if (type == kNoValueType) {
    return kXpErrValueStructure;
  }
  XpIniElement* element = nullptr;
  switch (type) {
    case kXpIniTypeBool:
      return Create(slot, type, node.IsElement("true"), &element);
    case kXpIniTypeInt:
      return Create(slot, type, ParseInt(node.GetText().View()), &element);
    case kXpIniTypeString: {
      const XpString text = node.GetText();
      return Create(slot, type, text, &element);
    }
    default:
      break;
  }
  const XpResult created = Create(slot, type, {}, &element);
  if (created != kXpOk) {
    return created;
  }
  switch (type) {
    case kXpIniTypeReal:
      return element->SetReal(ParseReal(node.GetText().View()));
    case kXpIniTypeMemChunk: {
      XpMemoryFile bytes;
      const XpResult parsed = ParseData(node.GetText().View(), &bytes);
      if (parsed != kXpOk || bytes.GetDataSize() == 0) {
        return parsed;
      }
      return element->SetMemChunk(&bytes, 0, XpIniMemChunk::kToEnd);
    }
    case kXpIniTypeDate: {
      XpDateTime date;
      const XpResult parsed = ParseDate(node.GetText().View(), &date);
      return parsed != kXpOk ? parsed : element->SetDate(date);
    }
    case kXpIniTypeArray:
      ReadArray(node, element);
      return kXpOk;
    case kXpIniTypeDict:
      return ReadDict(node, element);
    default:
      return kXpErrValueStructure;
  }
}

XpResult XpPlistReader::Create(const Slot& slot, XpIniType type, const XpIniValue& value,
                               XpIniElement** out) {
  *out = nullptr;
  if (slot.key != nullptr) {
    const XpResult added = slot.container->Add(*slot.key, type, value);
    if (added != kXpOk) {
      return added;
    }
    *out = slot.container->Find(*slot.key);
  } else {
    const int32_t index = slot.container->GetCount();
    const XpResult inserted = slot.container->InsertAt(index, type, value);
    if (inserted != kXpOk) {
      return inserted;
    }
    *out = slot.container->GetAt(index);
  }
  return *out != nullptr ? kXpOk : kXpErrValueNotFound;
}

int64_t XpPlistReader::ParseInt(std::u16string_view text) {
  size_t at = SkipBlanks(text);
  bool negative = false;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
    negative = text[at] == u'-';
    ++at;
  }
  // The magnitude, capped at that of the most negative value.
  constexpr uint64_t kCap = uint64_t{std::numeric_limits<int64_t>::max()} + 1;
  uint64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    const uint64_t digit = static_cast<uint64_t>(text[at] - u'0');
    magnitude = magnitude > (kCap - digit) / kDecimalBase ? kCap : magnitude * kDecimalBase + digit;
  }
  if (negative) {
    return magnitude == kCap ? std::numeric_limits<int64_t>::min()
                             : -static_cast<int64_t>(magnitude);
  }
  return magnitude >= kCap ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(magnitude);
}

double XpPlistReader::ParseReal(std::u16string_view text) {
  size_t at = SkipBlanks(text);
  bool negative = false;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
    negative = text[at] == u'-';
    ++at;
  }
  // The ASCII run that may belong to the number, its first decimal mark as
  // '.' (files written under a comma locale hold ',').
  std::string number;
  bool markSeen = false;
  for (; at < text.size() && text[at] < kFirstNonAscii; ++at) {
    char ch = static_cast<char>(text[at]);
    if (ch == '.' || ch == ',') {
      if (markSeen) {
        break;
      }
      markSeen = true;
      ch = '.';
    }
    number += ch;
  }
  // A second sign is not a number.
  if (number.empty() || number[0] == '-' || number[0] == '+') {
    return 0.0;
  }
  double value = 0.0;
  const std::from_chars_result end =
      std::from_chars(number.data(), number.data() + number.size(), value);
  if (end.ec == std::errc::invalid_argument) {
    return 0.0;
  }
  if (end.ec == std::errc::result_out_of_range) {
    const std::string_view matched(number.data(), static_cast<size_t>(end.ptr - number.data()));
    value = DecimalMagnitude(matched) >= 0 ? HUGE_VAL : 0.0;
  }
  return negative ? -value : value;
}

XpResult XpPlistReader::ParseData(std::u16string_view text, XpAbstractFile* out) {
  if (out == nullptr) {
    return kXpErrBadArgument;
  }
  uint8_t block[kDataBlock];
  size_t filled = 0;
  for (size_t at = 0; at + 1 < text.size(); at += 2) {
    const uint32_t high = DigitValue(text[at]);
    const uint32_t low = DigitValue(text[at + 1]) & kNibbleMask;
    block[filled++] = static_cast<uint8_t>(((high << kNibbleBits) + low) & kByteMask);
    if (filled == kDataBlock) {
      const XpResult written = out->Write(block, filled, nullptr);
      if (written != kXpOk) {
        return written;
      }
      filled = 0;
    }
  }
  return filled == 0 ? kXpOk : out->Write(block, filled, nullptr);
}

XpResult XpPlistReader::ParseDate(std::u16string_view text, XpDateTime* out) {
  if (out == nullptr) {
    return kXpErrBadArgument;
  }
  if (text.empty()) {
    return kXpErrValueNoRoot;
  }
  int32_t fields[kDateFields] = {};
  size_t at = 0;
  for (int32_t& field : fields) {
    if (at >= text.size()) {
      break;
    }
    field = XpIniParseIndex(text.substr(at));
    at += CountDigits(text, at) + 1;
  }
  *out = XpDateTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
  return kXpOk;
}
