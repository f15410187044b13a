#include "platform/text/XpUtf.h"

#include <cstdint>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // escape of byte b is kEscapeBase + b
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;
constexpr char16_t kFirstHighSurrogate = 0xD800;
constexpr char16_t kLastHighSurrogate = 0xDBFF;
constexpr char16_t kFirstLowSurrogate = 0xDC00;
constexpr char16_t kLastLowSurrogate = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < kFirstSupplementary) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

}  // namespace

size_t XpUtf8SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

size_t XpUtf8DecodeOne(std::string_view bytes, char32_t& codePoint) {
  if (bytes.empty()) return 0;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  const size_t length = XpUtf8SequenceLength(lead);
  if (length == 1 || bytes.size() < length) return 0;
  // The second byte's allowed range rules out overlong forms, encoded
  // surrogates and values above U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  const auto second = static_cast<unsigned char>(bytes[1]);
  if (second < low || second > high) return 0;
  codePoint = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[i]);
    if (!IsContinuation(next)) return 0;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  return length;
}

void XpUtf16Append(std::u16string& out, char32_t codePoint) {
  if (codePoint < kFirstSupplementary) {
    out.push_back(static_cast<char16_t>(codePoint));
    return;
  }
  const char32_t offset = codePoint - kFirstSupplementary;
  out.push_back(static_cast<char16_t>(kFirstHighSurrogate + (offset >> 10)));
  out.push_back(static_cast<char16_t>(kFirstLowSurrogate + (offset & 0x3FF)));
}

char16_t XpUtf16EscapeOf(unsigned char byte) { return static_cast<char16_t>(kEscapeBase + byte); }

bool XpUtf16IsEscape(char16_t unit) { return unit >= kFirstEscape && unit <= kLastEscape; }

bool XpUtf16IsHighSurrogate(char16_t unit) {
  return unit >= kFirstHighSurrogate && unit <= kLastHighSurrogate;
}

bool XpUtf16IsLowSurrogate(char16_t unit) {
  return unit >= kFirstLowSurrogate && unit <= kLastLowSurrogate;
}

std::u16string XpUtf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t codePoint = 0;
    const size_t length = XpUtf8DecodeOne(bytes.substr(pos), codePoint);
    if (length == 0) {
      out.push_back(XpUtf16EscapeOf(static_cast<unsigned char>(bytes[pos])));
      ++pos;
      continue;
    }
    XpUtf16Append(out, codePoint);
    pos += length;
  }
  return out;
}

namespace {

constexpr char16_t kFirstNonAscii = 0x80;

// The units from pos on that are ASCII, appended as they are; returns where
// they end.
size_t AppendAsciiRun(std::string& out, std::u16string_view units, size_t pos) {
  size_t end = pos;
  while (end < units.size() && units[end] < kFirstNonAscii) {
    ++end;
  }
  const size_t start = out.size();
  out.resize(start + (end - pos));
  for (size_t i = pos; i < end; ++i) {
    out[start + (i - pos)] = static_cast<char>(units[i]);
  }
  return end;
}

}  // namespace

std::string XpUtf16ToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size() * 3);
  for (size_t pos = 0; pos < units.size(); ++pos) {
    if (units[pos] < kFirstNonAscii) {
      pos = AppendAsciiRun(out, units, pos);
      if (pos == units.size()) {
        break;
      }
    }
    const char16_t unit = units[pos];
    if (XpUtf16IsHighSurrogate(unit) && pos + 1 < units.size() &&
        XpUtf16IsLowSurrogate(units[pos + 1])) {
      const char32_t high = unit - kFirstHighSurrogate;
      const char32_t low = units[pos + 1] - kFirstLowSurrogate;
      AppendUtf8(out, kFirstSupplementary + ((high << 10) | low));
      ++pos;
    } else if (XpUtf16IsEscape(unit)) {
      out.push_back(static_cast<char>(unit - kEscapeBase));
    } else if (XpUtf16IsHighSurrogate(unit) || XpUtf16IsLowSurrogate(unit)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}
