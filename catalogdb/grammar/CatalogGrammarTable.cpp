#include "catalogdb/grammar/CatalogGrammarTable.h"

#include "catalogdb/common/CatalogHostBuffer.h"
#include "catalogdb/grammar/CatalogAtomFileNatives.h"
#include "catalogdb/grammar/CatalogAtomKindNatives.h"
#include "catalogdb/grammar/CatalogAtomNatives.h"
#include "catalogdb/grammar/CatalogBtreeIndexFile.h"
#include "catalogdb/grammar/CatalogBtreeInsert.h"
#include "catalogdb/grammar/CatalogBtreeOverflowChain.h"
#include "catalogdb/grammar/CatalogBtreePageNatives.h"
#include "catalogdb/grammar/CatalogBtreeRemove.h"
#include "catalogdb/grammar/CatalogBtreeSearch.h"
#include "catalogdb/grammar/CatalogBtreeWalks.h"
#include "catalogdb/grammar/CatalogDatabaseNatives.h"
#include "catalogdb/grammar/CatalogResultBitsNatives.h"
#include "catalogdb/grammar/CatalogResultContentNatives.h"
#include "catalogdb/grammar/CatalogResultNatives.h"
#include "catalogdb/grammar/CatalogResultSort.h"
#include "catalogdb/grammar/CatalogSignatureNatives.h"
#include "catalogdb/grammar/CatalogSortingArrayNatives.h"

