#pragma once

#include <cstddef>

#include "fsk/Grammar.h"

// The native table of CatalogGrammarExt: row n is native n, "@"[n] in the
// machine. Rows whose natives are not built yet point to the placeholder.
inline constexpr size_t kCatalogGrammarExtRowCount = 56;
extern const NativeRow kCatalogGrammarExtRows[kCatalogGrammarExtRowCount];
