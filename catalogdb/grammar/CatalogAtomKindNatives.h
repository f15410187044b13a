#pragma once

#include "fsk/FskMachine.h"

// The natives of the atom kinds: xdb.rawAtom and xdb.xmlAtom with their
// constructors, and the compressed kinds xdb.rawZAtom and xdb.xmlZAtom,
// which are not implemented. A kind's prototype gives the type word of its
// atoms in its type property.

// The message of the compressed kinds' error.
inline constexpr char kCatalogCompressedMessage[] = "Compressed database not implemented!";

void CatalogRawAtomMakeObject(FskMachine* the);
void CatalogRawAtomConstructor(FskMachine* the);
void CatalogXmlAtomMakeObject(FskMachine* the);
void CatalogXmlAtomConstructor(FskMachine* the);
// Constructor and makeObject of both compressed kinds.
void CatalogCompressedAtomNative(FskMachine* the);
