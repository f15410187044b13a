#include "catalogdb/grammar/CatalogSignatureNatives.h"

#include <cerrno>
#include <string>

#include "fsk/FskScript.h"

namespace {

constexpr int kSignatureLength = 4;
constexpr uint32_t kLargestCharacter = 0xFF;

// The byte count of the UTF-8 sequence that lead begins; 0 for a byte that
// cannot begin one.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) {
    return 1;
  }
  if ((lead & 0xE0) == 0xC0) {
    return 2;
  }
  if ((lead & 0xF0) == 0xE0) {
    return 3;
  }
  return (lead & 0xF8) == 0xF0 ? 4 : 0;
}

// The code point of the UTF-8 sequence at text[*at], advancing *at; false
// for a malformed sequence.
bool NextCodePoint(const std::string& text, size_t* at, uint32_t* codePoint) {
  auto lead = static_cast<unsigned char>(text[*at]);
  size_t length = SequenceLength(lead);
  if (length == 0 || *at + length > text.size()) {
    return false;
  }
  constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  uint32_t value = lead & kLeadBits[length];
  for (size_t i = 1; i < length; ++i) {
    auto trail = static_cast<unsigned char>(text[*at + i]);
    if ((trail & 0xC0) != 0x80) {
      return false;
    }
    value = (value << 6) | (trail & 0x3Fu);
  }
  *codePoint = value;
  *at += length;
  return true;
}

void AppendCharacter(std::string* text, unsigned char byte) {
  if (byte < 0x80) {
    text->push_back(static_cast<char>(byte));
    return;
  }
  text->push_back(static_cast<char>(0xC0 | (byte >> 6)));
  text->push_back(static_cast<char>(0x80 | (byte & 0x3F)));
}

}  // namespace

void CatalogSignatureParse(FskMachine* the) {
  std::string text = fsk::ToString(the, fsk::Value(*fxCheckArg(the, 0)));
  uint32_t characters[kSignatureLength] = {};
  size_t at = 0;
  for (uint32_t& character : characters) {
    if (at >= text.size()) {
      return;
    }
    if (!NextCodePoint(text, &at, &character)) {
      fxError(the, EINVAL);
    }
  }
  uint32_t value = 0;
  for (uint32_t character : characters) {
    if (character > kLargestCharacter) {
      fxError(the, EINVAL);
    }
    value = (value << 8) | character;
  }
  fxInteger(the, fxResult(the), static_cast<int32_t>(value));
}

void CatalogSignatureSerialize(FskMachine* the) {
  const FskSlot* argument = fxCheckArg(the, 0);
  if (fxTypeOf(the, argument) == kFskUndefinedType) {
    return;
  }
  auto value = static_cast<uint32_t>(fxToInteger(the, argument));
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    auto byte = static_cast<unsigned char>(value >> shift);
    if (byte == 0) {
      break;
    }
    AppendCharacter(&text, byte);
  }
  fxStringBuffer(the, fxResult(the), text.data(), text.size());
}