// Shared bodies once built: rows 71, 72, 75 and 76; rows 80 and 83; the
// destructors of rows 2, 32, 64 and 87; the close of rows 3, 33, 65 and 88
// (the last two in CatalogHostBuffer.h).
const NativeRow kCatalogGrammarRows[kCatalogGrammarRowCount] = {
    /*   0 */ NativeFunction(1, CatalogSignatureParse),  // signatureIO.parse
    /*   1 */ NativeFunction(1, CatalogSignatureSerialize),  // signatureIO.serialize
    /*   2 */ NativeHostObject(CatalogHostBufferDestructor),  // xdbAtom.atom
    /*   3 */ NativeFunction(0, CatalogHostBufferClose),  // xdbAtom.atom.close
    /*   4 */ NativeFunction(0, CatalogAtomGetID),  // xdbAtom.atom.getID
    /*   5 */ NativeFunction(0, CatalogAtomGetSize),  // xdbAtom.atom.getSize
    /*   6 */ NativeFunction(0, CatalogAtomGetType),  // xdbAtom.atom.getType
    /*   7 */ NativeFunction(1, CatalogAtomRead),  // xdbAtom.atom.read
    /*   8 */ NativeFunction(1, CatalogAtomSetID),  // xdbAtom.atom.setID
    /*   9 */ NativeFunction(1, CatalogAtomSetSize),  // xdbAtom.atom.setSize
    /*  10 */ NativeFunction(1, CatalogAtomSetType),  // xdbAtom.atom.setType
    /*  11 */ NativeFunction(1, CatalogAtomSwap),  // xdbAtom.atom.swap
    /*  12 */ NativeFunction(1, CatalogAtomWrite),  // xdbAtom.atom.write
    /*  13 */ NativeConstructor(1, CatalogAtomFromFile),  // xdbAtom.AtomFromFile
    /*  14 */ NativeFunction(0, CatalogAtomFileClose),  // xdb.atomFile.close
    /*  15 */ NativeFunction(1, CatalogAtomFileCreate),  // xdb.atomFile.create
    /*  16 */ NativeFunction(0, CatalogAtomFileDeleteFile),  // xdb.atomFile.deleteFile
    /*  17 */ NativeFunction(0, CatalogAtomFileGetOffset),  // xdb.atomFile.getOffset
    /*  18 */ NativeFunction(0, CatalogAtomFileGetSize),  // xdb.atomFile.getSize
    /*  19 */ NativeFunction(1, CatalogAtomFileOpen),  // xdb.atomFile.open
    /*  20 */ NativeFunction(1, CatalogAtomFileReadAtom),  // xdb.atomFile.readAtom
    /*  21 */ NativeFunction(2, CatalogAtomFileReadData),  // xdb.atomFile.readData
    /*  22 */ NativeFunction(3, CatalogAtomFileReadDataAt),  // xdb.atomFile.readDataAt
    /*  23 */ NativeFunction(1, CatalogAtomFileReadMolecule),  // xdb.atomFile.readMolecule
    /*  24 */ NativeFunction(0, CatalogAtomFileReadMoleculeSignature),  // xdb.atomFile.readMoleculeSignature
    /*  25 */ NativeFunction(1, CatalogAtomFileSetOffset),  // xdb.atomFile.setOffset
    /*  26 */ NativeFunction(1, CatalogAtomFileSizeMolecule),  // xdb.atomFile.sizeMolecule
    /*  27 */ NativeFunction(1, CatalogAtomFileTruncate),  // xdb.atomFile.truncate
    /*  28 */ NativeFunction(1, CatalogAtomFileWriteAtom),  // xdb.atomFile.writeAtom
    /*  29 */ NativeFunction(2, CatalogAtomFileWriteData),  // xdb.atomFile.writeData
    /*  30 */ NativeFunction(3, CatalogAtomFileWriteDataAt),  // xdb.atomFile.writeDataAt
    /*  31 */ NativeFunction(1, CatalogAtomFileWriteMolecule),  // xdb.atomFile.writeMolecule
    /*  32 */ NativeHostObject(CatalogHostBufferDestructor),  // xdbBtree.defaultPage
    /*  33 */ NativeFunction(0, CatalogHostBufferClose),  // xdbBtree.defaultPage.close
    /*  34 */ NativeFunction(1, CatalogBtreePageRead),  // xdbBtree.defaultPage.read
    /*  35 */ NativeFunction(1, CatalogBtreePageWriteData),  // xdbBtree.defaultPage.writeData
    /*  36 */ NativeFunction(3, CatalogBtreeOverflowAddEntry),  // xdbBtree.overflowPage.addEntry
    /*  37 */ NativeFunction(0, CatalogBtreeOverflowIsFull),  // xdbBtree.overflowPage.isFull
    /*  38 */ NativeFunction(3, CatalogBtreeOverflowRemoveEntry),  // xdbBtree.overflowPage.removeEntry
    /*  39 */ NativeFunction(2, CatalogBtreeBuildSortingNode),  // xdbBtree.index.buildSortingNode
    /*  40 */ NativeFunction(0, CatalogBtreeCalculatePageSize),  // xdbBtree.index.calculatePageSize
    /*  41 */ NativeFunction(2, CatalogBtreeCountNode),  // xdbBtree.index.countNode
    /*  42 */ NativeFunction(2, CatalogBtreeEachUpNode),  // xdbBtree.index.eachUpNode
    /*  43 */ NativeFunction(3, CatalogBtreeFilterSearchNode),  // xdbBtree.index.filterSearchNode
    /*  44 */ NativeFunction(2, CatalogBtreeInsertData),  // xdbBtree.index.insertData
    /*  45 */ NativeFunction(3, CatalogBtreeInsertNode),  // xdbBtree.index.insertNode
    /*  46 */ NativeFunction(4, CatalogBtreePartialSearchNode),  // xdbBtree.index.partialSearchNode
    /*  47 */ NativeFunction(0, CatalogBtreeReadFile),  // xdbBtree.index.readFile
    /*  48 */ NativeFunction(1, CatalogBtreeIndexReadFree),  // xdbBtree.index.readFree
    /*  49 */ NativeFunction(1, CatalogBtreeRemoveKey),  // xdbBtree.index.removeKey
    /*  50 */ NativeFunction(3, CatalogBtreeRemoveKeyID),  // xdbBtree.index.removeKeyID
    /*  51 */ NativeFunction(2, CatalogBtreeRemoveKeyNode),  // xdbBtree.index.removeKeyNode
    /*  52 */ NativeFunction(3, CatalogBtreeSearchLeft),  // xdbBtree.index.searchLeft
    /*  53 */ NativeFunction(3, CatalogBtreeSearchNode),  // xdbBtree.index.searchNode
    /*  54 */ NativeFunction(3, CatalogBtreeSearchRight),  // xdbBtree.index.searchRight
    /*  55 */ NativeFunction(3, CatalogBtreeSplitNode),  // xdbBtree.index.splitNode
    /*  56 */ NativeFunction(3, CatalogBtreeStatsNode),  // xdbBtree.index.statsNode
    /*  57 */ NativeFunction(3, CatalogBtreeUpdateNode),  // xdbBtree.index.updateNode
    /*  58 */ NativeFunction(0, CatalogBtreeWriteFileAux),  // xdbBtree.index.writeFileAux
    /*  59 */ NativeFunction(2, CatalogBtreeIndexWriteFree),  // xdbBtree.index.writeFree
    /*  60 */ NativeConstructor(4, CatalogBtreeIntegerPage),  // xdbBtree.IntegerPage
    /*  61 */ NativeConstructor(4, CatalogBtreeNumberPage),  // xdbBtree.NumberPage
    /*  62 */ NativeConstructor(5, CatalogBtreeStringPage),  // xdbBtree.StringPage
    /*  63 */ NativeConstructor(3, CatalogBtreeOverflowPage),  // xdbBtree.OverflowPage
    /*  64 */ NativeHostObject(CatalogHostBufferDestructor),  // xdbBtree.sortingArray
    /*  65 */ NativeFunction(0, CatalogHostBufferClose),  // xdbBtree.sortingArray.close
    /*  66 */ NativeFunction(2, CatalogSortingArrayCompare),  // xdbBtree.sortingArray.compare
    /*  67 */ NativeFunction(2, CatalogSortingArraySetValue),  // xdbBtree.sortingArray.setValue
    /*  68 */ NativeConstructor(1, CatalogSortingArrayConstructor),  // xdbBtree.SortingArray
    /*  69 */ NativeFunction(0, CatalogRawAtomMakeObject),  // xdb.rawAtom.makeObject
    /*  70 */ NativeConstructor(2, CatalogRawAtomConstructor),  // xdb.RawAtom
    /*  71 */ NativeFunction(0, CatalogCompressedAtomNative),  // xdb.rawZAtom.makeObject
    /*  72 */ NativeConstructor(2, CatalogCompressedAtomNative),  // xdb.RawZAtom
    /*  73 */ NativeFunction(1, CatalogXmlAtomMakeObject),  // xdb.xmlAtom.makeObject
    /*  74 */ NativeConstructor(2, CatalogXmlAtomConstructor),  // xdb.XmlAtom
    /*  75 */ NativeFunction(1, CatalogCompressedAtomNative),  // xdb.xmlZAtom.makeObject
    /*  76 */ NativeConstructor(2, CatalogCompressedAtomNative),  // xdb.XmlZAtom
    /*  77 */ NativeFunction(1, CatalogFreeAtomWrite),  // xdb.freeAtom.write
    /*  78 */ NativeFunction(1, CatalogFreelistRead),  // xdb.freelist.readFreelist
    /*  79 */ NativeFunction(1, CatalogFreelistWrite),  // xdb.freelist.writeFreelist
    /*  80 */ NativeFunction(0, CatalogGetPlatformOrdering),  // xdb.primary.getPlatformOrdering
    /*  81 */ NativeFunction(2, CatalogSecondariesReadIndex),  // xdb.secondaries.readIndex
    /*  82 */ NativeFunction(3, CatalogSecondariesWriteIndex),  // xdb.secondaries.writeIndex
    /*  83 */ NativeFunction(0, CatalogGetPlatformOrdering),  // xdb.database.getPlatformOrdering
    /*  84 */ NativeFunction(1, CatalogDatabaseReadDatabase),  // xdb.database.readDatabase
    /*  85 */ NativeFunction(1, CatalogDatabaseReadHead),  // xdb.database.readHead
    /*  86 */ NativeFunction(1, CatalogDatabaseWriteDatabase),  // xdb.database.writeDatabase
    /*  87 */ NativeHostObject(CatalogHostBufferDestructor),  // xdb.result._content
    /*  88 */ NativeFunction(0, CatalogHostBufferClose),  // xdb.result._content.close
    /*  89 */ NativeFunction(1, CatalogResultContentGetAt),  // xdb.result._content.getAt
    /*  90 */ NativeFunction(0, CatalogResultContentReverse),  // xdb.result._content.reverse
    /*  91 */ NativeFunction(1, CatalogResultContentSort),  // xdb.result._content.sort
    /*  92 */ NativeConstructor(1, CatalogResultContentConstructor),  // xdb.result._Content
    /*  93 */ NativeHostObject(CatalogResultBitsDestructor),  // xdb.result._result
    /*  94 */ NativeFunction(1, CatalogResultBitsAdjust),  // xdb.result._result.adjust
    /*  95 */ NativeFunction(0, CatalogResultBitsClose),  // xdb.result._result.close
    /*  96 */ NativeConstructor(0, CatalogResultBitsConstructor),  // xdb.result._Result
    /*  97 */ NativeHostObject(CatalogResultBitmapDestructor),  // xdb.result._bitmap
    /*  98 */ NativeFunction(1, CatalogResultBitmapAdjust),  // xdb.result._bitmap.adjust
    /*  99 */ NativeFunction(0, CatalogResultBitmapClose),  // xdb.result._bitmap.close
    /* 100 */ NativeFunction(0, CatalogResultBitmapFlush),  // xdb.result._bitmap.flush
    /* 101 */ NativeConstructor(2, CatalogResultBitmapConstructor),  // xdb.result._Bitmap
    /* 102 */ NativeFunction(1, CatalogResultAddID),  // xdb.result.addID
    /* 103 */ NativeFunction(2, CatalogResultAnd),  // xdb.result._and
    /* 104 */ NativeFunction(1, CatalogResultBuildAux),  // xdb.result.buildAux
    /* 105 */ NativeFunction(0, CatalogResultCount),  // xdb.result.count
    /* 106 */ NativeFunction(0, CatalogResultGetRecords),  // xdb.result.getRecords
    /* 107 */ NativeFunction(1, CatalogResultNot),  // xdb.result._not
    /* 108 */ NativeFunction(2, CatalogResultOr),  // xdb.result._or
    /* 109 */ NativeFunction(1, CatalogResultRemoveID),  // xdb.result.removeID
    /* 110 */ NativeFunction(1, CatalogResultSort),  // xdb.result.sort
    /* 111 */ NativeFunction(1, CatalogResultTestID),  // xdb.result.testID
    /* 112 */ NativeFunction(1, CatalogResultUnique),  // xdb.result.unique
};
