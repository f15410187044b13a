#pragma once

#include "fsk/FskMachine.h"

// Insertion into a B-tree with splits made on the way down: a page is split
// before the descent enters it when it holds 2d - 1 keys, so a split never
// has to climb back up.

// index.insertData(key, id): clears this.sortingArray, splits a full root
// under a new root (after this.changing()), then inserts. A key that a
// unique index holds already throws the Error "BTree duplicate key!"; splits
// made before stay.
void CatalogBtreeInsertData(FskMachine* the);
// index.insertNode(node, key, id): inserts below node, which is not full.
void CatalogBtreeInsertNode(FskMachine* the);
// index.splitNode(parent, index, child) -> the new right page: child, a
// full page that is child index of parent (not full), gives its upper half
// to a page from makeNode and its middle key to parent.
void CatalogBtreeSplitNode(FskMachine* the);
