#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbBtreeIndex.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/result/XpResult.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Key = ::XdbBtreeIndex::Key;
using Kind = ::XdbBtreeIndex::Kind;
using KeyKind = ::XdbBtreeIndex::KeyKind;
using Walked = std::vector<std::pair<Key, std::vector<int32_t>>>;

constexpr int32_t kBig = ::XdbBtreeIndex::kBigEndian;
constexpr int32_t kLittle = ::XdbBtreeIndex::kLittleEndian;
constexpr int32_t kSplit = ::XdbBtreeIndex::kSplitDoubles;
constexpr int32_t kHeaderSize = ::XdbBtreeIndex::kHeaderSize;
// Unique integer entries of 12 bytes: child, id, key.
constexpr size_t kEntrySize = 12;
constexpr size_t kPageHeader = 12;

// A unique integer index of degree 4: 120-byte pages.
Kind SmallUnique(int32_t order = kLittle) {
  Kind kind;
  kind.defaultSize = 64;
  kind.order = order;
  return kind;
}

// A non-unique index with two inline IDs and three IDs an overflow slot.
Kind SmallShared(KeyKind keys, int32_t order = kLittle) {
  Kind kind;
  kind.unique = false;
  kind.keys = keys;
  kind.keyLength = 8;
  kind.pageEntries = 2;
  kind.overflowEntries = 3;
  kind.defaultSize = 64;
  kind.order = order;
  return kind;
}

int32_t LoadBigEndian32(const Bytes& bytes, size_t at) {
  return static_cast<int32_t>((uint32_t{bytes.at(at)} << 24) | (uint32_t{bytes.at(at + 1)} << 16) |
                              (uint32_t{bytes.at(at + 2)} << 8) | uint32_t{bytes.at(at + 3)});
}

// Pages of an index made in memory order on this little-endian machine.
int32_t LoadLittle32(const Bytes& bytes, size_t at) {
  return static_cast<int32_t>(uint32_t{bytes.at(at)} | (uint32_t{bytes.at(at + 1)} << 8) |
                              (uint32_t{bytes.at(at + 2)} << 16) | (uint32_t{bytes.at(at + 3)} << 24));
}

uint16_t LoadLittle16(const Bytes& bytes, size_t at) {
  return static_cast<uint16_t>(bytes.at(at) | (bytes.at(at + 1) << 8));
}

