#include "catalogdb/grammarext/CatalogGrammarExtTable.h"

#include "catalogdb/common/CatalogPlaceholderNative.h"

// Shared bodies once built: rows 3, 4 and 51; rows 31 and 39. The object
// of rows 3 to 55 is under CatalogGrammarExt.
const NativeRow kCatalogGrammarExtRows[kCatalogGrammarExtRowCount] = {
    /*   0 */ NativeFunction(1, CatalogPlaceholderNative),  // utcToLocal
    /*   1 */ NativeFunction(1, CatalogPlaceholderNative),  // localToUTC
    /*   2 */ NativeFunction(1, CatalogPlaceholderNative),  // utcToUTCDate
    /*   3 */ NativeFunction(0, CatalogPlaceholderNative),  // cache.line.pointer
    /*   4 */ NativeFunction(0, CatalogPlaceholderNative),  // cache.line.getPointer
    /*   5 */ NativeFunction(2, CatalogPlaceholderNative),  // cache.line.contains
    /*   6 */ NativeFunction(0, CatalogPlaceholderNative),  // cache.line.read
    /*   7 */ NativeFunction(0, CatalogPlaceholderNative),  // cache.line._write
    /*   8 */ NativeFunction(0, CatalogPlaceholderNative),  // blockTableFile.getHeaderSize
    /*   9 */ NativeFunction(1, CatalogPlaceholderNative),  // blockTableFile.readHeader
    /*  10 */ NativeFunction(2, CatalogPlaceholderNative),  // blockTableFile.writeHeader
    /*  11 */ NativeFunction(2, CatalogPlaceholderNative),  // blockTableFile.packHeader
    /*  12 */ NativeFunction(1, CatalogPlaceholderNative),  // blockTableFile.unpackHeader
    /*  13 */ NativeFunction(1, CatalogPlaceholderNative),  // block.getBit
    /*  14 */ NativeFunction(1, CatalogPlaceholderNative),  // block.getWord
    /*  15 */ NativeFunction(1, CatalogPlaceholderNative),  // block.getDWord
    /*  16 */ NativeFunction(1, CatalogPlaceholderNative),  // block.getUDWord
    /*  17 */ NativeFunction(2, CatalogPlaceholderNative),  // block.getString
    /*  18 */ NativeFunction(2, CatalogPlaceholderNative),  // block.setBit
    /*  19 */ NativeFunction(2, CatalogPlaceholderNative),  // block.setWord
    /*  20 */ NativeFunction(2, CatalogPlaceholderNative),  // block.setDWord
    /*  21 */ NativeFunction(3, CatalogPlaceholderNative),  // block.setString
    /*  22 */ NativeFunction(3, CatalogPlaceholderNative),  // block.copyTo
    /*  23 */ NativeFunction(3, CatalogPlaceholderNative),  // block.copyBitsTo
    /*  24 */ NativeFunction(3, CatalogPlaceholderNative),  // block.andTo
    /*  25 */ NativeFunction(3, CatalogPlaceholderNative),  // block.andBitsTo
    /*  26 */ NativeFunction(3, CatalogPlaceholderNative),  // block.orTo
    /*  27 */ NativeFunction(3, CatalogPlaceholderNative),  // block.orBitsTo
    /*  28 */ NativeFunction(0, CatalogPlaceholderNative),  // block.isZero
    /*  29 */ NativeFunction(0, CatalogPlaceholderNative),  // block.clear
    /*  30 */ NativeFunction(1, CatalogPlaceholderNative),  // block.bitCount
    /*  31 */ NativeFunction(0, CatalogPlaceholderNative),  // index.getHeaderSize
    /*  32 */ NativeFunction(1, CatalogPlaceholderNative),  // index.subPackHeader
    /*  33 */ NativeFunction(1, CatalogPlaceholderNative),  // index.subUnpackHeader
    /*  34 */ NativeFunction(3, CatalogPlaceholderNative),  // idsIndex.sector.subRemove
    /*  35 */ NativeFunction(2, CatalogPlaceholderNative),  // idsIndex.sector.addID
    /*  36 */ NativeFunction(3, CatalogPlaceholderNative),  // bitmapIndex.eachCompareUp
    /*  37 */ NativeFunction(3, CatalogPlaceholderNative),  // bitmapIndex.eachSearchUp
    /*  38 */ NativeFunction(5, CatalogPlaceholderNative),  // dcfIndex.files.subAddIDs
    /*  39 */ NativeFunction(0, CatalogPlaceholderNative),  // databaseID.getHeaderSize
    /*  40 */ NativeFunction(1, CatalogPlaceholderNative),  // databaseID.subPackHeader
    /*  41 */ NativeFunction(1, CatalogPlaceholderNative),  // databaseID.subUnpackHeader
    /*  42 */ NativeFunction(2, CatalogPlaceholderNative),  // databaseID.getNextZero
    /*  43 */ NativeFunction(1, CatalogPlaceholderNative),  // dateField.yearKey
    /*  44 */ NativeFunction(1, CatalogPlaceholderNative),  // dateField.monthKey
    /*  45 */ NativeFunction(1, CatalogPlaceholderNative),  // dateField.dayKey
    /*  46 */ NativeFunction(10, CatalogPlaceholderNative),  // data.bubbleSearch
    /*  47 */ NativeFunction(7, CatalogPlaceholderNative),  // data.copySortingArray
    /*  48 */ NativeFunction(1, CatalogPlaceholderNative),  // database.clone
    /*  49 */ NativeFunction(1, CatalogPlaceholderNative),  // database._getData
    /*  50 */ NativeFunction(1, CatalogPlaceholderNative),  // database.addID
    /*  51 */ NativeFunction(0, CatalogPlaceholderNative),  // database.getData
    /*  52 */ NativeFunction(0, CatalogPlaceholderNative),  // database.close
    /*  53 */ NativeFunction(0, CatalogPlaceholderNative),  // helper.getHeaderSize
    /*  54 */ NativeFunction(1, CatalogPlaceholderNative),  // helper.subPackHeader
    /*  55 */ NativeFunction(1, CatalogPlaceholderNative),  // helper.subUnpackHeader
};
