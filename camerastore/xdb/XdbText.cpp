#include "camerastore/xdb/XdbText.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "fsk/FskMemory.h"
#include "platform/text/XpUtf.h"

namespace {

constexpr int32_t kConverted = 0;
constexpr int32_t kNoBuffer = -1;
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;
constexpr char16_t kReplacement = 0xFFFD;

void* MallocBlock(size_t size) { return std::malloc(size); }

XdbUtf8Allocator& Utf8Allocator() {
  static XdbUtf8Allocator allocator = FskMemPtrNew;
  return allocator;
}

XdbUtf16Allocator& Utf16Allocator() {
  static XdbUtf16Allocator allocator = MallocBlock;
  return allocator;
}

std::u16string_view Units(const char16_t* text) {
  return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

std::string_view Bytes(const char* text) { return text != nullptr ? std::string_view(text) : std::string_view(); }

// Strict decoding: each byte that the shared decoder had to escape is
// replaced. Valid UTF-8 never decodes to a lone low surrogate, so every
// escape came from an invalid byte.
std::u16string DecodeReplacing(std::string_view bytes) {
  std::u16string units = XpUtf8ToUtf16(bytes);
  for (char16_t& unit : units) {
    if (unit >= kFirstEscape && unit <= kLastEscape) {
      unit = kReplacement;
    }
  }
  return units;
}

}  // namespace

int32_t XdbToUtf8(const char16_t* text, char** out) {
  *out = nullptr;
  std::string bytes;
  try {
    bytes = XpUtf16ToUtf8(Units(text));
  } catch (const std::bad_alloc&) {
    return kNoBuffer;
  }
  // The length counts the terminator; the buffer has one byte more.
  const size_t length = bytes.size() + 1;
  void* buffer = nullptr;
  if (Utf8Allocator()(length + 1, &buffer) != 0 || buffer == nullptr) {
    return kNoBuffer;
  }
  std::memcpy(buffer, bytes.c_str(), length);
  *out = static_cast<char*>(buffer);
  return kConverted;
}

int32_t XdbFromUtf8(const char* text, char16_t** out) {
  *out = nullptr;
  std::u16string units;
  try {
    units = DecodeReplacing(Bytes(text));
  } catch (const std::bad_alloc&) {
    return kNoBuffer;
  }
  // The count includes the terminator.
  const size_t count = units.size() + 1;
  auto* buffer = static_cast<char16_t*>(Utf16Allocator()(count * sizeof(char16_t) + sizeof(char16_t)));
  if (buffer == nullptr) {
    return kNoBuffer;
  }
  std::memcpy(buffer, units.c_str(), count * sizeof(char16_t));
  *out = buffer;
  return kConverted;
}

XdbUtf8Allocator XdbSetUtf8Allocator(XdbUtf8Allocator allocator) {
  XdbUtf8Allocator previous = Utf8Allocator();
  Utf8Allocator() = allocator != nullptr ? allocator : FskMemPtrNew;
  return previous;
}

XdbUtf16Allocator XdbSetUtf16Allocator(XdbUtf16Allocator allocator) {
  XdbUtf16Allocator previous = Utf16Allocator();
  Utf16Allocator() = allocator != nullptr ? allocator : MallocBlock;
  return previous;
}
