#pragma once

#include "fsk/FskMachine.h"

// Walks over a B-tree's keys in ascending order.

// index.countNode(node, onlyKeys) -> the keys below node (onlyKeys true)
// or their IDs.
void CatalogBtreeCountNode(FskMachine* the);
// index.eachUpNode(target, node): this.eachUpLeaf(target, key, value) for
// each key; value is the ID in a unique index, else an object holding the
// IDs at 0, 1, ...
void CatalogBtreeEachUpNode(FskMachine* the);
// index.filterSearchNode(node, function, result): adds the IDs of each key
// to result, skipping the keys for which function.call(key) is false when
// function is defined. The node is locked in the cache meanwhile.
void CatalogBtreeFilterSearchNode(FskMachine* the);
// index.partialSearchNode(node, text, length, result): adds the IDs of each
// text key whose first length bytes are those of text (NUL-padded).
void CatalogBtreePartialSearchNode(FskMachine* the);
// index.buildSortingNode(array, node): each key in turn gives array.index
// as the rank of all its IDs (array.setValue(id, rank)), then array.index
// rises by 1. The node is locked in the cache meanwhile.
void CatalogBtreeBuildSortingNode(FskMachine* the);
// index.statsNode(node, statistics, level): statistics.add(ids,
// overflowPages, overflowSlots, keyLength) for each key, and
// statistics.depth raised to the deepest page's level.
void CatalogBtreeStatsNode(FskMachine* the);
