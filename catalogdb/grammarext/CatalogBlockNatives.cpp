#include "catalogdb/grammarext/CatalogBlockNatives.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammarext/CatalogExtSupport.h"

namespace {

constexpr int64_t kBitsPerByte = 8;
constexpr int64_t kWordBytes = 4;
constexpr int64_t kBitsPerWord = 32;

CatalogExtBlock ThisBlock(FskMachine* the) { return CatalogExtBlockOf(the, CatalogExtThis(the)); }

// The byte offset of element index of size bytes, checked against block.
int64_t CheckedOffset(FskMachine* the, const CatalogExtBlock& block, int64_t index, int64_t size) {
  CatalogExtRequire(the, index >= 0 && index <= block.length / size);
  int64_t offset = index * size;
  CatalogExtRequire(the, block.Holds(offset, size));
  return offset;
}

unsigned char* BitByte(FskMachine* the, const CatalogExtBlock& block, int64_t bit) {
  CatalogExtRequire(the, bit >= 0);
  return block.bytes + CheckedOffset(the, block, bit / kBitsPerByte, 1);
}

unsigned char BitMask(int64_t bit) { return static_cast<unsigned char>(1U << (bit % kBitsPerByte)); }

unsigned char LowBitsMask(int64_t bits) { return static_cast<unsigned char>((1U << (bits % kBitsPerByte)) - 1U); }

void SetIntegerResult(FskMachine* the, int64_t value) { fxInteger(the, fxResult(the), value); }

bool IsContinuationByte(unsigned char byte) { return (byte & 0xC0U) == 0x80U; }

// The bytes of text that fit a field of size bytes with a NUL after them.
size_t FittingLength(const unsigned char* text, size_t length, int64_t size) {
  if (static_cast<int64_t>(length) < size) {
    return length;
  }
  for (int64_t cut = size - 1; cut > 0; --cut) {
    if (!IsContinuationByte(text[cut])) {
      return static_cast<size_t>(cut);
    }
  }
  return 0;
}

struct RangeArgs {
  unsigned char* destination;
  const unsigned char* source;
  int64_t count;
};

RangeArgs RangeArguments(FskMachine* the, bool alignSource) {
  CatalogExtBlock block = ThisBlock(the);
  unsigned char* destination = CatalogPointerArg(the, 0);
  int64_t offset = CatalogExtIntegerArg(the, 1);
  if (alignSource) {
    offset &= ~(kWordBytes - 1);
  }
  return RangeArgs{destination, block.bytes + offset, std::max<int64_t>(CatalogExtIntegerArg(the, 2), 0)};
}

template <typename Combine>
void CombineBytes(const RangeArgs& range, int64_t count, Combine combine) {
  for (int64_t i = 0; i < count; ++i) {
    range.destination[i] = combine(range.destination[i], range.source[i]);
  }
}

unsigned char And(unsigned char to, unsigned char from) { return to & from; }
unsigned char Or(unsigned char to, unsigned char from) { return to | from; }

}  // namespace

void CatalogBlockGetBit(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t bit = CatalogExtIntegerArg(the, 0);
  SetIntegerResult(the, *BitByte(the, block, bit) & BitMask(bit));
}

void CatalogBlockGetWord(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t offset = CheckedOffset(the, block, CatalogExtIntegerArg(the, 0), 2);
  SetIntegerResult(the, CatalogLoadLittle16(block.bytes + offset));
}

void CatalogBlockGetDWord(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t offset = CheckedOffset(the, block, CatalogExtIntegerArg(the, 0), kWordBytes);
  SetIntegerResult(the, static_cast<int32_t>(CatalogLoadLittle32(block.bytes + offset)));
}

void CatalogBlockGetUDWord(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t offset = CheckedOffset(the, block, CatalogExtIntegerArg(the, 0), kWordBytes);
  SetIntegerResult(the, CatalogLoadLittle32(block.bytes + offset));
}

void CatalogBlockGetString(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t offset = CatalogExtIntegerArg(the, 0);
  int64_t size = CatalogExtIntegerArg(the, 1);
  CatalogExtRequire(the, block.Holds(offset, size));
  const auto* field = reinterpret_cast<const char*>(block.bytes + offset);
  const void* nul = std::memchr(field, 0, static_cast<size_t>(size));
  size_t length = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - field) : static_cast<size_t>(size);
  fxStringBuffer(the, fxResult(the), field, length);
}

