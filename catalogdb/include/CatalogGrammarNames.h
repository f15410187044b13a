#pragma once

// The full paths, from the global object, of the script objects that the
// grammars' binding programs build. The natives, the engine and the tests
// find the objects through these names and no others.
namespace CatalogGrammarNames {

// CatalogGrammar.
inline constexpr char kSignatureIO[] = "signatureIO";
inline constexpr char kXdbAtom[] = "xdbAtom";
// A host object: atoms are its instances.
inline constexpr char kAtom[] = "xdbAtom.atom";
inline constexpr char kAtomFromFile[] = "xdbAtom.AtomFromFile";

inline constexpr char kXdb[] = "xdb";
inline constexpr char kAtomFile[] = "xdb.atomFile";
// Atom kinds: instances of xdbAtom.atom whose type property gives the
// kind's type word.
inline constexpr char kRawAtom[] = "xdb.rawAtom";
inline constexpr char kRawAtomConstructor[] = "xdb.RawAtom";
inline constexpr char kRawZAtom[] = "xdb.rawZAtom";
inline constexpr char kRawZAtomConstructor[] = "xdb.RawZAtom";
inline constexpr char kXmlAtom[] = "xdb.xmlAtom";
inline constexpr char kXmlAtomConstructor[] = "xdb.XmlAtom";
inline constexpr char kXmlZAtom[] = "xdb.xmlZAtom";
inline constexpr char kXmlZAtomConstructor[] = "xdb.XmlZAtom";
inline constexpr char kFreeAtom[] = "xdb.freeAtom";
inline constexpr char kFreelist[] = "xdb.freelist";
// An instance of xdbBtree.index.
inline constexpr char kPrimary[] = "xdb.primary";
inline constexpr char kSecondaries[] = "xdb.secondaries";
// An instance of xdb.atomFile.
inline constexpr char kDatabase[] = "xdb.database";
inline constexpr char kResult[] = "xdb.result";
inline constexpr char kResultContent[] = "xdb.result._content";
inline constexpr char kResultContentConstructor[] = "xdb.result._Content";
inline constexpr char kResultBits[] = "xdb.result._result";
inline constexpr char kResultBitsConstructor[] = "xdb.result._Result";
inline constexpr char kResultBitmap[] = "xdb.result._bitmap";
inline constexpr char kResultBitmapConstructor[] = "xdb.result._Bitmap";

inline constexpr char kXdbBtree[] = "xdbBtree";
// A host object: pages are its instances.
inline constexpr char kDefaultPage[] = "xdbBtree.defaultPage";
// An instance of xdbBtree.defaultPage, so overflow pages are host objects.
inline constexpr char kOverflowPage[] = "xdbBtree.overflowPage";
// An instance of xdb.atomFile: an index is an atom file.
inline constexpr char kIndex[] = "xdbBtree.index";
inline constexpr char kIntegerPage[] = "xdbBtree.IntegerPage";
inline constexpr char kNumberPage[] = "xdbBtree.NumberPage";
inline constexpr char kStringPage[] = "xdbBtree.StringPage";
inline constexpr char kOverflowPageConstructor[] = "xdbBtree.OverflowPage";
inline constexpr char kSortingArray[] = "xdbBtree.sortingArray";
inline constexpr char kSortingArrayConstructor[] = "xdbBtree.SortingArray";

// CatalogGrammarExt.
inline constexpr char kExt[] = "CatalogGrammarExt";
// The date conversions are global functions.
inline constexpr char kUtcToLocal[] = "utcToLocal";
inline constexpr char kLocalToUTC[] = "localToUTC";
inline constexpr char kUtcToUTCDate[] = "utcToUTCDate";
inline constexpr char kExtCache[] = "CatalogGrammarExt.cache";
inline constexpr char kExtCacheLine[] = "CatalogGrammarExt.cache.line";
inline constexpr char kExtBlockTableFile[] = "CatalogGrammarExt.blockTableFile";
inline constexpr char kExtBlock[] = "CatalogGrammarExt.block";
// The index kinds are instances of CatalogGrammarExt.index, itself an
// instance of CatalogGrammarExt.blockTableFile.
inline constexpr char kExtIndex[] = "CatalogGrammarExt.index";
inline constexpr char kExtIdsIndex[] = "CatalogGrammarExt.idsIndex";
inline constexpr char kExtIdsSector[] = "CatalogGrammarExt.idsIndex.sector";
inline constexpr char kExtBitmapIndex[] = "CatalogGrammarExt.bitmapIndex";
inline constexpr char kExtDcfIndex[] = "CatalogGrammarExt.dcfIndex";
inline constexpr char kExtDcfFiles[] = "CatalogGrammarExt.dcfIndex.files";
inline constexpr char kExtDateIndex[] = "CatalogGrammarExt.dateIndex";
// Instances of CatalogGrammarExt.blockTableFile.
inline constexpr char kExtDatabaseID[] = "CatalogGrammarExt.databaseID";
inline constexpr char kExtData[] = "CatalogGrammarExt.data";
inline constexpr char kExtHelper[] = "CatalogGrammarExt.helper";
inline constexpr char kExtField[] = "CatalogGrammarExt.field";
// An instance of CatalogGrammarExt.field.
inline constexpr char kExtDateField[] = "CatalogGrammarExt.dateField";
inline constexpr char kExtDatabase[] = "CatalogGrammarExt.database";

}  // namespace CatalogGrammarNames
