#pragma once

#include <cstddef>

#include "fsk/Grammar.h"

// The native table of CatalogGrammarExt: row n is native n, "@"[n] in the
// machine.
inline constexpr size_t kCatalogGrammarExtRowCount = 56;
extern const NativeRow kCatalogGrammarExtRows[kCatalogGrammarExtRowCount];
