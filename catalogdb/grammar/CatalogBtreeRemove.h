#pragma once

#include "fsk/FskMachine.h"

// Deletion from a B-tree, keeping every page but the root at d - 1 keys or
// more: before the descent enters a page of d - 1 keys, that page borrows a
// key through its parent from a sibling of d keys or more, or merges with a
// sibling and the key between them.

// index.removeKey(key) -> whether the key was there: removes the key with
// its IDs (its overflow chain is given back first). An inner root left
// without keys gives way to its only child (after this.changing()) and goes
// to addFree.
void CatalogBtreeRemoveKey(FskMachine* the);
// index.removeKeyNode(node, key) -> whether the key was there: one
// deletion below node.
void CatalogBtreeRemoveKeyNode(FskMachine* the);
// index.removeKeyID(node, key, id) -> whether id was removed from key's
// entry. The key stays, also when no ID is left.
void CatalogBtreeRemoveKeyID(FskMachine* the);
// index.searchLeft(page, index, node), index.searchRight(page, index,
// node): the last key of the rightmost leaf below node (the first key of
// the leftmost leaf), with its IDs and overflow words, replaces those of
// entry index of page; the entry's child stays.
void CatalogBtreeSearchLeft(FskMachine* the);
void CatalogBtreeSearchRight(FskMachine* the);
