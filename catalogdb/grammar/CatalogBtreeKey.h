#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalogdb/grammar/CatalogBtreeLayout.h"
#include "fsk/FskScript.h"

// A key as the pages of one index hold it: a signed 32-bit integer, a
// double, or text of keySize bytes padded with NUL (longer text is cut at
// keySize bytes).
class CatalogBtreeKey {
 public:
  // The key of a script value, for pages like page.
  static CatalogBtreeKey FromValue(FskMachine* the, const fsk::Value& value, const CatalogBtree::IndexPage& page);
  // The key of entry index of page.
  static CatalogBtreeKey FromEntry(const CatalogBtree::IndexPage& page, int index);

  // Negative, 0 or positive as this key sorts before, with or after the key
  // stored at key. Integers compare as signed values; numbers as doubles,
  // NaN after every other number and equal to itself; text byte by byte as
  // unsigned characters.
  int Compare(const unsigned char* key) const;
  // Writes the key's keySize bytes at key.
  void StoreAt(unsigned char* key) const;

  // Where the key lies in page: the first entry whose key is not below it,
  // and whether that entry's key is equal. EINVAL when the page holds keys
  // of another kind or size.
  struct Position {
    int index;
    bool found;
  };
  Position Find(FskMachine* the, const CatalogBtree::IndexPage& page) const;

  // The script value of the key stored at entry index of page: an integer,
  // a number, or the text up to its first NUL.
  static fsk::Value ToValue(const CatalogBtree::IndexPage& page, int index);

 private:
  // The binary search of Find, with compare(key) as Compare(key).
  template <typename KeyCompare>
  static Position FindIn(const CatalogBtree::IndexPage& page, KeyCompare compare) {
    int low = 0;
    int high = page.Count();
    while (low < high) {
      int middle = low + (high - low) / 2;
      if (compare(page.Key(middle)) > 0) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    bool found = low < page.Count() && compare(page.Key(low)) == 0;
    return Position{low, found};
  }

  // keySize bytes, 0 first; short keys stay in the object.
  void Clear(size_t size);
  const unsigned char* Bytes() const { return size_ <= kShortKey ? short_.data() : long_.data(); }
  unsigned char* Bytes() { return size_ <= kShortKey ? short_.data() : long_.data(); }

  static constexpr size_t kShortKey = 16;

  CatalogBtree::KeyKind kind_ = CatalogBtree::KeyKind::kInteger;
  size_t size_ = 0;
  std::array<unsigned char, kShortKey> short_{};
  std::vector<unsigned char> long_;
};
