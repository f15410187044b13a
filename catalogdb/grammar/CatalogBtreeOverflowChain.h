#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "catalogdb/grammar/CatalogBtreeIndexObject.h"

// The overflow chains of non-unique entries: slots of IDs on overflow
// pages, each slot linked to the next by {page offset, slot}. Every slot of
// a chain but the last is full. One chain object keeps one page object per
// offset for its work, so that a page reached twice is changed once.
class CatalogBtreeOverflowChain {
 public:
  explicit CatalogBtreeOverflowChain(CatalogBtreeIndexObject& index) : index_(index) {}

  struct Head {
    int32_t page;
    int32_t slot;
  };
  // The overflow page at offset (readOverflow the first time).
  fsk::Value Page(int32_t offset);
  // The first ID of slot of the page at offset.
  int32_t FirstId(int32_t pageOffset, int32_t slot);

  // A new chain holding id alone, on the first free slot of a page from
  // getOverflow(); that page is written.
  Head Start(int32_t id);
  // Adds id to the chain from slot of page, unless the chain holds it.
  void Add(const fsk::Value& page, int32_t slot, int32_t id);
  // Removes id from the chain from slot of page: the chain's last ID takes
  // its place. A last slot left empty is unlinked, and its page is given to
  // addFree when all its slots are free.
  struct Removal {
    // False when the chain lacks id.
    bool removed = false;
    // The chain has no ID left.
    bool emptied = false;
  };
  Removal Remove(const fsk::Value& page, int32_t slot, int32_t id);

  // What a walk along a chain saw.
  struct Walk {
    int32_t pages = 0;
    int32_t slots = 0;
  };
  // Appends the IDs of the chain from slot of the page at pageOffset, slot
  // by slot, each slot up to its first 0.
  void Collect(int32_t pageOffset, int32_t slot, std::vector<int32_t>* ids, Walk* walk);

 private:
  struct Position {
    int32_t page;
    int32_t slot;
  };
  fsk::Value Remember(const fsk::Value& page);
  // The slots of the chain from a position, in order.
  std::vector<Position> Slots(Position head);
  CatalogBtree::OverflowPage View(int32_t offset, int32_t slot);

  CatalogBtreeIndexObject& index_;
  std::map<int32_t, fsk::Value> pages_;
};

// The IDs of entry index of an index page: its ID in a unique page (none
// when 0), else its inline IDs that are not 0, in slot order, then its
// overflow chain.
std::vector<int32_t> CatalogBtreeEntryIds(CatalogBtreeIndexObject& index, const fsk::Value& page, int entry,
                                          CatalogBtreeOverflowChain::Walk* walk = nullptr);

// The natives of xdbBtree.overflowPage: addEntry(index, slot, id),
// isFull(), removeEntry(index, slot, id) -> whether id was in the chain.
void CatalogBtreeOverflowAddEntry(FskMachine* the);
void CatalogBtreeOverflowIsFull(FskMachine* the);
void CatalogBtreeOverflowRemoveEntry(FskMachine* the);
