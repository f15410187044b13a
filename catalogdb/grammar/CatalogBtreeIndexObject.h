#pragma once

#include <cstdint>
#include <string_view>

#include "catalogdb/grammar/CatalogBtreeLayout.h"
#include "fsk/FskScript.h"

// The index object as the B-tree natives see it: its properties, the
// callbacks its node cache supplies (readNode, makeNode, getOverflow,
// readOverflow, addFree, changing, cacheLock, cacheUnlock, eachUpLeaf) and
// the memory of its pages.
//
// A page's memory is reached through the page object each time: any call
// into the script may write, evict or close pages, so a view of a page's
// memory is used only until the next call.

// A page's memory block: the page's size, then its bytes.
struct CatalogPageMemory {
  unsigned char* bytes = nullptr;
  uint32_t size = 0;
};

// The memory of a page object; EINVAL when it has none (closed).
CatalogPageMemory CatalogPageMemoryOf(FskMachine* the, const fsk::Value& page);
// The memory of this page object, which takes a new block of size bytes,
// all 0 (the old block is freed).
CatalogPageMemory CatalogNewPageMemory(FskMachine* the, const fsk::Value& page, uint32_t size);

// A view of an index page; EINVAL unless its header fits its memory.
CatalogBtree::IndexPage CatalogIndexPageOf(FskMachine* the, const fsk::Value& page);
// A view of an overflow page; EINVAL unless its header fits its memory.
CatalogBtree::OverflowPage CatalogOverflowPageOf(FskMachine* the, const fsk::Value& page);

// An integer property or argument that must fit an int32; EINVAL if not.
int32_t CatalogInt32(FskMachine* the, const fsk::Value& value);
int32_t CatalogInt32Property(FskMachine* the, const fsk::Value& object, std::string_view name);
int32_t CatalogInt32Arg(FskMachine* the, int32_t index);

// The offset property of a page.
int32_t CatalogPageOffset(FskMachine* the, const fsk::Value& page);

class CatalogBtreeIndexObject {
 public:
  CatalogBtreeIndexObject(FskMachine* the, fsk::Value index);
  // this of the running native.
  static CatalogBtreeIndexObject This(FskMachine* the);

  FskMachine* Machine() const { return the_; }
  const fsk::Value& Object() const { return index_; }

  int32_t Flags() const;
  bool IsUnique() const { return (Flags() & CatalogBtree::kIndexUnique) != 0; }

  fsk::Value Root() const;
  void SetRoot(const fsk::Value& page);

  // The callbacks of the node cache.
  fsk::Value ReadNode(int32_t offset);
  fsk::Value MakeNode(const fsk::Value& like);
  fsk::Value GetOverflow();
  fsk::Value ReadOverflow(int32_t offset);
  void AddFree(int32_t offset);
  void Changing();
  void CacheLock(const fsk::Value& node);
  void CacheUnlock(const fsk::Value& node);
  void EachUpLeaf(const fsk::Value& target, const fsk::Value& key, const fsk::Value& value);
  // page.write(): the cache writes a changed page.
  void Write(const fsk::Value& page);

 private:
  FskMachine* the_;
  fsk::Value index_;
};

// Runs work between cacheLock(node) and cacheUnlock(node); the page is
// unlocked also when an error passes (the error of work is the one that
// goes on).
template <typename Work>
void CatalogWithCacheLock(CatalogBtreeIndexObject& index, const fsk::Value& node, Work&& work) {
  index.CacheLock(node);
  try {
    work();
  } catch (...) {
    try {
      index.CacheUnlock(node);
    } catch (...) {  // NOLINT(bugprone-empty-catch): the first error wins.
    }
    throw;
  }
  index.CacheUnlock(node);
}
