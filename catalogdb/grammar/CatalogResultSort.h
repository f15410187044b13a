#pragma once

#include "fsk/FskMachine.h"

// Sorting a result's contents by the ranks of sorting arrays. The keys'
// arrays and orders come from this.database (getSortingArray(key),
// getSortingOrder(key): negative is descending); the contents are built
// by this.build(0).

// sort(key, ...): sorts this.contents by up to 256 keys (the others are
// ignored); the first key without a sorting array ends the list. Ties keep
// build order.
void CatalogResultSort(FskMachine* the);
// unique(key) -> a new xdb.Result(this.database) holding the first ID of
// each run of equal ranks of this.contents sorted by key. EINVAL when the
// key has no sorting array.
void CatalogResultUnique(FskMachine* the);
