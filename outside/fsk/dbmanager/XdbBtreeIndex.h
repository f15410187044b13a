#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbComponent.h"
#include "outside/fsk/dbmanager/XdbHostCall.h"
#include "platform/result/XpResult.h"

// One index of the album database: a B-tree in an atom file of its own,
// kept through CatalogGrammar's B-tree natives in a machine that has the
// grammar loaded. This class plays the script's index object and its node
// cache: the natives call back into it for pages (readNode, makeNode,
// getOverflow, readOverflow, addFree) and for changing, cacheLock,
// cacheUnlock and eachUpLeaf.
//
// The file begins with the 48-byte header atom; pages of pageSize bytes
// follow. The header is rewritten after every operation that changed root,
// free or overflow, also after one that failed part way.
//
// Node cache: one page object per page offset while the page is cached, so
// that no two objects of one page can undo each other's writes. A changed
// page is written at once by the natives. The cache is trimmed to cacheSize
// pages (never the root, never a locked page) when an operation ends, as
// the natives hold page objects across their calls. A failed operation
// forgets every cached page and reads the root again from the file.
//
// Results: kXpErrNotOpen with no file open, kXpErrAlreadyOpen for a create
// or open on an open index, kXpErrBadArgument for a key of another kind, a
// text longer than the key size or holding a NUL, a number that is NaN, or
// an ID that is not positive; kXpErrAlreadyExists for a key that a unique
// index holds; kXpErrInvalidFile for a damaged file; kXpErrDiskFull when
// the file would grow past kLargestFile; failures of the system give their
// errno's result. Nothing stores a path.
class XdbBtreeIndex : public XdbComponent {
 public:
  enum class KeyKind { kInteger, kNumber, kString };
  using Key = std::variant<int32_t, double, std::string>;

  // Index flags.
  static constexpr int32_t kUnique = 0x01;
  static constexpr int32_t kNumberIndex = 0x20;
  static constexpr int32_t kIntegerIndex = 0x40;
  // Byte orders: pages as in memory, or big-endian words; kSplitDoubles
  // with kLittleEndian reverses each half of a double in place.
  static constexpr int32_t kBigEndian = 8;
  static constexpr int32_t kLittleEndian = 12;
  static constexpr int32_t kSplitDoubles = 0x100;
  static constexpr int32_t kOrderMask = kLittleEndian | kSplitDoubles;

  static constexpr int32_t kHeaderType = 0x42545245;  // "BTRE"
  static constexpr int32_t kHeaderSize = 48;
  // Offsets are 32-bit words on disk.
  static constexpr int64_t kLargestFile = INT32_MAX;

  // What an index is made of. pageSize is calculatePageSize's, and
  // overflowEntries may come out lower than asked for.
  struct Kind {
    bool unique = true;
    KeyKind keys = KeyKind::kInteger;
    // Text keys: the longest text in bytes.
    int32_t keyLength = 64;
    int32_t order = kLittleEndian;
    int32_t defaultSize = 1024;
    int32_t pageEntries = 20;
    int32_t overflowEntries = 60;
    int32_t cacheSize = 5;
  };

  struct Statistics {
    int64_t keys = 0;
    int64_t ids = 0;
    int64_t overflowPages = 0;
    int64_t overflowSlots = 0;
    int64_t keyBytes = 0;
    int64_t depth = 0;
  };

  // Each key in ascending order with its IDs (inline, then its chain).
  using Visit = std::function<void(const Key& key, const std::vector<int32_t>& ids)>;
  // A filter: false skips the key.
  using Filter = std::function<bool(const Key& key)>;

  // The machine must have CatalogGrammar loaded and outlive this object.
  explicit XdbBtreeIndex(FskMachine* the);
  ~XdbBtreeIndex() override;

  // A new index at path (emptied when there is one) with an empty root
  // leaf.
  [[nodiscard]] XpResult Create(const std::string& path, const Kind& kind);
  [[nodiscard]] XpResult Open(const std::string& path);
  [[nodiscard]] XpResult Close();

  // The index as created or read, with the stored overflowEntries.
  const Kind& GetKind() const { return kind_; }
  int32_t PageSize() const { return pageSize_; }

