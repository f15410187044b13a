#include "platform/value/XpPlistWriter.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "platform/memory/XpMemoryFile.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniDict.h"
#include "platform/xml/XpXmlDocument.h"

namespace {

constexpr std::string_view kTemplate =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?><plist version=\"1.0\"><dict/></plist>";

constexpr int kRealDecimals = 15;
// Sign, every integer digit of the largest double, point, decimals.
constexpr size_t kRealTextCapacity =
    1 + (std::numeric_limits<double>::max_exponent10 + 1) + 1 + kRealDecimals;

constexpr const char16_t* kInvalidDateText = u"0000:00:00T00:00:00Z";
constexpr char16_t kHexDigits[] = u"0123456789abcdef";
constexpr int kNibbleBits = 4;
constexpr uint8_t kNibbleMask = 0x0F;

// A failed step of writing always ends as the one code of a failed write.
[[nodiscard]] XpResult WriteFailure(XpResult result) {
  return result == kXpOk ? kXpOk : kXpErrOutOfMemory;
}

XpString FromAscii(std::string_view text) { return XpStringA(text).ToWide(); }

bool IsWritableType(XpIniType type) { return type >= kXpIniTypeBool && type <= kXpIniTypeDict; }

}  // namespace

XpResult XpPlistWriter::Write(const XpIniDict& dict, XpXmlDocument* document) {
  if (document == nullptr) {
    return kXpErrBadArgument;
  }
  if (document->ParseUtf8(kTemplate) != kXpOk) {
    return kXpErrValueNoRoot;
  }
  XpXmlNode dictNode = document->GetRoot().GetFirstChild();
  if (!dictNode.IsElement("dict")) {
    return kXpErrValueNoRoot;
  }
  return WriteDict(dict, dictNode);
}

XpResult XpPlistWriter::WriteBytes(const XpIniDict& dict, XpStringA* out) {
  if (out == nullptr) {
    return kXpErrBadArgument;
  }
  XpXmlDocument document;
  const XpResult written = Write(dict, &document);
  if (written != kXpOk) {
    return written;
  }
  return document.Serialize(out);
}

XpResult XpPlistWriter::WriteDict(const XpIniDict& dict, XpXmlNode parent) {
  const uint32_t count = static_cast<uint32_t>(dict.GetCount());
  for (uint32_t index = 0; index < count; ++index) {
    const XpIniElement* element = dict.GetAt(index);
    XpString key;
    if (element == nullptr || !IsWritableType(element->GetType())) {
      continue;
    }
    XpResult result = WriteFailure(dict.GetKeyAt(index, &key));
    if (result == kXpOk) {
      result = WriteTextElement(parent, "key", key);
    }
    if (result == kXpOk) {
      result = WriteValue(*element, parent);
    }
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}

XpResult XpPlistWriter::WriteArray(const XpIniElement& array, XpXmlNode parent) {
  const int32_t count = array.GetCount();
  for (int32_t index = 0; index < count; ++index) {
    const XpIniElement* element = array.GetAt(index);
    if (element == nullptr || !IsWritableType(element->GetType())) {
      continue;
    }
    const XpResult result = WriteValue(*element, parent);
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}

XpResult XpPlistWriter::WriteValue(const XpIniElement& element, XpXmlNode parent) {
  switch (element.GetType()) {
    case kXpIniTypeBool: {
      bool value = false;
      const XpResult got = element.GetBool(&value);
      return got != kXpOk ? WriteFailure(got) : parent.AppendElement(value ? "true" : "false");
    }
    case kXpIniTypeInt: {
      int64_t value = 0;
      const XpResult got = element.GetInt64(&value);
      return got != kXpOk ? WriteFailure(got)
                          : WriteTextElement(parent, "integer", FormatInt(value));
    }
    case kXpIniTypeReal: {
      double value = 0.0;
      const XpResult got = element.GetReal(&value);
      return got != kXpOk ? WriteFailure(got) : WriteTextElement(parent, "real", FormatReal(value));
    }
    case kXpIniTypeString: {
      XpString value;
      const XpResult got = element.GetString(&value);
      return got != kXpOk ? WriteFailure(got) : WriteTextElement(parent, "string", value);
    }
    case kXpIniTypeMemChunk: {
      XpMemoryFile bytes;
      const XpResult got = element.GetMemChunk(&bytes);
      return got != kXpOk
                 ? WriteFailure(got)
                 : WriteTextElement(parent, "data",
                                    FormatData(static_cast<const uint8_t*>(bytes.GetBuffer()),
                                               bytes.GetDataSize()));
    }
    case kXpIniTypeDate: {
      XpDateTime value;
      const XpResult got = element.GetDate(&value);
      return got != kXpOk ? WriteFailure(got) : WriteTextElement(parent, "date", FormatDate(value));
    }
    case kXpIniTypeArray: {
      XpXmlNode node;
      const XpResult made = WriteFailure(parent.AppendElement("array", &node));
      return made != kXpOk ? made : WriteArray(element, node);
    }
    case kXpIniTypeDict: {
      XpXmlNode node;
      const XpResult made = WriteFailure(parent.AppendElement("dict", &node));
      const XpIniDict* dict = dynamic_cast<const XpIniDict*>(&element);
      return made != kXpOk || dict == nullptr ? made : WriteDict(*dict, node);
    }
    default:
      return kXpOk;
  }
}

XpResult XpPlistWriter::WriteTextElement(XpXmlNode parent, const char* name, const XpString& text) {
  XpXmlNode node;
  XpResult result = parent.AppendElement(name, &node);
  if (result == kXpOk) {
    result = node.AppendText(text);
  }
  return WriteFailure(result);
}

XpString XpPlistWriter::FormatInt(int64_t value) {
  XpString text;
  (void)text.Format(u"%I64d", value);  // a number always formats
  return text;
}

XpString XpPlistWriter::FormatReal(double value) {
  if (std::isnan(value)) {
    return u"nan";
  }
  char buffer[kRealTextCapacity];
  const std::to_chars_result end = std::to_chars(buffer, buffer + sizeof(buffer), value,
                                                 std::chars_format::fixed, kRealDecimals);
  if (end.ec != std::errc()) {
    return XpString();  // cannot happen: the buffer holds the longest text
  }
  return FromAscii(std::string_view(buffer, static_cast<size_t>(end.ptr - buffer)));
}

XpString XpPlistWriter::FormatData(const uint8_t* bytes, size_t count) {
  std::u16string text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text += kHexDigits[bytes[i] >> kNibbleBits];
    text += kHexDigits[bytes[i] & kNibbleMask];
  }
  return XpString(std::u16string_view(text));
}

XpString XpPlistWriter::FormatDate(const XpDateTime& date) {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  if (!date.GetParts(&year, &month, &day, &hour, &minute, &second, nullptr)) {
    return kInvalidDateText;
  }
  XpString text;
  if (text.Format(u"%04ld:%02ld:%02ldT%02ld:%02ld:%02ldZ", year, month, day, hour, minute,
                  second) != kXpOk) {
    return kInvalidDateText;
  }
  return text;
}
