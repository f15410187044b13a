#include "imaging/tags/XpTiffTagIFD.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

using Words = std::array<uint32_t, 2>;
using SignedWords = std::array<int32_t, 2>;

// The element at index of the value when it has the type code and index is
// below its count; a zero element otherwise.
template <typename Element>
Element ElementOf(const XpTiffTagDataBase* value, uint16_t type, uint32_t index) {
  Element element{};
  if (value == nullptr || value->GetType() != type || index >= value->GetCount() ||
      value->GetElementSize() != sizeof(Element)) {
    return element;
  }
  std::memcpy(&element, value->GetData() + uint64_t{index} * sizeof(Element), sizeof(Element));
  return element;
}

template <typename Pair>
double Quotient(const Pair& words) {
  if (words[1] == 0) {
    return 0.0;
  }
  return static_cast<double>(words[0]) / static_cast<double>(words[1]);
}

}  // namespace

uint8_t XpTiffTagIFD::GetByte(uint16_t tag, bool recurse, uint32_t index) const {
  return ElementOf<uint8_t>(FindTag(tag, recurse), kXpTiffTypeByte, index);
}

uint8_t XpTiffTagIFD::GetUndefinedByte(uint16_t tag, bool recurse, uint32_t index) const {
  return ElementOf<uint8_t>(FindTag(tag, recurse), kXpTiffTypeUndefined, index);
}

uint16_t XpTiffTagIFD::GetShort(uint16_t tag, bool recurse, uint32_t index) const {
  return ElementOf<uint16_t>(FindTag(tag, recurse), kXpTiffTypeShort, index);
}

uint32_t XpTiffTagIFD::GetLong(uint16_t tag, bool recurse, uint32_t index) const {
  return ElementOf<uint32_t>(FindTag(tag, recurse), kXpTiffTypeLong, index);
}

int32_t XpTiffTagIFD::GetSLong(uint16_t tag, bool recurse, uint32_t index) const {
  return ElementOf<int32_t>(FindTag(tag, recurse), kXpTiffTypeSLong, index);
}

double XpTiffTagIFD::GetRationalValue(uint16_t tag, bool recurse, uint32_t index) const {
  return Quotient(ElementOf<Words>(FindTag(tag, recurse), kXpTiffTypeRational, index));
}

double XpTiffTagIFD::GetSRationalValue(uint16_t tag, bool recurse, uint32_t index) const {
  return Quotient(ElementOf<SignedWords>(FindTag(tag, recurse), kXpTiffTypeSRational, index));
}

float XpTiffTagIFD::GetFloat(uint16_t tag, bool recurse, uint32_t index) const {
  return ElementOf<float>(FindTag(tag, recurse), kXpTiffTypeFloat, index);
}

double XpTiffTagIFD::GetDouble(uint16_t tag, bool recurse, uint32_t index) const {
  return ElementOf<double>(FindTag(tag, recurse), kXpTiffTypeDouble, index);
}

XpStringA XpTiffTagIFD::GetAsciiA(uint16_t tag, bool recurse) const {
  const XpTiffTagDataBase* value = FindTag(tag, recurse);
  if (value == nullptr || value->GetType() != kXpTiffTypeAscii) {
    return XpStringA();
  }
  const auto* text = reinterpret_cast<const char*>(value->GetData());
  const size_t length = strnlen(text, value->GetCount());
  return XpStringA(text, static_cast<int32_t>(std::min<size_t>(
                             length, std::numeric_limits<int32_t>::max())));
}

XpString XpTiffTagIFD::GetAscii(uint16_t tag, bool recurse) const {
  return GetAsciiA(tag, recurse).ToWide();
}