  [[nodiscard]] XpResult Insert(const Key& key, int32_t id);
  // *removed tells whether the key was there.
  [[nodiscard]] XpResult RemoveKey(const Key& key, bool* removed);
  // Removes one ID of a key; the key stays, also without IDs.
  [[nodiscard]] XpResult RemoveKeyId(const Key& key, int32_t id, bool* removed);
  [[nodiscard]] XpResult Search(const Key& key, std::vector<int32_t>* ids);
  // The IDs of the keys that filter accepts, in key order.
  [[nodiscard]] XpResult FilterSearch(const Filter& filter, std::vector<int32_t>* ids);
  // Text keys: the IDs of the keys that begin with prefix, in key order.
  [[nodiscard]] XpResult PrefixSearch(const std::string& prefix, std::vector<int32_t>* ids);
  // visit must not call this index.
  [[nodiscard]] XpResult Walk(const Visit& visit);
  // Keys (onlyKeys) or IDs.
  [[nodiscard]] XpResult Count(bool onlyKeys, int64_t* count);
  // ranks, indexed by ID, receives for each ID of a key the key's rank in
  // ascending order; equal keys share a rank. IDs of no key keep their
  // value; the vector grows, with -1, to hold every ID.
  [[nodiscard]] XpResult BuildSortingRanks(std::vector<int64_t>* ranks);
  // The grammar's sorting array of slots slots, built and kept as the
  // index's sortingArray until the next insertion.
  [[nodiscard]] XpResult BuildSortingArray(int32_t slots);
  bool HasSortingArray() const;
  // The sorting array kept, or undefined.
  fsk::Value SortingArray() const;
  [[nodiscard]] XpResult GetStatistics(Statistics* statistics);

  // The consistency of the tree and the file: empty when sound, else what
  // is wrong. Every page reached once and in the file; pages below the root
  // hold d - 1 to 2d - 1 keys in ascending order; leaves at one depth; every
  // cached page equal to its bytes in the file; overflow chains that end;
  // the free chain apart from the pages in use; the header atom in the file
  // equal to root, free and overflow.
  [[nodiscard]] std::string Check();

  // The pieces of the index object that tests of the natives share: a page
  // object at offset, not yet read, that the natives write through write;
  // and an index object's properties for kind, with free and overflow 0.
  static fsk::Value NewPage(FskMachine* the, const Kind& kind, int32_t pageSize, int32_t offset, bool overflow,
                            const fsk::Value& write);
  static void SetProperties(FskMachine* the, const fsk::Value& index, const Kind& kind);

  // The file words of the index, for tests and checks.
  int32_t RootOffset() const;
  int32_t FreeHead() const;
  int32_t OverflowOffset() const;
  // How often the natives reported a change of root.
  int ChangingCalls() const { return changingCalls_; }
  size_t CachedPages() const { return cache_.size(); }

 private:
  struct CachedPage {
    fsk::Value page;
    bool overflow = false;
    int locks = 0;
    uint64_t used = 0;
  };
  struct Header {
    int32_t root = -1;
    int32_t free = 0;
    int32_t overflow = 0;
    bool operator==(const Header& other) const = default;
  };
  class Checker;

  [[nodiscard]] XpResult Operation(XdbCallable<void()> work);
  void MakeObject();
  void SetFunction(const char* name, int32_t length, fsk::Closure closure);
  void InstallCallbacks();
  void ReadProperties();
  void CheckStoredShape();

  fsk::Value NewIndexPage(int32_t offset);
  fsk::Value NewOverflowPage(int32_t offset);
  fsk::Value Cached(int32_t offset, bool overflow);
  void Remember(const fsk::Value& page, bool overflow);
  void CheckPageOffset(int32_t offset) const;
  int32_t Allocate();
  fsk::Value GetOverflowPage();
  void GiveBack(int32_t offset);
  void Lock(const fsk::Value& node, int change);

  Header CurrentHeader() const;
  void WriteHeader();
  void WriteHeaderIfChanged();
  void TrimCache();
  size_t CacheLimit() const;
  bool CacheOverLimit() const;
  void ForgetCache();
  void ReloadRoot();
  void ReleaseObjects() override;

  fsk::Value KeyValue(const Key& key) const;
  Key KeyOf(const fsk::Value& value) const;
  std::vector<int32_t> IdsOf(const fsk::Value& value) const;
  fsk::Value NewResult(std::vector<int32_t>* ids);
  int32_t IntegerProperty(const char* name) const;

  fsk::Value index_;
  fsk::Value write_;
  Kind kind_;
  int32_t pageSize_ = 0;
  // Where the next appended page goes.
  int64_t end_ = 0;
  Header written_;
  std::map<int32_t, CachedPage> cache_;
  // Pages given back during an operation, closed when it ends.
  std::vector<fsk::Value> retired_;
  uint64_t clock_ = 0;
  int changingCalls_ = 0;
  // Root, free or overflow may differ from written_: set by the natives'
  // changing and by the callbacks that move free or overflow.
  bool headerMayChange_ = false;
  const Visit* visit_ = nullptr;
};
