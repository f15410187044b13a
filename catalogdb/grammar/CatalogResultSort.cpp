#include "catalogdb/grammar/CatalogResultSort.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>
#include <vector>

#include "catalogdb/grammar/CatalogSlotBlock.h"
#include "fsk/FskScript.h"

namespace {

constexpr int32_t kMaxSortKeys = 256;

struct SortKey {
  CatalogSlots ranks;
  bool descending = false;
};

// The comparison of two IDs over a list of keys: the first key whose ranks
// differ decides; an ID outside a key's array ranks -1.
class KeyComparison {
 public:
  explicit KeyComparison(std::vector<SortKey> keys) : keys_(std::move(keys)) {}

  int64_t Compare(int32_t x, int32_t y) const {
    for (const SortKey& key : keys_) {
      int64_t a = key.ranks.At(key.descending ? y : x);
      int64_t b = key.ranks.At(key.descending ? x : y);
      if (a != b) {
        return a - b;
      }
    }
    return 0;
  }

  bool operator()(int32_t x, int32_t y) const { return Compare(x, y) < 0; }

  // The ranks of the first key.
  int64_t FirstRank(int32_t id) const { return keys_.empty() ? -1 : keys_.front().ranks.At(id); }

 private:
  std::vector<SortKey> keys_;
};

// The sorting array of a key, or undefined when the database has none.
struct KeyObjects {
  fsk::Value array;
  bool present = false;
  bool descending = false;
};

KeyObjects KeyOf(FskMachine* the, const fsk::Value& database, const fsk::Value& key) {
  KeyObjects objects;
  objects.array = fsk::Call(the, database, "getSortingArray", key);
  objects.present = fsk::ToBoolean(the, objects.array);
  if (objects.present) {
    objects.descending = fsk::ToNumber(the, fsk::Call(the, database, "getSortingOrder", key)) < 0;
  }
  return objects;
}

// Builds this.contents afresh and sorts it by the keys. The arrays are read
// only after the last call into the script, so their slots stay put.
struct SortedContents {
  CatalogSlots slots;
  KeyComparison comparison;
};

SortedContents SortContents(FskMachine* the, const fsk::Value& self, const std::vector<KeyObjects>& keys) {
  fsk::Call(the, self, "build", 0);
  fsk::Value contents = fsk::Get(the, self, "contents");
  std::vector<SortKey> sortKeys;
  for (const KeyObjects& key : keys) {
    sortKeys.push_back(SortKey{CatalogSlotsOf(the, &key.array.Slot()), key.descending});
  }
  SortedContents sorted{CatalogSlotsOf(the, &contents.Slot()), KeyComparison(std::move(sortKeys))};
  const KeyComparison& comparison = sorted.comparison;
  std::stable_sort(sorted.slots.slots, sorted.slots.slots + sorted.slots.length,
                   [&comparison](int32_t x, int32_t y) { return comparison(x, y); });
  return sorted;
}

}  // namespace

void CatalogResultSort(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  fsk::Value database = fsk::Get(the, self, "database");
  std::vector<KeyObjects> keys;
  int32_t count = std::min(fxArgc(the), kMaxSortKeys);
  for (int32_t index = 0; index < count; ++index) {
    KeyObjects key = KeyOf(the, database, fsk::Value(*fxCheckArg(the, index)));
    if (!key.present) {
      break;
    }
    keys.push_back(key);
  }
  (void)SortContents(the, self, keys);
}

void CatalogResultUnique(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  fsk::Value database = fsk::Get(the, self, "database");
  KeyObjects key = KeyOf(the, database, fsk::Value(*fxCheckArg(the, 0)));
  if (!key.present) {
    fxError(the, EINVAL);
  }
  SortedContents sorted = SortContents(the, self, {key});
  const CatalogSlots& slots = sorted.slots;
  // The first ID of each run, taken before any call into the script.
  std::vector<int32_t> firsts;
  for (int32_t index = 0; index < slots.length; ++index) {
    int32_t id = slots.slots[index];
    if (index == 0 || sorted.comparison.FirstRank(id) != sorted.comparison.FirstRank(slots.slots[index - 1])) {
      firsts.push_back(id);
    }
  }
  fsk::Value unique = fsk::New(the, fsk::GetPath(the, "xdb"), "Result", database);
  for (int32_t id : firsts) {
    fsk::Call(the, unique, "addID", id);
  }
  *fxResult(the) = unique.Slot();
}
