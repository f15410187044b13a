#pragma once

#include "fsk/Grammar.h"

// What the rows of natives that are not built yet point to. The function
// raises a native error with ENOSYS; the destructor does nothing (nothing
// can have given such a host object data).
void CatalogPlaceholderNative(FskMachine* the);
void CatalogPlaceholderDestructor(void* data);

// Whether a row points to a placeholder.
bool CatalogIsPlaceholder(const NativeRow& row);
