#pragma once

#include "fsk/FskMachine.h"

// The natives of signatureIO: four-character type codes and their 32-bit
// big-endian values. Each character is one byte, a code point from 0 to
// 255 (carried in the runtime's UTF-8 strings).

// parse(text): the first four characters as a big-endian value; undefined
// for a text of three characters or fewer; EINVAL for a character above 255.
void CatalogSignatureParse(FskMachine* the);
// serialize(value): the bytes, most significant first, up to the first zero
// byte; undefined for undefined.
void CatalogSignatureSerialize(FskMachine* the);
