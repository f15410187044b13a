#pragma once

#include <cstdint>

#include "fsk/FskFile.h"
#include "fsk/FskScript.h"

// The natives of xdb.atomFile. An atom file's refnum holds the address of
// its open file (-1 when it was never opened, 0 once closed) and filename
// the path it was opened with. Addresses travel as integer arguments.

// refnum before the first open.
inline constexpr int64_t kCatalogNeverOpened = -1;

// The open file of an atom file object; EBADF when it has none.
FskFile CatalogAtomFileOf(FskMachine* the, const fsk::Value& atomFile);

void CatalogAtomFileClose(FskMachine* the);
void CatalogAtomFileCreate(FskMachine* the);
void CatalogAtomFileDeleteFile(FskMachine* the);
void CatalogAtomFileGetOffset(FskMachine* the);
void CatalogAtomFileGetSize(FskMachine* the);
void CatalogAtomFileOpen(FskMachine* the);
void CatalogAtomFileReadAtom(FskMachine* the);
void CatalogAtomFileReadData(FskMachine* the);
void CatalogAtomFileReadDataAt(FskMachine* the);
void CatalogAtomFileReadMolecule(FskMachine* the);
void CatalogAtomFileReadMoleculeSignature(FskMachine* the);
void CatalogAtomFileSetOffset(FskMachine* the);
void CatalogAtomFileSizeMolecule(FskMachine* the);
void CatalogAtomFileTruncate(FskMachine* the);
void CatalogAtomFileWriteAtom(FskMachine* the);
void CatalogAtomFileWriteData(FskMachine* the);
void CatalogAtomFileWriteDataAt(FskMachine* the);
void CatalogAtomFileWriteMolecule(FskMachine* the);
