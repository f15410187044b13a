#include "catalogdb/grammarext/CatalogBlockIndexNatives.h"

#include <bit>
#include <cstring>

#include "catalogdb/grammarext/CatalogExtSupport.h"

namespace {

using fsk::Value;

constexpr int32_t kBitsPerWord = 32;
constexpr int64_t kBitsPerByte = 8;
constexpr unsigned char kFullByte = 0xFF;
constexpr uint64_t kFullWord = ~uint64_t{0};

// The first byte from byte on that is not 0xFF, or where fewer than a word
// of bytes remain; a word at a time.
int64_t SkipFullWords(const CatalogExtBlock& block, int64_t byte) {
  while (block.length - byte >= static_cast<int64_t>(sizeof(uint64_t))) {
    uint64_t word = 0;
    std::memcpy(&word, block.bytes + byte, sizeof word);
    if (word != kFullWord) {
      return byte;
    }
    byte += static_cast<int64_t>(sizeof word);
  }
  return byte;
}

// The layout of an ID sector: where its count and next slots are and how
// many ID slots it may use.
struct SectorShape {
  int64_t countSlot;
  int64_t nextSlot;
  int64_t maxCount;
};

SectorShape ShapeOf(FskMachine* the, const Value& sector) {
  return SectorShape{CatalogExtIntegerProperty(the, sector, "count"), CatalogExtIntegerProperty(the, sector, "next"),
                     CatalogExtIntegerProperty(the, sector, "maxCount")};
}

bool ValidSlot(const CatalogExtBlock& block, int64_t slot) { return slot >= 0 && slot < block.SlotCount(); }

// The number of used ID slots of a sector block, checked against the
// sector's capacity and the block.
int64_t UsedCount(FskMachine* the, const CatalogExtBlock& block, const SectorShape& shape) {
  CatalogExtRequire(the, ValidSlot(block, shape.countSlot) && ValidSlot(block, shape.nextSlot));
  int64_t used = static_cast<int32_t>(block.Slot(shape.countSlot));
  CatalogExtRequire(the, used >= 0 && used <= shape.maxCount && used <= block.SlotCount());
  return used;
}

void AddTo(FskMachine* the, const Value& target, int64_t id) { fsk::Call(the, target, "addID", id); }

}  // namespace

void CatalogSectorSubRemove(FskMachine* the) {
  Value self = CatalogExtThis(the);
  Value blockObject = CatalogExtArg(the, 0);
  CatalogExtBlock block = CatalogExtBlockOf(the, blockObject);
  uint32_t oldID = CatalogExtWordArg(the, 1);
  uint32_t newID = CatalogExtWordArg(the, 2);
  int64_t used = UsedCount(the, block, ShapeOf(the, self));
  for (int64_t slot = 0; slot < used; ++slot) {
    if (block.Slot(slot) == oldID) {
      block.SetSlot(slot, newID);
      CatalogExtChange(the, blockObject);
      fxBoolean(the, fxResult(the), true);
      return;
    }
  }
  fxBoolean(the, fxResult(the), false);
}

void CatalogSectorAddID(FskMachine* the) {
  Value self = CatalogExtThis(the);
  Value blockObject = CatalogExtArg(the, 0);
  Value target = CatalogExtArg(the, 1);
  SectorShape shape = ShapeOf(the, self);
  Value index = fsk::Get(the, self, "index");
  int64_t sectorLimit = CatalogExtIntegerProperty(the, index, "blockCount");
  for (int64_t visited = 1;; ++visited) {
    CatalogExtBlock block = CatalogExtBlockOf(the, blockObject);
    int64_t used = UsedCount(the, block, shape);
    uint32_t next = block.Slot(shape.nextSlot);
    for (int64_t slot = 0; slot < used; ++slot) {
      uint32_t id = block.Slot(slot);
      if (id != 0) {
        AddTo(the, target, id);
      }
    }
    if (next == 0) {
      return;
    }
    CatalogExtRequire(the, visited < sectorLimit);
    blockObject = fsk::Call(the, index, "getBlock", static_cast<int64_t>(next));
  }
}

void CatalogBitmapEachCompareUp(FskMachine* the) {
  Value self = CatalogExtThis(the);
  uint32_t before = CatalogExtWordArg(the, 0);
  uint32_t after = CatalogExtWordArg(the, 1);
  Value target = CatalogExtArg(the, 2);
  uint32_t changed = before ^ after;
  for (int32_t bit = 0; bit < kBitsPerWord; ++bit) {
    uint32_t mask = uint32_t{1} << bit;
    if ((changed & mask) != 0) {
      fsk::Call(the, self, "onCallback", bit, target, (after & mask) != 0);
    }
  }
}

void CatalogBitmapEachSearchUp(FskMachine* the) {
  Value self = CatalogExtThis(the);
  Value first = CatalogExtArg(the, 0);
  Value second = CatalogExtArg(the, 1);
  uint32_t bits = CatalogExtWordArg(the, 2);
  bool isFirst = true;
  for (int32_t bit = 0; bit < kBitsPerWord; ++bit) {
    if ((bits & (uint32_t{1} << bit)) == 0) {
      continue;
    }
    fsk::Call(the, self, "onSearchCallback", bit, first, second, isFirst);
    isFirst = false;
  }
}

void CatalogDcfSubAddIDs(FskMachine* the) {
  CatalogExtBlock block = CatalogExtBlockOf(the, CatalogExtArg(the, 0));
  Value target = CatalogExtArg(the, 1);
  int64_t from = CatalogExtIntegerArg(the, 2);
  int64_t to = CatalogExtIntegerArg(the, 3);
  bool stored = fxToBoolean(the, fxCheckArg(the, 4));
  CatalogExtRequire(the, ValidSlot(block, from) && ValidSlot(block, to));
  if (stored) {
    for (int64_t slot = from; slot <= to; ++slot) {
      if (block.Slot(slot) != 0) {
        AddTo(the, target, block.Slot(slot));
      }
    }
    return;
  }
  int64_t number = CatalogExtIntegerProperty(the, target, "_fileCount");
  for (int64_t slot = from; slot <= to; ++slot, ++number) {
    if (block.Slot(slot) != 0) {
      AddTo(the, target, number);
    }
  }
  fsk::Set(the, target, "_fileCount", Value::Integer(number));
}

void CatalogDatabaseIDGetNextZero(FskMachine* the) {
  Value blockObject = CatalogExtArg(the, 0);
  CatalogExtBlock block = CatalogExtBlockOf(the, blockObject);
  int64_t limit = CatalogExtIntegerArg(the, 1);
  bool firstBlock = CatalogExtIntegerProperty(the, blockObject, "index") == 0;
  for (int64_t byte = 0; byte < block.length; ++byte) {
    // Byte 0 of the first block keeps ID 0 taken, so it is looked at alone.
    if (byte > 0 || !firstBlock) {
      byte = SkipFullWords(block, byte);
      if (byte >= block.length) {
        break;
      }
    }
    unsigned char value = block.bytes[byte];
    if (byte == 0 && firstBlock) {
      value = static_cast<unsigned char>(value | 1U);
    }
    if (value == kFullByte) {
      continue;
    }
    int64_t bit = std::countr_one(value);
    int64_t number = byte * kBitsPerByte + bit;
    if (number > limit) {
      CatalogExtRaise(the, kExtIdLimit);
    }
    block.bytes[byte] = static_cast<unsigned char>(block.bytes[byte] | (1U << bit));
    CatalogExtChange(the, blockObject);
    fxInteger(the, fxResult(the), number);
    return;
  }
  fxInteger(the, fxResult(the), -1);
}
