#include "FakeDirectXSetupLog.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace fakedsetup {

namespace {

constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSupplementaryBase = 0x10000;
constexpr int kSurrogateBits = 10;

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < kSupplementaryBase) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

void Record(const std::string& line) {
  const char* path = std::getenv("KAVO_FAKE_DSETUP_LOG");
  if (path == nullptr) return;
  std::ofstream(path, std::ios::app | std::ios::binary) << line << '\n';
}

int32_t EnvNumber(const char* name, int32_t fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  return static_cast<int32_t>(std::strtol(value, nullptr, 0));
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", value);
  return text;
}

std::string Decimal(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%u", value);
  return text;
}

std::string Utf8(const char16_t* text) {
  if (text == nullptr) return "null";
  std::string out;
  for (const char16_t* p = text; *p != u'\0'; ++p) {
    char32_t code = *p;
    const bool high = code >= kSurrogateFirst && code < kLowSurrogateFirst;
    if (high && p[1] >= kLowSurrogateFirst && p[1] <= kSurrogateLast) {
      code = kSupplementaryBase + ((code - kSurrogateFirst) << kSurrogateBits) + (p[1] - kLowSurrogateFirst);
      ++p;
    }
    AppendUtf8(code, &out);
  }
  return out;
}

}  // namespace fakedsetup
