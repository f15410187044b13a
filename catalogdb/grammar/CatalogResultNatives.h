#pragma once

#include "fsk/FskMachine.h"

// The natives of xdb.result that work on a result's bitmap: this.data is a
// _result or a _bitmap (EINVAL for anything else or for one without data).
// The changing ones call this.invalidate() first.

// addID(id): sets bit id, calling this.adjust(id) first when id is above
// maxID. EINVAL for a negative id.
void CatalogResultAddID(FskMachine* the);
// removeID(id): clears bit id when it is covered.
void CatalogResultRemoveID(FskMachine* the);
// testID(id) -> whether bit id is covered and set.
void CatalogResultTestID(FskMachine* the);
// count() -> the set bits from 0 to maxID.
void CatalogResultCount(FskMachine* the);
// _and(a, b): word w = b AND a over the words all three cover.
void CatalogResultAnd(FskMachine* the);
// _or(a, b): word w = a OR b over the words all three cover, then the
// words that only the longer of a and b covers are copied, up to this's
// own words.
void CatalogResultOr(FskMachine* the);
// _not(a): word w = NOT a over the words both cover; this's other words
// become all ones.
void CatalogResultNot(FskMachine* the);
// buildAux(content): the IDs of the set bits, ascending, into content's
// slots until it is full.
void CatalogResultBuildAux(FskMachine* the);
// getRecords() -> a new Array of this.db.getRecord(id) for each set bit,
// ascending, each with selected = false.
void CatalogResultGetRecords(FskMachine* the);
