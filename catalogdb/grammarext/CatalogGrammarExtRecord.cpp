#include <array>
#include <string_view>

#include "catalogdb/common/CatalogSymbolTable.h"
#include "catalogdb/grammarext/CatalogGrammarExtTable.h"
#include "fsk/Grammar.h"

namespace {

using namespace std::string_view_literals;

// Every name the binding program uses.
constexpr std::array kNames{
    "CatalogGrammarExt"sv, "utcToLocal"sv, "localToUTC"sv, "utcToUTCDate"sv, "cache"sv, "line"sv,
    "pointer"sv, "getPointer"sv, "contains"sv, "read"sv, "_write"sv, "blockTableFile"sv,
    "getHeaderSize"sv, "readHeader"sv, "writeHeader"sv, "packHeader"sv, "unpackHeader"sv,
    "block"sv, "getBit"sv, "getWord"sv, "getDWord"sv, "getUDWord"sv, "getString"sv, "setBit"sv,
    "setWord"sv, "setDWord"sv, "setString"sv, "copyTo"sv, "copyBitsTo"sv, "andTo"sv, "andBitsTo"sv,
    "orTo"sv, "@"sv, "orBitsTo"sv, "isZero"sv, "clear"sv, "bitCount"sv, "index"sv,
    "subPackHeader"sv, "subUnpackHeader"sv, "idsIndex"sv, "sector"sv, "subRemove"sv, "addID"sv,
    "bitmapIndex"sv, "eachCompareUp"sv, "eachSearchUp"sv, "dcfIndex"sv, "files"sv, "subAddIDs"sv,
    "dateIndex"sv, "databaseID"sv, "getNextZero"sv, "field"sv, "dateField"sv, "yearKey"sv,
    "monthKey"sv, "dayKey"sv, "data"sv, "bubbleSearch"sv, "copySortingArray"sv, "database"sv,
    "clone"sv, "_getData"sv, "getData"sv, "close"sv, "helper"sv, "major"sv, "minor"sv,
    "blockSize"sv, "blocksPerPage"sv, "kind"sv, "fileCount"sv, "filesCount"sv, "yearOffset"sv,
    "dayCount"sv, "version"sv, "limitID"sv, "OVERWRITE"sv, "CREATE_LACKFILES"sv, "ILLEGAL_DB"sv,
    "ILLEGAL_ID"sv, "NOSUPPORT"sv, "ILLEGAL_OPERATION"sv, "DIRTY"sv, "ID_LIMIT"sv, "LACKFILES"sv,
    "ILLEGAL_BACKUP"sv};

constexpr auto kSymbols = CatalogSymbolTable<CatalogSymbolTableSize(kNames)>(kNames);

constexpr char kProgram[] = R"(# CatalogGrammarExt: block files, blocks, indexes, data and dates.
object CatalogGrammarExt
bind utcToLocal 0
bind localToUTC 1
bind utcToUTCDate 2
object CatalogGrammarExt.cache
object CatalogGrammarExt.cache.line
bind CatalogGrammarExt.cache.line.pointer 3
bind CatalogGrammarExt.cache.line.getPointer 4
bind CatalogGrammarExt.cache.line.contains 5
bind CatalogGrammarExt.cache.line.read 6
bind CatalogGrammarExt.cache.line._write 7
object CatalogGrammarExt.blockTableFile
bind CatalogGrammarExt.blockTableFile.getHeaderSize 8
bind CatalogGrammarExt.blockTableFile.readHeader 9
bind CatalogGrammarExt.blockTableFile.writeHeader 10
bind CatalogGrammarExt.blockTableFile.packHeader 11
bind CatalogGrammarExt.blockTableFile.unpackHeader 12
object CatalogGrammarExt.block
bind CatalogGrammarExt.block.getBit 13
bind CatalogGrammarExt.block.getWord 14
bind CatalogGrammarExt.block.getDWord 15
bind CatalogGrammarExt.block.getUDWord 16
bind CatalogGrammarExt.block.getString 17
bind CatalogGrammarExt.block.setBit 18
bind CatalogGrammarExt.block.setWord 19
bind CatalogGrammarExt.block.setDWord 20
bind CatalogGrammarExt.block.setString 21
bind CatalogGrammarExt.block.copyTo 22
bind CatalogGrammarExt.block.copyBitsTo 23
bind CatalogGrammarExt.block.andTo 24
bind CatalogGrammarExt.block.andBitsTo 25
bind CatalogGrammarExt.block.orTo 26
bind CatalogGrammarExt.block.orBitsTo 27
bind CatalogGrammarExt.block.isZero 28
bind CatalogGrammarExt.block.clear 29
bind CatalogGrammarExt.block.bitCount 30
object CatalogGrammarExt.index CatalogGrammarExt.blockTableFile
bind CatalogGrammarExt.index.getHeaderSize 31
bind CatalogGrammarExt.index.subPackHeader 32
bind CatalogGrammarExt.index.subUnpackHeader 33
object CatalogGrammarExt.idsIndex CatalogGrammarExt.index
object CatalogGrammarExt.idsIndex.sector
bind CatalogGrammarExt.idsIndex.sector.subRemove 34
bind CatalogGrammarExt.idsIndex.sector.addID 35
object CatalogGrammarExt.bitmapIndex CatalogGrammarExt.index
bind CatalogGrammarExt.bitmapIndex.eachCompareUp 36
bind CatalogGrammarExt.bitmapIndex.eachSearchUp 37
object CatalogGrammarExt.dcfIndex CatalogGrammarExt.index
object CatalogGrammarExt.dcfIndex.files
bind CatalogGrammarExt.dcfIndex.files.subAddIDs 38
object CatalogGrammarExt.dateIndex CatalogGrammarExt.index
object CatalogGrammarExt.databaseID CatalogGrammarExt.blockTableFile
bind CatalogGrammarExt.databaseID.getHeaderSize 39
bind CatalogGrammarExt.databaseID.subPackHeader 40
bind CatalogGrammarExt.databaseID.subUnpackHeader 41
bind CatalogGrammarExt.databaseID.getNextZero 42
object CatalogGrammarExt.field
object CatalogGrammarExt.dateField CatalogGrammarExt.field
bind CatalogGrammarExt.dateField.yearKey 43
bind CatalogGrammarExt.dateField.monthKey 44
bind CatalogGrammarExt.dateField.dayKey 45
object CatalogGrammarExt.data CatalogGrammarExt.blockTableFile
bind CatalogGrammarExt.data.bubbleSearch 46
bind CatalogGrammarExt.data.copySortingArray 47
object CatalogGrammarExt.database
bind CatalogGrammarExt.database.clone 48
bind CatalogGrammarExt.database._getData 49
bind CatalogGrammarExt.database.addID 50
bind CatalogGrammarExt.database.getData 51
bind CatalogGrammarExt.database.close 52
object CatalogGrammarExt.helper CatalogGrammarExt.blockTableFile
bind CatalogGrammarExt.helper.getHeaderSize 53
bind CatalogGrammarExt.helper.subPackHeader 54
bind CatalogGrammarExt.helper.subUnpackHeader 55
# Block files: versions, block sizes and blocks per cache page by kind.
constant CatalogGrammarExt.blockTableFile.major 1
constant CatalogGrammarExt.blockTableFile.minor 0
constant CatalogGrammarExt.blockTableFile.blockSize 1024
constant CatalogGrammarExt.blockTableFile.blocksPerPage 3
constant CatalogGrammarExt.idsIndex.kind 1024
constant CatalogGrammarExt.idsIndex.blockSize 512
constant CatalogGrammarExt.idsIndex.blocksPerPage 64
constant CatalogGrammarExt.bitmapIndex.kind 128
constant CatalogGrammarExt.bitmapIndex.blockSize 4096
constant CatalogGrammarExt.bitmapIndex.blocksPerPage 8
constant CatalogGrammarExt.dcfIndex.kind 256
constant CatalogGrammarExt.dcfIndex.blockSize 1024
constant CatalogGrammarExt.dcfIndex.blocksPerPage 32
constant CatalogGrammarExt.dcfIndex.fileCount 250
constant CatalogGrammarExt.dcfIndex.filesCount 400
constant CatalogGrammarExt.dateIndex.kind 512
constant CatalogGrammarExt.dateIndex.blockSize 512
constant CatalogGrammarExt.dateIndex.blocksPerPage 64
constant CatalogGrammarExt.dateIndex.yearOffset 1970
constant CatalogGrammarExt.dateIndex.dayCount 32
constant CatalogGrammarExt.databaseID.blockSize 4096
constant CatalogGrammarExt.databaseID.blocksPerPage 2
constant CatalogGrammarExt.data.blockSize 32
constant CatalogGrammarExt.data.blocksPerPage 1024
constant CatalogGrammarExt.helper.blockSize 4
constant CatalogGrammarExt.helper.blocksPerPage 1024
constant CatalogGrammarExt.helper.version 10000
constant CatalogGrammarExt.limitID 40000
# Error codes.
constant CatalogGrammarExt.OVERWRITE 1
constant CatalogGrammarExt.CREATE_LACKFILES 2
constant CatalogGrammarExt.ILLEGAL_DB 1001
constant CatalogGrammarExt.ILLEGAL_ID 1002
constant CatalogGrammarExt.NOSUPPORT 1003
constant CatalogGrammarExt.ILLEGAL_OPERATION 1004
constant CatalogGrammarExt.DIRTY 1005
constant CatalogGrammarExt.ID_LIMIT 1006
constant CatalogGrammarExt.LACKFILES 1007
constant CatalogGrammarExt.ILLEGAL_BACKUP 1008
)";

void Build(FskMachine* the) { fxBuildGrammarNatives(the, kCatalogGrammarExtRows, kCatalogGrammarExtRowCount); }

const GrammarRecord kRecord = {
    Build, kSymbols.data(), static_cast<uint32_t>(kSymbols.size()), kProgram, sizeof kProgram - 1, "CatalogGrammarExt",
};

}  // namespace

extern "C" [[gnu::visibility("default")]] const GrammarRecord* const fskGrammar;
const GrammarRecord* const fskGrammar = &kRecord;
