#include <array>
#include <string_view>

#include "catalogdb/common/CatalogSymbolTable.h"
#include "catalogdb/grammar/CatalogGrammarTable.h"
#include "fsk/Grammar.h"

namespace {

using namespace std::string_view_literals;

// Every name the binding program uses.
constexpr std::array kNames{
    "Object"sv, "xdbAtom"sv, "signatureIO"sv, "@"sv, "parse"sv, "serialize"sv, "atom"sv, "close"sv,
    "getID"sv, "getSize"sv, "getType"sv, "read"sv, "setID"sv, "setSize"sv, "setType"sv, "swap"sv,
    "write"sv, "AtomFromFile"sv, "xdb"sv, "atomFile"sv, "create"sv, "deleteFile"sv, "getOffset"sv,
    "open"sv, "readAtom"sv, "readData"sv, "readDataAt"sv, "readMolecule"sv,
    "readMoleculeSignature"sv, "setOffset"sv, "sizeMolecule"sv, "truncate"sv, "writeAtom"sv,
    "writeData"sv, "writeDataAt"sv, "writeMolecule"sv, "xdbBtree"sv, "defaultPage"sv,
    "overflowPage"sv, "addEntry"sv, "isFull"sv, "removeEntry"sv, "index"sv, "buildSortingNode"sv,
    "calculatePageSize"sv, "countNode"sv, "eachUpNode"sv, "filterSearchNode"sv, "insertData"sv,
    "insertNode"sv, "partialSearchNode"sv, "readFile"sv, "readFree"sv, "removeKey"sv,
    "removeKeyID"sv, "removeKeyNode"sv, "searchLeft"sv, "searchNode"sv, "searchRight"sv,
    "splitNode"sv, "statsNode"sv, "updateNode"sv, "writeFileAux"sv, "writeFree"sv, "IntegerPage"sv,
    "NumberPage"sv, "StringPage"sv, "OverflowPage"sv, "sortingArray"sv, "compare"sv, "setValue"sv,
    "SortingArray"sv, "rawAtom"sv, "makeObject"sv, "RawAtom"sv, "rawZAtom"sv, "RawZAtom"sv,
    "xmlAtom"sv, "XmlAtom"sv, "xmlZAtom"sv, "XmlZAtom"sv, "freeAtom"sv, "freelist"sv,
    "readFreelist"sv, "writeFreelist"sv, "primary"sv, "getPlatformOrdering"sv, "secondaries"sv,
    "readIndex"sv, "writeIndex"sv, "database"sv, "readDatabase"sv, "readHead"sv, "writeDatabase"sv,
    "result"sv, "_content"sv, "getAt"sv, "reverse"sv, "sort"sv, "_Content"sv, "_result"sv,
    "adjust"sv, "_Result"sv, "_bitmap"sv, "flush"sv, "_Bitmap"sv, "addID"sv, "_and"sv,
    "buildAux"sv, "count"sv, "getRecords"sv, "_not"sv, "_or"sv, "removeID"sv, "testID"sv,
    "unique"sv, "type"sv, "atomSize"sv, "defaultIndex"sv, "uniqueIndex"sv, "numberIndex"sv,
    "integerIndex"sv, "compress"sv, "caseSensitive"sv, "caseInsensitive"sv, "littleEndian"sv,
    "bigEndian"sv, "descending"sv, "ascending"sv, "caseSensitiveIndex"sv, "littleEndianOrdering"sv,
    "forceOrdering"sv, "forceSensitive"sv, "defaultSize"sv, "pageSize"sv, "pageEntries"sv,
    "overflowEntries"sv, "cacheSize"sv, "flags"sv, "keySize"sv, "integerKeySize"sv,
    "numberKeySize"sv, "stringKeySize"sv};

constexpr auto kSymbols = CatalogSymbolTable<CatalogSymbolTableSize(kNames)>(kNames);

constexpr char kProgram[] = R"(# CatalogGrammar: atoms, atom files, B-tree pages and indexes, result sets.
object signatureIO
bind signatureIO.parse 0
bind signatureIO.serialize 1
object xdbAtom
bind xdbAtom.atom 2
bind xdbAtom.atom.close 3
bind xdbAtom.atom.getID 4
bind xdbAtom.atom.getSize 5
bind xdbAtom.atom.getType 6
bind xdbAtom.atom.read 7
bind xdbAtom.atom.setID 8
bind xdbAtom.atom.setSize 9
bind xdbAtom.atom.setType 10
bind xdbAtom.atom.swap 11
bind xdbAtom.atom.write 12
bind xdbAtom.AtomFromFile 13
prototype xdbAtom.AtomFromFile xdbAtom.atom
object xdb
object xdb.atomFile
bind xdb.atomFile.close 14
bind xdb.atomFile.create 15
bind xdb.atomFile.deleteFile 16
bind xdb.atomFile.getOffset 17
bind xdb.atomFile.getSize 18
bind xdb.atomFile.open 19
bind xdb.atomFile.readAtom 20
bind xdb.atomFile.readData 21
bind xdb.atomFile.readDataAt 22
bind xdb.atomFile.readMolecule 23
bind xdb.atomFile.readMoleculeSignature 24
bind xdb.atomFile.setOffset 25
bind xdb.atomFile.sizeMolecule 26
bind xdb.atomFile.truncate 27
bind xdb.atomFile.writeAtom 28
bind xdb.atomFile.writeData 29
bind xdb.atomFile.writeDataAt 30
bind xdb.atomFile.writeMolecule 31
object xdbBtree
bind xdbBtree.defaultPage 32
bind xdbBtree.defaultPage.close 33
bind xdbBtree.defaultPage.read 34
bind xdbBtree.defaultPage.writeData 35
object xdbBtree.overflowPage xdbBtree.defaultPage
bind xdbBtree.overflowPage.addEntry 36
bind xdbBtree.overflowPage.isFull 37
bind xdbBtree.overflowPage.removeEntry 38
object xdbBtree.index xdb.atomFile
bind xdbBtree.index.buildSortingNode 39
bind xdbBtree.index.calculatePageSize 40
bind xdbBtree.index.countNode 41
bind xdbBtree.index.eachUpNode 42
bind xdbBtree.index.filterSearchNode 43
bind xdbBtree.index.insertData 44
bind xdbBtree.index.insertNode 45
bind xdbBtree.index.partialSearchNode 46
bind xdbBtree.index.readFile 47
bind xdbBtree.index.readFree 48
bind xdbBtree.index.removeKey 49
bind xdbBtree.index.removeKeyID 50
bind xdbBtree.index.removeKeyNode 51
bind xdbBtree.index.searchLeft 52
bind xdbBtree.index.searchNode 53
bind xdbBtree.index.searchRight 54
bind xdbBtree.index.splitNode 55
bind xdbBtree.index.statsNode 56
bind xdbBtree.index.updateNode 57
bind xdbBtree.index.writeFileAux 58
bind xdbBtree.index.writeFree 59
bind xdbBtree.IntegerPage 60
prototype xdbBtree.IntegerPage xdbBtree.defaultPage
bind xdbBtree.NumberPage 61
prototype xdbBtree.NumberPage xdbBtree.defaultPage
bind xdbBtree.StringPage 62
prototype xdbBtree.StringPage xdbBtree.defaultPage
bind xdbBtree.OverflowPage 63
prototype xdbBtree.OverflowPage xdbBtree.overflowPage
bind xdbBtree.sortingArray 64
bind xdbBtree.sortingArray.close 65
bind xdbBtree.sortingArray.compare 66
bind xdbBtree.sortingArray.setValue 67
bind xdbBtree.SortingArray 68
prototype xdbBtree.SortingArray xdbBtree.sortingArray
object xdb.rawAtom xdbAtom.atom
bind xdb.rawAtom.makeObject 69
bind xdb.RawAtom 70
prototype xdb.RawAtom xdb.rawAtom
object xdb.rawZAtom xdbAtom.atom
bind xdb.rawZAtom.makeObject 71
bind xdb.RawZAtom 72
prototype xdb.RawZAtom xdb.rawZAtom
object xdb.xmlAtom xdbAtom.atom
bind xdb.xmlAtom.makeObject 73
bind xdb.XmlAtom 74
prototype xdb.XmlAtom xdb.xmlAtom
object xdb.xmlZAtom xdbAtom.atom
bind xdb.xmlZAtom.makeObject 75
bind xdb.XmlZAtom 76
prototype xdb.XmlZAtom xdb.xmlZAtom
object xdb.freeAtom
bind xdb.freeAtom.write 77
object xdb.freelist
bind xdb.freelist.readFreelist 78
bind xdb.freelist.writeFreelist 79
object xdb.primary xdbBtree.index
bind xdb.primary.getPlatformOrdering 80
object xdb.secondaries
bind xdb.secondaries.readIndex 81
bind xdb.secondaries.writeIndex 82
object xdb.database xdb.atomFile
bind xdb.database.getPlatformOrdering 83
bind xdb.database.readDatabase 84
bind xdb.database.readHead 85
bind xdb.database.writeDatabase 86
object xdb.result
bind xdb.result._content 87
bind xdb.result._content.close 88
bind xdb.result._content.getAt 89
bind xdb.result._content.reverse 90
bind xdb.result._content.sort 91
bind xdb.result._Content 92
prototype xdb.result._Content xdb.result._content
bind xdb.result._result 93
bind xdb.result._result.adjust 94
bind xdb.result._result.close 95
bind xdb.result._Result 96
prototype xdb.result._Result xdb.result._result
bind xdb.result._bitmap 97
bind xdb.result._bitmap.adjust 98
bind xdb.result._bitmap.close 99
bind xdb.result._bitmap.flush 100
bind xdb.result._Bitmap 101
prototype xdb.result._Bitmap xdb.result._bitmap
bind xdb.result.addID 102
bind xdb.result._and 103
bind xdb.result.buildAux 104
bind xdb.result.count 105
bind xdb.result.getRecords 106
bind xdb.result._not 107
bind xdb.result._or 108
bind xdb.result.removeID 109
bind xdb.result.sort 110
bind xdb.result.testID 111
bind xdb.result.unique 112
# Atom kinds: the four characters of each kind's type word.
constant xdb.rawAtom.type 1380013888
constant xdb.rawZAtom.type 1380013914
constant xdb.xmlAtom.type 1481460800
constant xdb.xmlZAtom.type 1481460826
# Atoms and index kinds.
constant xdb.atomSize 12
constant xdb.defaultIndex 0
constant xdb.uniqueIndex 1
constant xdb.numberIndex 32
constant xdb.integerIndex 64
constant xdb.compress 1
constant xdb.caseSensitive 18
constant xdb.caseInsensitive 16
constant xdb.littleEndian 12
constant xdb.bigEndian 8
# Sorting.
constant xdb.descending -1
constant xdb.ascending 1
constant xdb.caseSensitiveIndex 2
constant xdb.littleEndianOrdering 4
constant xdb.forceOrdering 8
constant xdb.forceSensitive 16
# Defaults of the database and of an index.
constant xdb.database.defaultSize 64
constant xdbBtree.index.defaultSize 1024
constant xdbBtree.index.pageSize -1
constant xdbBtree.index.pageEntries 20
constant xdbBtree.index.overflowEntries 60
constant xdbBtree.index.cacheSize 5
constant xdbBtree.index.flags 1
constant xdbBtree.index.keySize 4
constant xdb.primary.cacheSize 2
constant xdbBtree.integerKeySize 4
constant xdbBtree.numberKeySize 8
constant xdbBtree.stringKeySize 64
)";

void Build(FskMachine* the) { fxBuildGrammarNatives(the, kCatalogGrammarRows, kCatalogGrammarRowCount); }

const GrammarRecord kRecord = {
    Build, kSymbols.data(), static_cast<uint32_t>(kSymbols.size()), kProgram, sizeof kProgram - 1, "CatalogGrammar",
};

}  // namespace

extern "C" [[gnu::visibility("default")]] const GrammarRecord* const fskGrammar;
const GrammarRecord* const fskGrammar = &kRecord;
