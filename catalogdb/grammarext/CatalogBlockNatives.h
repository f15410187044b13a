#pragma once

#include "fsk/FskMachine.h"

// The natives of CatalogGrammarExt.block: typed values and strings inside a
// block (this.pointer, this.length) and byte and bit ranges from it to
// another address. Reads and writes outside the block raise ILLEGAL_DB with
// nothing changed; each write then calls this.change(). The range
// operations check nothing: their callers check both spans.

// getBit(n): bit n masked in place (0 or 1 << (n mod 8)).
void CatalogBlockGetBit(FskMachine* the);
// getWord(i): the unsigned 16-bit value at byte 2i.
void CatalogBlockGetWord(FskMachine* the);
// getDWord(i), getUDWord(i): the 32-bit value at byte 4i, signed or not.
void CatalogBlockGetDWord(FskMachine* the);
void CatalogBlockGetUDWord(FskMachine* the);
// getString(offset, size): the text at offset up to its NUL, at most size
// bytes.
void CatalogBlockGetString(FskMachine* the);
// setBit(n, value), setWord(i, value), setDWord(i, value).
void CatalogBlockSetBit(FskMachine* the);
void CatalogBlockSetWord(FskMachine* the);
void CatalogBlockSetDWord(FskMachine* the);
// setString(offset, text, size): the text and a NUL in size bytes; a text
// too long is cut at the last character boundary that leaves room for the
// NUL.
void CatalogBlockSetString(FskMachine* the);

// copyTo(destination, offset, n): n bytes (overlap allowed).
void CatalogBlockCopyTo(FskMachine* the);
// copyBitsTo(destination, offset, bits): bits / 8 bytes, then the next
// byte's low (bits mod 8) bits with its other bits cleared.
void CatalogBlockCopyBitsTo(FskMachine* the);
// andTo, orTo(destination, offset, n): destination AND= / OR= n bytes from
// offset rounded down to a multiple of 4.
void CatalogBlockAndTo(FskMachine* the);
void CatalogBlockOrTo(FskMachine* the);
// andBitsTo, orBitsTo(destination, offset, bits): the same over bits bits;
// the last byte's bits above (bits mod 8) stay as they were.
void CatalogBlockAndBitsTo(FskMachine* the);
void CatalogBlockOrBitsTo(FskMachine* the);

// isZero(), clear() (then this.change()), bitCount(limit): the set bits
// among bits 0 to limit - 1 of the block's whole 32-bit words (all of them
// for a limit below 1).
void CatalogBlockIsZero(FskMachine* the);
void CatalogBlockClear(FskMachine* the);
void CatalogBlockBitCount(FskMachine* the);
