#pragma once

#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeKey.h"

// Looking keys up in a B-tree: the descent from a page to a key's entry,
// and the natives searchNode and updateNode.

struct CatalogBtreeHit {
  // The page where the descent ended, and the entry of the key in it.
  fsk::Value page;
  int entry = 0;
  bool found = false;
};

// Descends from node to the entry of key.
CatalogBtreeHit CatalogBtreeFind(CatalogBtreeIndexObject& index, const fsk::Value& node, const CatalogBtreeKey& key);

// EINVAL when a walk has gone deeper than any sound tree.
void CatalogBtreeCheckDepth(FskMachine* the, int depth);

// Adds the IDs of entry of page to result with result.addID(id); in a
// unique page only when result is defined.
void CatalogBtreeAddIds(CatalogBtreeIndexObject& index, const fsk::Value& result, const fsk::Value& page, int entry);

// index.searchNode(node, key, result).
void CatalogBtreeSearchNode(FskMachine* the);
// index.updateNode(node, key, id) -> whether key was found: the ID of a
// unique entry becomes id (the page is written when it changed). EINVAL in
// a non-unique index.
void CatalogBtreeUpdateNode(FskMachine* the);