void CatalogBlockSetBit(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t bit = CatalogExtIntegerArg(the, 0);
  unsigned char* byte = BitByte(the, block, bit);
  if (fxToBoolean(the, fxCheckArg(the, 1))) {
    *byte = static_cast<unsigned char>(*byte | BitMask(bit));
  } else {
    *byte = static_cast<unsigned char>(*byte & ~BitMask(bit));
  }
  CatalogExtChange(the, CatalogExtThis(the));
}

void CatalogBlockSetWord(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t offset = CheckedOffset(the, block, CatalogExtIntegerArg(the, 0), 2);
  CatalogStoreLittle16(block.bytes + offset, static_cast<uint16_t>(CatalogExtWordArg(the, 1)));
  CatalogExtChange(the, CatalogExtThis(the));
}

void CatalogBlockSetDWord(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t offset = CheckedOffset(the, block, CatalogExtIntegerArg(the, 0), kWordBytes);
  CatalogStoreLittle32(block.bytes + offset, CatalogExtWordArg(the, 1));
  CatalogExtChange(the, CatalogExtThis(the));
}

void CatalogBlockSetString(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t offset = CatalogExtIntegerArg(the, 0);
  FskSlot* textSlot = fxCheckArg(the, 1);
  int64_t size = CatalogExtIntegerArg(the, 2);
  CatalogExtRequire(the, size >= 1 && block.Holds(offset, size));
  const auto* text = reinterpret_cast<const unsigned char*>(fxToString(the, textSlot));
  size_t length = FittingLength(text, fxStringLength(the, textSlot), size);
  std::memcpy(block.bytes + offset, text, length);
  block.bytes[offset + static_cast<int64_t>(length)] = 0;
  CatalogExtChange(the, CatalogExtThis(the));
}

void CatalogBlockCopyTo(FskMachine* the) {
  RangeArgs range = RangeArguments(the, false);
  std::memmove(range.destination, range.source, static_cast<size_t>(range.count));
}

void CatalogBlockCopyBitsTo(FskMachine* the) {
  RangeArgs range = RangeArguments(the, false);
  int64_t bytes = range.count / kBitsPerByte;
  std::memmove(range.destination, range.source, static_cast<size_t>(bytes));
  if (range.count % kBitsPerByte != 0) {
    range.destination[bytes] = static_cast<unsigned char>(range.source[bytes] & LowBitsMask(range.count));
  }
}

void CatalogBlockAndTo(FskMachine* the) {
  RangeArgs range = RangeArguments(the, true);
  CombineBytes(range, range.count, And);
}

void CatalogBlockOrTo(FskMachine* the) {
  RangeArgs range = RangeArguments(the, true);
  CombineBytes(range, range.count, Or);
}

void CatalogBlockAndBitsTo(FskMachine* the) {
  RangeArgs range = RangeArguments(the, true);
  int64_t bytes = range.count / kBitsPerByte;
  CombineBytes(range, bytes, And);
  if (range.count % kBitsPerByte != 0) {
    auto kept = static_cast<unsigned char>(~LowBitsMask(range.count));
    range.destination[bytes] = static_cast<unsigned char>(range.destination[bytes] & (range.source[bytes] | kept));
  }
}

void CatalogBlockOrBitsTo(FskMachine* the) {
  RangeArgs range = RangeArguments(the, true);
  int64_t bytes = range.count / kBitsPerByte;
  CombineBytes(range, bytes, Or);
  if (range.count % kBitsPerByte != 0) {
    range.destination[bytes] =
        static_cast<unsigned char>(range.destination[bytes] | (range.source[bytes] & LowBitsMask(range.count)));
  }
}

void CatalogBlockIsZero(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  bool zero = std::all_of(block.bytes, block.bytes + block.length, [](unsigned char byte) { return byte == 0; });
  fxBoolean(the, fxResult(the), zero);
}

void CatalogBlockClear(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  std::memset(block.bytes, 0, static_cast<size_t>(block.length));
  CatalogExtChange(the, CatalogExtThis(the));
}

void CatalogBlockBitCount(FskMachine* the) {
  CatalogExtBlock block = ThisBlock(the);
  int64_t limit = CatalogExtIntegerArg(the, 0);
  int64_t wholeBits = block.length / kWordBytes * kBitsPerWord;
  int64_t bits = limit < 1 ? wholeBits : std::min(limit, wholeBits);
  int64_t count = 0;
  for (int64_t byte = 0; byte < bits / kBitsPerByte; ++byte) {
    count += std::popcount(block.bytes[byte]);
  }
  if (bits % kBitsPerByte != 0) {
    count += std::popcount(static_cast<unsigned char>(block.bytes[bits / kBitsPerByte] & LowBitsMask(bits)));
  }
  SetIntegerResult(the, count);
}
