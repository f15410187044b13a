#include "catalogdb/grammarext/CatalogGrammarExtTable.h"

#include "catalogdb/grammarext/CatalogBlockFileNatives.h"
#include "catalogdb/grammarext/CatalogBlockIndexNatives.h"
#include "catalogdb/grammarext/CatalogBlockNatives.h"
#include "catalogdb/grammarext/CatalogDataNatives.h"
#include "catalogdb/grammarext/CatalogDateNatives.h"

// Shared bodies: rows 3, 4 and 51; rows 31 and 39. The object of rows 3 to
// 55 is under CatalogGrammarExt.
const NativeRow kCatalogGrammarExtRows[kCatalogGrammarExtRowCount] = {
    /*   0 */ NativeFunction(1, CatalogUtcToLocal),  // utcToLocal
    /*   1 */ NativeFunction(1, CatalogLocalToUTC),  // localToUTC
    /*   2 */ NativeFunction(1, CatalogUtcToUTCDate),  // utcToUTCDate
    /*   3 */ NativeFunction(0, CatalogLinePointer),  // cache.line.pointer
    /*   4 */ NativeFunction(0, CatalogLinePointer),  // cache.line.getPointer
    /*   5 */ NativeFunction(2, CatalogLineContains),  // cache.line.contains
    /*   6 */ NativeFunction(0, CatalogLineRead),  // cache.line.read
    /*   7 */ NativeFunction(0, CatalogLineWrite),  // cache.line._write
    /*   8 */ NativeFunction(0, CatalogBlockFileHeaderSize),  // blockTableFile.getHeaderSize
    /*   9 */ NativeFunction(1, CatalogBlockFileReadHeader),  // blockTableFile.readHeader
    /*  10 */ NativeFunction(2, CatalogBlockFileWriteHeader),  // blockTableFile.writeHeader
    /*  11 */ NativeFunction(2, CatalogBlockFilePackHeader),  // blockTableFile.packHeader
    /*  12 */ NativeFunction(1, CatalogBlockFileUnpackHeader),  // blockTableFile.unpackHeader
    /*  13 */ NativeFunction(1, CatalogBlockGetBit),  // block.getBit
    /*  14 */ NativeFunction(1, CatalogBlockGetWord),  // block.getWord
    /*  15 */ NativeFunction(1, CatalogBlockGetDWord),  // block.getDWord
    /*  16 */ NativeFunction(1, CatalogBlockGetUDWord),  // block.getUDWord
    /*  17 */ NativeFunction(2, CatalogBlockGetString),  // block.getString
    /*  18 */ NativeFunction(2, CatalogBlockSetBit),  // block.setBit
    /*  19 */ NativeFunction(2, CatalogBlockSetWord),  // block.setWord
    /*  20 */ NativeFunction(2, CatalogBlockSetDWord),  // block.setDWord
    /*  21 */ NativeFunction(3, CatalogBlockSetString),  // block.setString
    /*  22 */ NativeFunction(3, CatalogBlockCopyTo),  // block.copyTo
    /*  23 */ NativeFunction(3, CatalogBlockCopyBitsTo),  // block.copyBitsTo
    /*  24 */ NativeFunction(3, CatalogBlockAndTo),  // block.andTo
    /*  25 */ NativeFunction(3, CatalogBlockAndBitsTo),  // block.andBitsTo
    /*  26 */ NativeFunction(3, CatalogBlockOrTo),  // block.orTo
    /*  27 */ NativeFunction(3, CatalogBlockOrBitsTo),  // block.orBitsTo
    /*  28 */ NativeFunction(0, CatalogBlockIsZero),  // block.isZero
    /*  29 */ NativeFunction(0, CatalogBlockClear),  // block.clear
    /*  30 */ NativeFunction(1, CatalogBlockBitCount),  // block.bitCount
    /*  31 */ NativeFunction(0, CatalogIndexHeaderSize),  // index.getHeaderSize
    /*  32 */ NativeFunction(1, CatalogIndexSubPackHeader),  // index.subPackHeader
    /*  33 */ NativeFunction(1, CatalogIndexSubUnpackHeader),  // index.subUnpackHeader
    /*  34 */ NativeFunction(3, CatalogSectorSubRemove),  // idsIndex.sector.subRemove
    /*  35 */ NativeFunction(2, CatalogSectorAddID),  // idsIndex.sector.addID
    /*  36 */ NativeFunction(3, CatalogBitmapEachCompareUp),  // bitmapIndex.eachCompareUp
    /*  37 */ NativeFunction(3, CatalogBitmapEachSearchUp),  // bitmapIndex.eachSearchUp
    /*  38 */ NativeFunction(5, CatalogDcfSubAddIDs),  // dcfIndex.files.subAddIDs
    /*  39 */ NativeFunction(0, CatalogIndexHeaderSize),  // databaseID.getHeaderSize
    /*  40 */ NativeFunction(1, CatalogDatabaseIDSubPackHeader),  // databaseID.subPackHeader
    /*  41 */ NativeFunction(1, CatalogDatabaseIDSubUnpackHeader),  // databaseID.subUnpackHeader
    /*  42 */ NativeFunction(2, CatalogDatabaseIDGetNextZero),  // databaseID.getNextZero
    /*  43 */ NativeFunction(1, CatalogDateYearKey),  // dateField.yearKey
    /*  44 */ NativeFunction(1, CatalogDateMonthKey),  // dateField.monthKey
    /*  45 */ NativeFunction(1, CatalogDateDayKey),  // dateField.dayKey
    /*  46 */ NativeFunction(10, CatalogDataBubbleSearch),  // data.bubbleSearch
    /*  47 */ NativeFunction(7, CatalogDataCopySortingArray),  // data.copySortingArray
    /*  48 */ NativeFunction(1, CatalogDatabaseClone),  // database.clone
    /*  49 */ NativeFunction(1, CatalogDatabaseGetBits),  // database._getData
    /*  50 */ NativeFunction(1, CatalogDatabaseAddID),  // database.addID
    /*  51 */ NativeFunction(0, CatalogLinePointer),  // database.getData
    /*  52 */ NativeFunction(0, CatalogDatabaseClose),  // database.close
    /*  53 */ NativeFunction(0, CatalogHelperHeaderSize),  // helper.getHeaderSize
    /*  54 */ NativeFunction(1, CatalogHelperSubPackHeader),  // helper.subPackHeader
    /*  55 */ NativeFunction(1, CatalogHelperSubUnpackHeader),  // helper.subUnpackHeader
};
