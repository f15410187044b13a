#pragma once

#include <cstdint>

// The host data of a result bitmap in memory (an instance of
// xdb.result._result), the one layout that both grammars read:
// CatalogGrammar's result natives own it and CatalogGrammarExt's
// database._getData hands out its bits. Bit i is bit (i mod 32) of the
// 32-bit word i / 32.
struct CatalogResultBits {
  // The highest ID covered.
  int32_t maxID;
  // The bytes at bits: a multiple of 32 that covers words 0 to maxID / 32.
  int32_t capacity;
  uint32_t* bits;
};
