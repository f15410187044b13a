#include "catalogdb/grammar/CatalogResultNatives.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "catalogdb/grammar/CatalogResultBitsNatives.h"
#include "catalogdb/grammar/CatalogSlotBlock.h"
#include "fsk/FskScript.h"

namespace {

constexpr int64_t kBitsPerWord = 32;
constexpr uint32_t kAllOnes = 0xFFFFFFFFu;

fsk::Value This(FskMachine* the) { return fsk::Value(*fxThis(the)); }

CatalogResultBits& BitsOf(FskMachine* the, const fsk::Value& result) {
  return *CatalogResultBitsOf(the, fsk::Get(the, result, "data"));
}

CatalogResultBits& ArgBits(FskMachine* the, int32_t index) {
  return *CatalogResultBitsOf(the, fsk::Value(*fxCheckArg(the, index)));
}

void Invalidate(FskMachine* the, const fsk::Value& result) { fsk::Call(the, result, "invalidate"); }

int64_t IdArg(FskMachine* the) { return fxToInteger(the, fxCheckArg(the, 0)); }

bool Covers(const CatalogResultBits& bits, int64_t id) { return id >= 0 && id <= bits.maxID; }

uint32_t Mask(int64_t id) { return uint32_t{1} << (id % kBitsPerWord); }

uint32_t& WordOf(CatalogResultBits& bits, int64_t id) { return bits.bits[id / kBitsPerWord]; }

// The bits of word that lie at or below maxID.
uint32_t CoveredBits(const CatalogResultBits& bits, int64_t word) {
  int64_t lastWord = CatalogResultWordCount(bits) - 1;
  if (word < lastWord) {
    return bits.bits[word];
  }
  int64_t lastBits = int64_t{bits.maxID} % kBitsPerWord + 1;
  uint32_t lastMask = lastBits == kBitsPerWord ? kAllOnes : ((uint32_t{1} << lastBits) - 1);
  return bits.bits[word] & lastMask;
}

// visit(id) for each set bit, ascending, while it answers true. Empty words
// are passed over whole, so the walk costs a word per 32 IDs and a step per
// set bit.
template <typename Visit>
void ForEachSetID(const CatalogResultBits& bits, Visit visit) {
  int64_t words = CatalogResultWordCount(bits);
  for (int64_t word = 0; word < words; ++word) {
    for (uint32_t rest = CoveredBits(bits, word); rest != 0; rest &= rest - 1) {
      if (!visit(static_cast<int32_t>(word * kBitsPerWord + std::countr_zero(rest)))) {
        return;
      }
    }
  }
}

// The set bits, ascending.
std::vector<int32_t> SetIDs(const CatalogResultBits& bits) {
  std::vector<int32_t> ids;
  ForEachSetID(bits, [&](int32_t id) {
    ids.push_back(id);
    return true;
  });
  return ids;
}

}  // namespace

void CatalogResultAddID(FskMachine* the) {
  fsk::Value self = This(the);
  int64_t id = IdArg(the);
  if (id < 0 || id > INT32_MAX) {
    fxError(the, EINVAL);
  }
  Invalidate(the, self);
  if (id > BitsOf(the, self).maxID) {
    fsk::Call(the, self, "adjust", id);
  }
  CatalogResultBits& bits = BitsOf(the, self);
  if (!Covers(bits, id)) {
    fxError(the, EINVAL);
  }
  WordOf(bits, id) |= Mask(id);
}

void CatalogResultRemoveID(FskMachine* the) {
  fsk::Value self = This(the);
  int64_t id = IdArg(the);
  Invalidate(the, self);
  CatalogResultBits& bits = BitsOf(the, self);
  if (Covers(bits, id)) {
    WordOf(bits, id) &= ~Mask(id);
  }
}

void CatalogResultTestID(FskMachine* the) {
  int64_t id = IdArg(the);
  CatalogResultBits& bits = BitsOf(the, This(the));
  fxBoolean(the, fxResult(the), Covers(bits, id) && (WordOf(bits, id) & Mask(id)) != 0);
}

void CatalogResultCount(FskMachine* the) {
  CatalogResultBits& bits = BitsOf(the, This(the));
  int64_t words = CatalogResultWordCount(bits);
  int64_t count = 0;
  for (int64_t word = 0; word < words; ++word) {
    count += std::popcount(CoveredBits(bits, word));
  }
  fxInteger(the, fxResult(the), count);
}

void CatalogResultAnd(FskMachine* the) {
  fsk::Value self = This(the);
  Invalidate(the, self);
  CatalogResultBits& a = ArgBits(the, 0);
  CatalogResultBits& b = ArgBits(the, 1);
  CatalogResultBits& bits = BitsOf(the, self);
  int64_t common = std::min({CatalogResultWordCount(bits), CatalogResultWordCount(a), CatalogResultWordCount(b)});
  for (int64_t word = 0; word < common; ++word) {
    bits.bits[word] = b.bits[word] & a.bits[word];
  }
}

void CatalogResultOr(FskMachine* the) {
  fsk::Value self = This(the);
  Invalidate(the, self);
  CatalogResultBits& a = ArgBits(the, 0);
  CatalogResultBits& b = ArgBits(the, 1);
  CatalogResultBits& bits = BitsOf(the, self);
  int64_t own = CatalogResultWordCount(bits);
  int64_t aWords = CatalogResultWordCount(a);
  int64_t bWords = CatalogResultWordCount(b);
  int64_t common = std::min({own, aWords, bWords});
  for (int64_t word = 0; word < common; ++word) {
    bits.bits[word] = a.bits[word] | b.bits[word];
  }
  const CatalogResultBits& longer = aWords >= bWords ? a : b;
  int64_t copyEnd = std::min(own, std::max(aWords, bWords));
  for (int64_t word = std::max(common, std::min(aWords, bWords)); word < copyEnd; ++word) {
    bits.bits[word] = longer.bits[word];
  }
}

void CatalogResultNot(FskMachine* the) {
  fsk::Value self = This(the);
  Invalidate(the, self);
  CatalogResultBits& a = ArgBits(the, 0);
  CatalogResultBits& bits = BitsOf(the, self);
  int64_t own = CatalogResultWordCount(bits);
  int64_t common = std::min(own, CatalogResultWordCount(a));
  for (int64_t word = 0; word < common; ++word) {
    bits.bits[word] = ~a.bits[word];
  }
  for (int64_t word = common; word < own; ++word) {
    bits.bits[word] = kAllOnes;
  }
}

void CatalogResultBuildAux(FskMachine* the) {
  CatalogResultBits& bits = BitsOf(the, This(the));
  CatalogSlots content = CatalogSlotsOf(the, fxCheckArg(the, 0));
  int32_t filled = 0;
  if (content.length <= 0) {
    return;
  }
  ForEachSetID(bits, [&](int32_t id) {
    content.slots[filled++] = id;
    return filled < content.length;
  });
}

void CatalogResultGetRecords(FskMachine* the) {
  fsk::Value self = This(the);
  std::vector<int32_t> ids = SetIDs(BitsOf(the, self));
  fsk::Value records = fsk::New(the, fsk::Global(the), "Array");
  fsk::Value database = fsk::Get(the, self, "db");
  int32_t index = 0;
  for (int32_t id : ids) {
    fsk::Value record = fsk::Call(the, database, "getRecord", id);
    fsk::Set(the, record, "selected", fsk::Value::Boolean(false));
    fsk::SetAt(the, records, index++, record);
  }
  *fxResult(the) = records.Slot();
}