// Named as the class it tests; the class itself is ::XdbBtreeIndex here.
class XdbBtreeIndex : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
    index_ = std::make_unique<::XdbBtreeIndex>(machine_->Machine());
  }

  void TearDown() override {
    index_.reset();
    machine_.reset();
    HermeticTest::TearDown();
  }

  std::string Path() { return (Dir("db") / "album.idx").string(); }

  void Create(const Kind& kind) { ASSERT_EQ(index_->Create(Path(), kind), kXpOk); }

  void Reopen() {
    ASSERT_EQ(index_->Close(), kXpOk);
    ASSERT_EQ(index_->Open(Path()), kXpOk);
  }

  void Insert(const Key& key, int32_t id) { EXPECT_EQ(index_->Insert(key, id), kXpOk) << id; }

  std::vector<int32_t> Search(const Key& key) {
    std::vector<int32_t> ids;
    EXPECT_EQ(index_->Search(key, &ids), kXpOk);
    return ids;
  }

  Walked Walk() {
    Walked walked;
    EXPECT_EQ(index_->Walk([&](const Key& key, const std::vector<int32_t>& ids) { walked.emplace_back(key, ids); }),
              kXpOk);
    return walked;
  }

  int64_t Count(bool onlyKeys) {
    int64_t count = -1;
    EXPECT_EQ(index_->Count(onlyKeys, &count), kXpOk);
    return count;
  }

  Bytes FileBytes() {
    std::ifstream in(Path(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  void Patch(size_t at, const Bytes& bytes) {
    std::fstream file(Path(), std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(at));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // The integer keys of a unique little-endian page in the file.
  std::vector<int32_t> PageKeys(int32_t offset) {
    Bytes file = FileBytes();
    std::vector<int32_t> keys;
    uint16_t count = LoadLittle16(file, static_cast<size_t>(offset) + 2);
    for (size_t entry = 0; entry < count; ++entry) {
      keys.push_back(LoadLittle32(file, static_cast<size_t>(offset) + kPageHeader + entry * kEntrySize + 8));
    }
    return keys;
  }

  int32_t PageChild(int32_t offset, size_t entry) {
    return LoadLittle32(FileBytes(), static_cast<size_t>(offset) + kPageHeader + entry * kEntrySize);
  }

  std::unique_ptr<fsktest::GrammarMachine> machine_;
  std::unique_ptr<::XdbBtreeIndex> index_;
  testsupport::FaultInjection faults_;
};

TEST_F(XdbBtreeIndex, PagesTakeTheCalculatedSize) {
  struct Case {
    const char* name;
    Kind kind;
    int32_t pageSize;
    int32_t overflowEntries;
  };
  Kind primary;
  Kind integer;
  integer.unique = false;
  Kind number = integer;
  number.keys = KeyKind::kNumber;
  Kind text = integer;
  text.keys = KeyKind::kString;
  text.keyLength = 64;
  const Case cases[] = {
      {"primary", primary, 1008, 60},
      {"integer secondary", integer, 876, 60},
      {"number secondary", number, 912, 60},
      {"text secondary", text, 792, 60},
      // 4 x 26 + 8 bytes is the largest overflow slot of a 120-byte page.
      {"unique integer of degree 4", SmallUnique(), 120, 26},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ASSERT_EQ(index_->Create(Path(), test.kind), kXpOk);
    EXPECT_EQ(index_->PageSize(), test.pageSize);
    EXPECT_EQ(index_->GetKind().overflowEntries, test.overflowEntries);
    ASSERT_EQ(index_->Close(), kXpOk);

    // The header atom, then the empty root leaf.
    Bytes file = FileBytes();
    ASSERT_EQ(file.size(), static_cast<size_t>(kHeaderSize + test.pageSize));
    EXPECT_EQ(LoadBigEndian32(file, 0), kHeaderSize);
    EXPECT_EQ(LoadBigEndian32(file, 4), ::XdbBtreeIndex::kHeaderType);
    EXPECT_EQ(LoadBigEndian32(file, 8 + 5 * 4), test.pageSize);
    EXPECT_EQ(LoadBigEndian32(file, 8 + 4 * 4), test.overflowEntries);
    EXPECT_EQ(LoadBigEndian32(file, 8 + 7 * 4), kHeaderSize) << "root";

    ASSERT_EQ(index_->Open(Path()), kXpOk);
    EXPECT_EQ(index_->PageSize(), test.pageSize);
    EXPECT_EQ(index_->GetKind().unique, test.kind.unique);
    EXPECT_EQ(index_->GetKind().keys, test.kind.keys);
    EXPECT_EQ(Count(true), 0);
    ASSERT_EQ(index_->Close(), kXpOk);
  }
}

TEST_F(XdbBtreeIndex, KeysReachTheFileInTheIndexByteOrder) {
  struct Case {
    const char* name;
    KeyKind keys;
    int32_t order;
    Key key;
    Bytes stored;
  };
  const Case cases[] = {
      {"integer, big-endian", KeyKind::kInteger, kBig, Key(int32_t{1}), {0, 0, 0, 1}},
      {"integer, memory order", KeyKind::kInteger, kLittle, Key(int32_t{1}), {1, 0, 0, 0}},
      {"number, memory order", KeyKind::kNumber, kLittle, Key(1.0), {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {"number, big-endian", KeyKind::kNumber, kBig, Key(1.0), {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
      {"number, split halves", KeyKind::kNumber, kLittle | kSplit, Key(1.0), {0, 0, 0, 0, 0x3F, 0xF0, 0, 0}},
      {"number, big-endian split halves", KeyKind::kNumber, kBig | kSplit, Key(1.0), {0, 0, 0, 0, 0x3F, 0xF0, 0, 0}},
      {"text, big-endian", KeyKind::kString, kBig, Key(std::string("ab")), {'a', 'b', 0, 0}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    Kind kind;
    kind.keys = test.keys;
    kind.keyLength = 4;
    kind.order = test.order;
    Create(kind);
    Insert(test.key, 7);
    ASSERT_EQ(index_->Close(), kXpOk);
    // Entry 0 of the root leaf: child, id, then the key.
    Bytes file = FileBytes();
    size_t key = kHeaderSize + kPageHeader + 8;
    EXPECT_EQ(Bytes(file.begin() + key, file.begin() + key + test.stored.size()), test.stored);
    bool bigEndian = (test.order & kLittle) == kBig;
    int32_t id = bigEndian ? LoadBigEndian32(file, key - 4) : LoadLittle32(file, key - 4);
    EXPECT_EQ(id, 7);

    ASSERT_EQ(index_->Open(Path()), kXpOk);
    EXPECT_EQ(Search(test.key), std::vector<int32_t>({7}));
    EXPECT_EQ(index_->Check(), "");
    ASSERT_EQ(index_->Close(), kXpOk);
  }
}

TEST_F(XdbBtreeIndex, TheEighthKeySplitsTheRootAndDuplicatesAreRefused) {
  Create(SmallUnique());
  for (int32_t key = 1; key <= 7; ++key) {
    Insert(Key(key), key * 10);
  }
  EXPECT_EQ(index_->RootOffset(), kHeaderSize);
  EXPECT_EQ(PageKeys(kHeaderSize), std::vector<int32_t>({1, 2, 3, 4, 5, 6, 7}));

  Insert(Key(int32_t{8}), 80);
  int32_t root = index_->RootOffset();
  EXPECT_NE(root, kHeaderSize);
  EXPECT_EQ(index_->ChangingCalls(), 1);
  EXPECT_EQ(PageKeys(root), std::vector<int32_t>({4}));
  EXPECT_EQ(PageKeys(PageChild(root, 0)), std::vector<int32_t>({1, 2, 3}));
  EXPECT_EQ(PageKeys(PageChild(root, 1)), std::vector<int32_t>({5, 6, 7, 8}));
  EXPECT_EQ(LoadBigEndian32(FileBytes(), 8 + 7 * 4), root) << "the header follows the root";
  EXPECT_EQ(index_->Check(), "");

  Bytes before = FileBytes();
  EXPECT_EQ(index_->Insert(Key(int32_t{5}), 99), kXpErrAlreadyExists);
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(Search(Key(int32_t{5})), std::vector<int32_t>({50}));
  EXPECT_EQ(Count(true), 8);
  EXPECT_EQ(index_->Check(), "");

  Reopen();
  EXPECT_EQ(index_->RootOffset(), root);
  EXPECT_EQ(Walk().size(), 8U);
}

TEST_F(XdbBtreeIndex, AThirdIdOfAKeyGoesToAnOverflowChain) {
  Create(SmallShared(KeyKind::kInteger));
  for (int32_t id : {1, 2, 3}) {
    Insert(Key(int32_t{7}), id);
  }
  EXPECT_NE(index_->OverflowOffset(), 0);
  EXPECT_EQ(Search(Key(int32_t{7})), std::vector<int32_t>({1, 2, 3}));
  EXPECT_EQ(Count(true), 1);
  EXPECT_EQ(Count(false), 3);
  ::XdbBtreeIndex::Statistics statistics;
  ASSERT_EQ(index_->GetStatistics(&statistics), kXpOk);
  EXPECT_EQ(statistics.keys, 1);
  EXPECT_EQ(statistics.ids, 3);
  EXPECT_EQ(statistics.overflowPages, 1);
  EXPECT_EQ(statistics.depth, 1);

  // Removing IDs keeps the key; the emptied overflow page goes back.
  int32_t overflow = index_->OverflowOffset();
  for (int32_t id : {2, 1, 3}) {
    bool removed = false;
    ASSERT_EQ(index_->RemoveKeyId(Key(int32_t{7}), id, &removed), kXpOk);
    EXPECT_TRUE(removed) << id;
  }
  bool removed = true;
  ASSERT_EQ(index_->RemoveKeyId(Key(int32_t{7}), 3, &removed), kXpOk);
  EXPECT_FALSE(removed);
  EXPECT_EQ(Search(Key(int32_t{7})), std::vector<int32_t>());
  EXPECT_EQ(Count(true), 1);
  EXPECT_EQ(index_->FreeHead(), overflow);
  EXPECT_EQ(index_->OverflowOffset(), 0);
  EXPECT_EQ(index_->Check(), "");

  Reopen();
  EXPECT_EQ(index_->FreeHead(), overflow);
  Insert(Key(int32_t{9}), 4);
  Insert(Key(int32_t{9}), 5);
  Insert(Key(int32_t{9}), 6);
  EXPECT_EQ(index_->OverflowOffset(), overflow) << "the free page is taken again";
  EXPECT_EQ(index_->FreeHead(), 0);
  EXPECT_EQ(index_->Check(), "");
}

TEST_F(XdbBtreeIndex, RemovingKeysShrinksTheTreeToItsRoot) {
  Create(SmallUnique());
  bool removed = false;
  Insert(Key(int32_t{1}), 1);
  ASSERT_EQ(index_->RemoveKey(Key(int32_t{1}), &removed), kXpOk);
  EXPECT_TRUE(removed);
  EXPECT_EQ(Count(true), 0);
  EXPECT_EQ(index_->RootOffset(), kHeaderSize) << "an empty root leaf stays";

  for (int32_t key = 1; key <= 8; ++key) {
    Insert(Key(key), key);
  }
  int32_t innerRoot = index_->RootOffset();
  int changes = index_->ChangingCalls();
  for (int32_t key = 8; key >= 2; --key) {
    ASSERT_EQ(index_->RemoveKey(Key(key), &removed), kXpOk);
    EXPECT_TRUE(removed) << key;
    EXPECT_EQ(index_->Check(), "") << key;
  }
  EXPECT_NE(index_->RootOffset(), innerRoot);
  EXPECT_GT(index_->ChangingCalls(), changes);
  EXPECT_EQ(index_->FreeHead(), innerRoot) << "the old root goes back last";
  EXPECT_EQ(Walk(), Walked({{Key(int32_t{1}), {1}}}));
  ASSERT_EQ(index_->RemoveKey(Key(int32_t{99}), &removed), kXpOk);
  EXPECT_FALSE(removed);

  Reopen();
  EXPECT_EQ(index_->FreeHead(), innerRoot);
  EXPECT_EQ(Walk(), Walked({{Key(int32_t{1}), {1}}}));
  EXPECT_EQ(index_->Check(), "");
}

TEST_F(XdbBtreeIndex, RefusesKeysAndIdsItCannotStore) {
  Kind text = SmallShared(KeyKind::kString);
  text.keyLength = 6;
  Create(text);
  struct Case {
    const char* name;
    Key key;
    int32_t id;
  };
  const Case cases[] = {
      {"an integer key", Key(int32_t{3}), 1},
      {"a number key", Key(2.5), 1},
      {"a text longer than the key size", Key(std::string("abcdefg")), 1},
      {"a text holding a NUL", Key(std::string("ab\0c", 4)), 1},
      {"ID 0", Key(std::string("ab")), 0},
      {"a negative ID", Key(std::string("ab")), -4},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(index_->Insert(test.key, test.id), kXpErrBadArgument);
    bool removed = false;
    EXPECT_EQ(index_->RemoveKeyId(test.key, test.id, &removed), kXpErrBadArgument);
  }
  std::vector<int32_t> ids;
  EXPECT_EQ(index_->Search(Key(1.0), &ids), kXpErrBadArgument);
  Insert(Key(std::string("abcdef")), 1);
  EXPECT_EQ(Search(Key(std::string("abcdef"))), std::vector<int32_t>({1}));
  EXPECT_EQ(Count(true), 1);
  EXPECT_EQ(index_->Create(Path(), text), kXpErrAlreadyOpen);
  EXPECT_EQ(index_->Open(Path()), kXpErrAlreadyOpen);
  ASSERT_EQ(index_->Close(), kXpOk);

  Kind number;
  number.keys = KeyKind::kNumber;
  Create(number);
  EXPECT_EQ(index_->Insert(Key(std::nan("")), 1), kXpErrBadArgument);
  ASSERT_EQ(index_->Close(), kXpOk);

  EXPECT_EQ(index_->Insert(Key(1.0), 1), kXpErrNotOpen);
  EXPECT_EQ(index_->Close(), kXpErrNotOpen);
  Kind impossible;
  impossible.defaultSize = 0;
  EXPECT_EQ(index_->Create(Path(), impossible), kXpErrBadArgument);
  EXPECT_FALSE(index_->IsOpen());
}

// A kind refused before any file is made: an open index still answers that
// it is open, and a closed one makes no file and stays ready for a good kind.
TEST_F(XdbBtreeIndex, KindsItCannotMakeAreRefusedWithoutAFile) {
  struct Case {
    const char* name;
    int32_t keyLength;
    int32_t cacheSize;
    int32_t order;
  };
  const Case cases[] = {
      {"a key length of 0", 0, 5, kLittle},
      {"a cache of no pages", 8, 0, kLittle},
      {"an order with an unknown bit", 8, 5, kLittle | 0x1000},
      {"an order that is neither", 8, 5, 4},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    Kind kind = SmallShared(KeyKind::kString);
    kind.keyLength = test.keyLength;
    kind.cacheSize = test.cacheSize;
    kind.order = test.order;
    EXPECT_EQ(index_->Create(Path(), kind), kXpErrBadArgument);
    EXPECT_FALSE(index_->IsOpen());
    EXPECT_FALSE(std::filesystem::exists(Path()));

    Create(SmallUnique());
    EXPECT_EQ(index_->Create(Path(), kind), kXpErrAlreadyOpen);
    Insert(Key(int32_t{7}), 3);
    EXPECT_EQ(Search(Key(int32_t{7})), std::vector<int32_t>({3}));
    ASSERT_EQ(index_->Close(), kXpOk);
    std::filesystem::remove(Path());
  }
}

TEST_F(XdbBtreeIndex, DamagedFilesAreRefused) {
  struct Case {
    const char* name;
    size_t at;
    Bytes bytes;
  };
  // Offsets into a little-endian unique integer index of 120-byte pages
  // whose root, at 48, is a leaf of seven keys.
  const Case cases[] = {
      {"a root count of 500", kHeaderSize + 2, {0xF4, 0x01}},
      {"a header atom of another size", 3, {44}},
      {"a header of another page size", 8 + 5 * 4 + 3, {121}},
      {"a header with a root inside a page", 8 + 7 * 4 + 3, {50}},
      {"a header with a root past the file", 8 + 7 * 4 + 2, {0x10}},
      {"a page with another key size", kHeaderSize + 8, {8}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    Create(SmallUnique());
    for (int32_t key = 1; key <= 7; ++key) {
      Insert(Key(key), key);
    }
    ASSERT_EQ(index_->Close(), kXpOk);
    Patch(test.at, test.bytes);
    EXPECT_EQ(index_->Open(Path()), kXpErrInvalidFile);
    EXPECT_FALSE(index_->IsOpen());
  }
}

TEST_F(XdbBtreeIndex, ADamagedPageBelowTheRootFailsTheOperationOnly) {
  Create(SmallUnique());
  for (int32_t key = 1; key <= 12; ++key) {
    Insert(Key(key), key);
  }
  // A root of 4 and 8 over three leaves; the last holds 9 to 12.
  int32_t right = PageChild(index_->RootOffset(), 2);
  ASSERT_EQ(index_->Close(), kXpOk);
  Patch(static_cast<size_t>(right) + 2, {0xF4, 0x01});  // count 500
  ASSERT_EQ(index_->Open(Path()), kXpOk);

  std::vector<int32_t> ids;
  EXPECT_EQ(index_->Search(Key(int32_t{12}), &ids), kXpErrInvalidFile);
  EXPECT_EQ(Search(Key(int32_t{1})), std::vector<int32_t>({1}));
  EXPECT_EQ(index_->Insert(Key(int32_t{13}), 13), kXpErrInvalidFile);
  EXPECT_NE(index_->Check(), "");
}

TEST_F(XdbBtreeIndex, AFailedWriteLeavesTheIndexAsTheFileHasIt) {
  Create(SmallUnique());
  for (int32_t key = 1; key <= 10; ++key) {
    Insert(Key(key), key);
  }
  Walked before = Walk();
  faults_.Add(testsupport::Fault(testsupport::SysCall::kWrite, Dir("db").string()).Errno(ENOSPC));
  EXPECT_EQ(index_->Insert(Key(int32_t{11}), 11), kXpErrDiskFull);
  bool removed = false;
  EXPECT_EQ(index_->RemoveKey(Key(int32_t{3}), &removed), kXpErrDiskFull);
  faults_.Clear();

  EXPECT_EQ(Walk(), before);
  EXPECT_EQ(index_->Check(), "");
  Insert(Key(int32_t{11}), 11);
  EXPECT_EQ(Count(true), 11);
  Reopen();
  EXPECT_EQ(Count(true), 11);
  EXPECT_EQ(index_->Check(), "");
}

TEST_F(XdbBtreeIndex, TheFileNeverGrowsPastItsLargestSize) {
  Create(SmallUnique());
  for (int32_t key = 1; key <= 7; ++key) {
    Insert(Key(key), key);
  }
  ASSERT_EQ(index_->Close(), kXpOk);
  // A sparse file whose next page would end past 2^31 - 1 bytes.
  std::filesystem::resize_file(Path(), static_cast<uintmax_t>(::XdbBtreeIndex::kLargestFile - 100));
  ASSERT_EQ(index_->Open(Path()), kXpOk);
  Walked before = Walk();
  EXPECT_EQ(index_->Insert(Key(int32_t{8}), 8), kXpErrDiskFull);
  EXPECT_EQ(Walk(), before);
  EXPECT_EQ(index_->RootOffset(), kHeaderSize);
  EXPECT_EQ(std::filesystem::file_size(Path()), static_cast<uintmax_t>(::XdbBtreeIndex::kLargestFile - 100));
}

TEST_F(XdbBtreeIndex, TheCacheKeepsItsSizeAndTheRoot) {
  Kind kind = SmallUnique();
  kind.cacheSize = 2;
  Create(kind);
  for (int32_t key = 1; key <= 60; ++key) {
    Insert(Key(key), key);
    EXPECT_LE(index_->CachedPages(), 2U) << key;
  }
  for (int32_t key = 60; key >= 1; key -= 3) {
    EXPECT_EQ(Search(Key(key)), std::vector<int32_t>({key}));
  }
  EXPECT_LE(index_->CachedPages(), 2U);
  EXPECT_EQ(index_->Check(), "");
  EXPECT_EQ(Count(false), 60);
}

TEST_F(XdbBtreeIndex, SortingRanksFollowTheKeys) {
  Create(SmallShared(KeyKind::kNumber));
  const std::pair<double, int32_t> pairs[] = {{2.5, 4}, {-1.0, 2}, {2.5, 1}, {7.0, 6}, {2.5, 9}, {-1.0, 3}};
  for (const auto& [key, id] : pairs) {
    Insert(Key(key), id);
  }
  std::vector<int64_t> ranks(8, -7);
  ASSERT_EQ(index_->BuildSortingRanks(&ranks), kXpOk);
  EXPECT_EQ(ranks, std::vector<int64_t>({-7, 1, 0, 0, 1, -7, 2, -7, -1, 1}));

  EXPECT_FALSE(index_->HasSortingArray());
  ASSERT_EQ(index_->BuildSortingArray(16), kXpOk);
  EXPECT_TRUE(index_->HasSortingArray());
  Insert(Key(0.5), 12);
  EXPECT_FALSE(index_->HasSortingArray()) << "an insertion clears it";
}

TEST_F(XdbBtreeIndex, FilterAndPrefixSearchesVisitKeysInOrder) {
  Kind text = SmallShared(KeyKind::kString);
  Create(text);
  const std::pair<const char*, int32_t> pairs[] = {
      {"pear", 1}, {"peach", 2}, {"apple", 3}, {"pe", 4}, {"plum", 5}, {"peach", 6}, {"\xE9t\xE9", 7},
  };
  for (const auto& [key, id] : pairs) {
    Insert(Key(std::string(key)), id);
  }
  std::vector<int32_t> ids;
  ASSERT_EQ(index_->PrefixSearch("pe", &ids), kXpOk);
  EXPECT_EQ(ids, std::vector<int32_t>({4, 2, 6, 1}));
  ASSERT_EQ(index_->PrefixSearch("", &ids), kXpOk);
  EXPECT_EQ(ids.size(), 7U);
  ASSERT_EQ(index_->FilterSearch([](const Key& key) { return std::get<std::string>(key).size() == 4; }, &ids), kXpOk);
  EXPECT_EQ(ids, std::vector<int32_t>({1, 5}));
  // Text compares as unsigned bytes: the accented key sorts last.
  Walked walked = Walk();
  ASSERT_EQ(walked.size(), 6U);
  EXPECT_EQ(walked.front().first, Key(std::string("apple")));
  EXPECT_EQ(walked.back().first, Key(std::string("\xE9t\xE9")));

  std::vector<int32_t> none;
  ASSERT_EQ(index_->Close(), kXpOk);
  Create(SmallUnique());
  EXPECT_EQ(index_->PrefixSearch("a", &none), kXpErrBadArgument);
}

}  // namespace
