#pragma once

#include <cstddef>

#include "fsk/Grammar.h"

// The native table of CatalogGrammar: row n is native n, "@"[n] in the
// machine. Rows whose natives are not built yet point to the placeholders.
inline constexpr size_t kCatalogGrammarRowCount = 113;
extern const NativeRow kCatalogGrammarRows[kCatalogGrammarRowCount];
