#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeLayout.h"
#include "catalogdb/include/CatalogGrammarNames.h"
#include "catalogdb/tests/XdbBtreeTestIndex.h"
#include "catalogdb/tests/XdbNativeFixture.h"

namespace {

namespace cb = CatalogBtree;
namespace names = CatalogGrammarNames;
using Bytes = std::vector<unsigned char>;
using fsk::Value;

constexpr int32_t kLittleEndian = 12;
constexpr int32_t kBigEndian = 8;
constexpr int32_t kSplitDoubles = 0x100;
constexpr int32_t kUnique = 1;
constexpr int32_t kPageOffset = 48;

unsigned char* Pointer(FskMachine* the, const Value& value) {
  return reinterpret_cast<unsigned char*>(static_cast<intptr_t>(fsk::ToInteger(the, value)));
}

class XdbBtreePage : public xdbtest::XdbNativeFixture {
 protected:
  // An index object whose file is file_: readDataAt and writeDataAt work on
  // it, readAtom and writeAtom at position 0.
  Value FileIndex(int32_t flags, int32_t pageSize, int32_t keySize, int32_t pageEntries = 20,
                  int32_t overflowEntries = 60) {
    Value index = fsk::NewInstanceOf(the_, fsk::GetPath(the_, names::kIndex));
    fsk::Set(the_, index, "flags", Value::Integer(flags));
    fsk::Set(the_, index, "pageSize", Value::Integer(pageSize));
    fsk::Set(the_, index, "keySize", Value::Integer(keySize));
    fsk::Set(the_, index, "pageEntries", Value::Integer(pageEntries));
    fsk::Set(the_, index, "overflowEntries", Value::Integer(overflowEntries));
    Set(index, "readDataAt", 3, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
      int64_t count = fsk::ToInteger(the, args[1]);
      int64_t offset = fsk::ToInteger(the, args[2]);
      if (offset + count > static_cast<int64_t>(file_.size())) {
        fxError(the, EIO);
      }
      std::memcpy(Pointer(the, args[0]), file_.data() + offset, static_cast<size_t>(count));
      return Value();
    });
    Set(index, "writeDataAt", 3, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
      int64_t count = fsk::ToInteger(the, args[1]);
      int64_t offset = fsk::ToInteger(the, args[2]);
      if (failWrites_) {
        fxError(the, EIO);
      }
      file_.resize(std::max(file_.size(), static_cast<size_t>(offset + count)));
      std::memcpy(file_.data() + offset, Pointer(the, args[0]), static_cast<size_t>(count));
      return Value();
    });
    return index;
  }

  void Set(const Value& object, const char* name, int32_t length, fsk::Closure closure) {
    fsk::Set(the_, object, name, fsk::NewFunction(the_, std::move(closure), length));
  }

  Value NewPage(const char* constructor, std::vector<Value> args) {
    return fsk::Construct(the_, fsk::GetPath(the_, names::kXdbBtree), constructor, args);
  }

  Value IntegerPage(int32_t offset, int32_t pageSize, int32_t idSlots, bool unique) {
    return NewPage("IntegerPage",
                   {Value::Integer(offset), Value::Integer(pageSize), Value::Integer(idSlots), Value::Boolean(unique)});
  }

  CatalogPageMemory Memory(const Value& page) { return CatalogPageMemoryOf(the_, page); }
  cb::IndexPage View(const Value& page) { return CatalogIndexPageOf(the_, page); }
  Bytes Snapshot(const Value& page) {
    CatalogPageMemory memory = Memory(page);
    return Bytes(memory.bytes, memory.bytes + memory.size);
  }
  Bytes FileBytes(size_t offset, size_t count) {
    return Bytes(file_.begin() + static_cast<std::ptrdiff_t>(offset),
                 file_.begin() + static_cast<std::ptrdiff_t>(offset + count));
  }

  Bytes file_;
  bool failWrites_ = false;
};

struct HeaderCase {
  const char* constructor;
  int32_t pageSize;
  int32_t idSlots;
  bool unique;
  int32_t keyLength;
  uint16_t flags;
  uint16_t degree;
  uint16_t entrySize;
  uint16_t keySize;
};

TEST_F(XdbBtreePage, ConstructorsWriteTheHeaderOfALeaf) {
  const HeaderCase cases[] = {
      {"IntegerPage", 1024, 0, true, 0, 0x31, 41, 12, 4},  {"IntegerPage", 876, 20, false, 0, 0x21, 4, 96, 4},
      {"NumberPage", 1024, 0, true, 0, 0x91, 31, 16, 8},   {"NumberPage", 912, 20, false, 0, 0x81, 4, 100, 8},
      {"StringPage", 1024, 0, true, 10, 0x51, 24, 20, 12}, {"StringPage", 792, 20, false, 64, 0x41, 2, 156, 64},
  };
  for (const HeaderCase& test : cases) {
    std::vector<Value> args = {Value::Integer(kPageOffset), Value::Integer(test.pageSize), Value::Integer(test.idSlots),
                               Value::Boolean(test.unique)};
    if (test.keyLength != 0) {
      args.push_back(Value::Integer(test.keyLength));
    }
    Value page = NewPage(test.constructor, args);
    cb::IndexHeader header = View(page).Header();
    EXPECT_EQ(header.flags, test.flags) << test.constructor << " " << test.pageSize;
    EXPECT_EQ(header.count, 0) << test.constructor;
    EXPECT_EQ(header.degree, test.degree) << test.constructor << " " << test.pageSize;
    EXPECT_EQ(header.entrySize, test.entrySize) << test.constructor;
    EXPECT_EQ(header.keySize, test.keySize) << test.constructor;
    EXPECT_EQ(header.idSlots, test.idSlots) << test.constructor;
    EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, page, "offset")), kPageOffset);
    Bytes bytes = Snapshot(page);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(test.pageSize));
    EXPECT_EQ(Bytes(bytes.begin() + 12, bytes.end()), Bytes(bytes.size() - 12, 0)) << "entries are cleared";
    EXPECT_TRUE(fsk::IsInstanceOf(the_, page, fsk::GetPath(the_, names::kDefaultPage)));
  }

  Value overflow = NewPage("OverflowPage", {Value::Integer(96), Value::Integer(1024), Value::Integer(60)});
  cb::OverflowHeader header = CatalogOverflowPageOf(the_, overflow).Header();
  EXPECT_EQ(header.flags, 0x04);
  EXPECT_EQ(header.slotCount, 4);
  EXPECT_EQ(header.slotSize, 248);
  EXPECT_EQ(header.idsPerSlot, 60);
  EXPECT_TRUE(fsk::IsInstanceOf(the_, overflow, fsk::GetPath(the_, names::kOverflowPage)));
}

TEST_F(XdbBtreePage, ConstructorsRefusePagesThatCannotHoldATree) {
  struct Case {
    const char* constructor;
    std::vector<int64_t> args;
  };
  const Case cases[] = {
      {"IntegerPage", {0, 60, 0, 1}},          // degree 1
      {"IntegerPage", {0, -1024, 0, 1}},       // negative size
      {"IntegerPage", {0, 1024, 0, 0}},        // no inline slot in a non-unique page
      {"IntegerPage", {0, 1024, 70000, 0}},    // more slots than a field holds
      {"NumberPage", {0, 1 << 30, 0, 1}},      // far too large
      {"StringPage", {0, 1024, 0, 1, 0}},      // empty keys
      {"StringPage", {0, 1024, 0, 1, 70000}},  // keys wider than a field
      {"OverflowPage", {0, 1024, 0}},          // slots without IDs
      {"OverflowPage", {0, 4, 1}},             // smaller than its header
  };
  for (const Case& test : cases) {
    std::vector<Value> args;
    for (int64_t arg : test.args) {
      args.push_back(Value::Integer(arg));
    }
    EXPECT_EQ(Raised([&] { NewPage(test.constructor, args); }), EINVAL) << test.constructor << " " << test.args[1];
  }
}

TEST_F(XdbBtreePage, CalculatePageSizeFromTheDefaults) {
  struct Case {
    int32_t flags;
    int32_t keySize;
    int32_t defaultSize;  // 0: the grammar's default
    int32_t pageEntries;  // 0: the grammar's default
    int64_t pageSize;
    uint16_t entrySize;
    uint16_t degree;
    int64_t overflowEntries;
  };
  const Case cases[] = {
      {kUnique, 4, 0, 0, 1008, 12, 41, 60},                                  // the primary index
      {0, 4, 0, 0, 876, 96, 4, 60},                                          // an integer secondary index
      {0, 8, 0, 0, 912, 100, 4, 60},                                         // a number secondary index
      {0, 64, 0, 0, 792, 156, 2, 60},                                        // a text secondary index
      {kUnique, 4, 64, 0, 120, 12, 4, 26},                                   // small pages lower overflowEntries
      {0, 4, 64, 2, 180, 24, 3, 41},        {0, 10, 64, 2, 172, 32, 2, 39},  // key sizes round up to words
  };
  for (const Case& test : cases) {
    Value index = fsk::NewInstanceOf(the_, fsk::GetPath(the_, names::kIndex));
    fsk::Set(the_, index, "flags", Value::Integer(test.flags));
    fsk::Set(the_, index, "keySize", Value::Integer(test.keySize));
    if (test.defaultSize != 0) {
      fsk::Set(the_, index, "defaultSize", Value::Integer(test.defaultSize));
    }
    if (test.pageEntries != 0) {
      fsk::Set(the_, index, "pageEntries", Value::Integer(test.pageEntries));
    }
    int64_t pageSize = fsk::ToInteger(the_, fsk::Call(the_, index, "calculatePageSize"));
    EXPECT_EQ(pageSize, test.pageSize) << test.keySize << " " << test.defaultSize;
    EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, index, "overflowEntries")), test.overflowEntries) << pageSize;
    fsk::Set(the_, index, "overflowEntries", Value::Integer(test.overflowEntries));

    // Pages of that size have the degree and hold an overflow slot.
    bool unique = (test.flags & kUnique) != 0;
    int32_t idSlots = test.pageEntries != 0 ? test.pageEntries : 20;
    Value page = test.keySize == 4 ? IntegerPage(0, static_cast<int32_t>(pageSize), idSlots, unique)
                 : test.keySize == 8
                     ? NewPage("NumberPage", {Value::Integer(0), Value::Integer(pageSize), Value::Integer(idSlots),
                                              Value::Boolean(unique)})
                     : NewPage("StringPage", {Value::Integer(0), Value::Integer(pageSize), Value::Integer(idSlots),
                                              Value::Boolean(unique), Value::Integer(test.keySize)});
    EXPECT_EQ(View(page).Header().entrySize, test.entrySize) << pageSize;
    EXPECT_EQ(View(page).Degree(), test.degree) << pageSize;
    Value overflow =
        NewPage("OverflowPage", {Value::Integer(0), Value::Integer(pageSize), Value::Integer(test.overflowEntries)});
    EXPECT_GE(CatalogOverflowPageOf(the_, overflow).SlotCount(), 1) << pageSize;
  }
}

TEST_F(XdbBtreePage, CalculatePageSizeRefusesImpossibleIndexes) {
  for (const char* property : {"keySize", "defaultSize", "overflowEntries"}) {
    Value index = fsk::NewInstanceOf(the_, fsk::GetPath(the_, names::kIndex));
    fsk::Set(the_, index, property, Value::Integer(0));
    EXPECT_EQ(Raised([&] { fsk::Call(the_, index, "calculatePageSize"); }), EINVAL) << property;
  }
}

struct KeyBytesCase {
  int32_t flags;
  Bytes key;
};

TEST_F(XdbBtreePage, IntegerKeysFollowTheIndexByteOrder) {
  const KeyBytesCase cases[] = {
      {kBigEndian, {0x00, 0x00, 0x00, 0x01}},
      {kLittleEndian, {0x01, 0x00, 0x00, 0x00}},
  };
  for (const KeyBytesCase& test : cases) {
    file_.clear();
    Value index = FileIndex(test.flags | kUnique, 1024, 4);
    Value page = IntegerPage(kPageOffset, 1024, 0, true);
    cb::IndexPage view = View(page);
    view.SetCount(1);
    CatalogStoreHost32(view.Key(0), 1);
    view.SetId(0, 0x0A0B0C0D);
    Bytes before = Snapshot(page);

    fsk::Call(the_, page, "writeData", index);
    ASSERT_EQ(file_.size(), static_cast<size_t>(kPageOffset + 1024));
    EXPECT_EQ(FileBytes(kPageOffset + 12 + 8, 4), test.key) << test.flags;
    EXPECT_EQ(Snapshot(page), before) << "the page is back in memory order";

    bool big = test.flags == kBigEndian;
    EXPECT_EQ(FileBytes(kPageOffset, 2), big ? Bytes({0x00, 0x31}) : Bytes({0x31, 0x00}));
    EXPECT_EQ(FileBytes(kPageOffset + 4, 2), big ? Bytes({0x00, 41}) : Bytes({41, 0x00}));
    EXPECT_EQ(FileBytes(kPageOffset + 12 + 4, 4),
              big ? Bytes({0x0A, 0x0B, 0x0C, 0x0D}) : Bytes({0x0D, 0x0C, 0x0B, 0x0A}));

    Value read = IntegerPage(kPageOffset, 1024, 0, true);
    fsk::Call(the_, read, "read", index);
    EXPECT_EQ(Snapshot(read), before) << test.flags;
  }
}

TEST_F(XdbBtreePage, NumberKeysFollowTheIndexByteOrder) {
  const KeyBytesCase cases[] = {
      {kLittleEndian, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F}},
      {kBigEndian, {0x3F, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
      {kLittleEndian | kSplitDoubles, {0x00, 0x00, 0x00, 0x00, 0x3F, 0xF0, 0x00, 0x00}},
      {kBigEndian | kSplitDoubles, {0x00, 0x00, 0x00, 0x00, 0x3F, 0xF0, 0x00, 0x00}},
  };
  for (const KeyBytesCase& test : cases) {
    file_.clear();
    Value index = FileIndex(test.flags | kUnique, 1024, 8);
    Value page = NewPage("NumberPage",
                         {Value::Integer(kPageOffset), Value::Integer(1024), Value::Integer(0), Value::Boolean(true)});
    cb::IndexPage view = View(page);
    view.SetCount(2);
    double one = 1.0;
    double other = -1234.5e-7;
    std::memcpy(view.Key(0), &one, sizeof one);
    std::memcpy(view.Key(1), &other, sizeof other);
    Bytes before = Snapshot(page);

    fsk::Call(the_, page, "writeData", index);
    EXPECT_EQ(FileBytes(kPageOffset + 12 + 8, 8), test.key) << test.flags;
    EXPECT_EQ(Snapshot(page), before);
    Value read = NewPage("NumberPage",
                         {Value::Integer(kPageOffset), Value::Integer(1024), Value::Integer(0), Value::Boolean(true)});
    fsk::Call(the_, read, "read", index);
    EXPECT_EQ(Snapshot(read), before) << test.flags;
  }
}

TEST_F(XdbBtreePage, AnEmptyPageConvertsOnlyItsFirstChild) {
  Value index = FileIndex(kBigEndian | kUnique, 1024, 4);
  Value page = IntegerPage(kPageOffset, 1024, 0, true);
  cb::IndexPage view = View(page);
  view.SetChild(0, 0x01020304);
  view.SetId(0, 0x05060708);
  view.SetChild(1, 0x090A0B0C);
  Bytes before = Snapshot(page);

  fsk::Call(the_, page, "writeData", index);
  EXPECT_EQ(FileBytes(kPageOffset + 12, 4), Bytes({0x01, 0x02, 0x03, 0x04}));
  EXPECT_EQ(FileBytes(kPageOffset + 16, 4), Bytes(before.begin() + 16, before.begin() + 20)) << "entry 0's ID";
  EXPECT_EQ(FileBytes(kPageOffset + 24, 12), Bytes(before.begin() + 24, before.begin() + 36)) << "entry 1";
}

TEST_F(XdbBtreePage, NonUniqueEntriesConvertEveryWordButText) {
  Value index = FileIndex(kBigEndian, 1024, 8, 2);
  Value page = NewPage("StringPage", {Value::Integer(kPageOffset), Value::Integer(1024), Value::Integer(2),
                                      Value::Boolean(false), Value::Integer(8)});
  cb::IndexPage view = View(page);
  view.SetLeaf(false);
  view.SetCount(1);
  view.SetChild(0, 0x11);
  view.SetOverflow(0, 0x22, 0x33);
  std::memcpy(view.Key(0), "abcdefgh", 8);
  view.SetInlineId(0, 0, 0x44);
  view.SetInlineId(0, 1, 0x55);
  view.SetChild(1, 0x66);
  Bytes before = Snapshot(page);

  fsk::Call(the_, page, "writeData", index);
  Bytes expected = {0x00, 0x42, 0x00, 0x01};  // inner text page, one key
  EXPECT_EQ(FileBytes(kPageOffset, 4), expected);
  Bytes entries = {0,   0,   0,   0x11, 0, 0, 0, 0x22, 0, 0, 0, 0x33, 'a', 'b', 'c', 'd',
                   'e', 'f', 'g', 'h',  0, 0, 0, 0x44, 0, 0, 0, 0x55, 0,   0,   0,   0x66};
  EXPECT_EQ(FileBytes(kPageOffset + 12, entries.size()), entries);

  Value read = NewPage("StringPage", {Value::Integer(kPageOffset), Value::Integer(1024), Value::Integer(2),
                                      Value::Boolean(false), Value::Integer(8)});
  fsk::Call(the_, read, "read", index);
  EXPECT_EQ(Snapshot(read), before);
}

TEST_F(XdbBtreePage, AFailedWriteLeavesThePageInMemoryOrder) {
  Value index = FileIndex(kBigEndian | kUnique, 1024, 4);
  Value page = IntegerPage(kPageOffset, 1024, 0, true);
  View(page).SetCount(1);
  CatalogStoreHost32(View(page).Key(0), 77);
  Bytes before = Snapshot(page);
  failWrites_ = true;
  EXPECT_EQ(Raised([&] { fsk::Call(the_, page, "writeData", index); }), EIO);
  EXPECT_EQ(Snapshot(page), before);
}

// A page in the file whose bytes were changed after it was written.
struct CorruptionCase {
  const char* what;
  size_t at;
  Bytes bytes;
};

TEST_F(XdbBtreePage, AReadRefusesAPageThatDoesNotAgreeWithTheIndex) {
  const CorruptionCase cases[] = {
      {"count 500", 2, {0x01, 0xF4}},   {"count 2d", 2, {0x00, 82}},         {"degree", 4, {0x00, 0x7F}},
      {"entry size", 6, {0x00, 16}},    {"key size", 8, {0x00, 8}},          {"not unique", 0, {0x00, 0x21}},
      {"text keys", 0, {0x00, 0x51}},   {"leaf and inner", 0, {0x00, 0x33}}, {"unknown flag", 0, {0x01, 0x31}},
      {"a free page", 0, {0x00, 0x08}},
  };
  for (const CorruptionCase& test : cases) {
    file_.clear();
    Value index = FileIndex(kBigEndian | kUnique, 1024, 4);
    Value page = IntegerPage(kPageOffset, 1024, 0, true);
    View(page).SetCount(3);
    fsk::Call(the_, page, "writeData", index);
    std::memcpy(file_.data() + kPageOffset + test.at, test.bytes.data(), test.bytes.size());

    Value read = IntegerPage(kPageOffset, 1024, 0, true);
    EXPECT_EQ(Raised([&] { fsk::Call(the_, read, "read", index); }), EINVAL) << test.what;
    // The bytes stay as read: nothing trusts them afterwards.
    EXPECT_EQ(Snapshot(read), FileBytes(kPageOffset, 1024)) << test.what;
    EXPECT_EQ(Raised([&] { fsk::Call(the_, index, "countNode", read, true); }), EINVAL) << test.what;
  }
}

TEST_F(XdbBtreePage, AReadRefusesPagesOfAnotherSize) {
  Value index = FileIndex(kLittleEndian | kUnique, 1024, 4);
  Value page = IntegerPage(kPageOffset, 1024, 0, true);
  fsk::Call(the_, page, "writeData", index);
  fsk::Set(the_, index, "pageSize", Value::Integer(2048));
  EXPECT_EQ(Raised([&] { fsk::Call(the_, page, "read", index); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, page, "writeData", index); }), EINVAL);
}

TEST_F(XdbBtreePage, AReadRefusesAnOverflowPageThatDoesNotFit) {
  const CorruptionCase cases[] = {
      {"slot count", 2, {0x00, 0x05}},
      {"slot size", 4, {0x00, 0x14}},
      {"IDs per slot", 6, {0x00, 0x03}},
      {"flags", 0, {0x00, 0x31}},
  };
  for (const CorruptionCase& test : cases) {
    file_.clear();
    Value index = FileIndex(kBigEndian, 1024, 4, 20, 60);
    Value page = NewPage("OverflowPage", {Value::Integer(kPageOffset), Value::Integer(1024), Value::Integer(60)});
    fsk::Call(the_, page, "writeData", index);
    std::memcpy(file_.data() + kPageOffset + test.at, test.bytes.data(), test.bytes.size());
    Value read = NewPage("OverflowPage", {Value::Integer(kPageOffset), Value::Integer(1024), Value::Integer(60)});
    EXPECT_EQ(Raised([&] { fsk::Call(the_, read, "read", index); }), EINVAL) << test.what;
    EXPECT_EQ(Raised([&] { fsk::Call(the_, read, "isFull"); }), EINVAL) << test.what;
  }
}

TEST_F(XdbBtreePage, OverflowSlotsFollowTheIndexByteOrder) {
  Value index = FileIndex(kBigEndian, 64, 4, 20, 2);
  Value page = NewPage("OverflowPage", {Value::Integer(kPageOffset), Value::Integer(64), Value::Integer(2)});
  cb::OverflowPage view = CatalogOverflowPageOf(the_, page);
  ASSERT_EQ(view.SlotCount(), 3);
  view.SetNext(2, 0x0100, 1);
  view.SetId(2, 0, 5);
  view.SetId(2, 1, 6);
  Bytes before = Snapshot(page);
  fsk::Call(the_, page, "writeData", index);
  EXPECT_EQ(FileBytes(kPageOffset, 8), Bytes({0, 4, 0, 3, 0, 16, 0, 2}));
  EXPECT_EQ(FileBytes(kPageOffset + 8 + 2 * 16, 16), Bytes({0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 6}));
  Value read = NewPage("OverflowPage", {Value::Integer(kPageOffset), Value::Integer(64), Value::Integer(2)});
  fsk::Call(the_, read, "read", index);
  EXPECT_EQ(Snapshot(read), before);
}

TEST_F(XdbBtreePage, FreeRecordsFollowTheIndexByteOrder) {
  const KeyBytesCase cases[] = {
      {kBigEndian, {0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x04, 0x30}},
      {kLittleEndian, {0x08, 0x00, 0x00, 0x00, 0x30, 0x04, 0x00, 0x00}},
  };
  for (const KeyBytesCase& test : cases) {
    file_.assign(4096, 0xEE);
    Value index = FileIndex(test.flags, 1024, 4);
    fsk::Call(the_, index, "writeFree", 2096, 1072);
    EXPECT_EQ(FileBytes(2096, 8), test.key) << test.flags;
    EXPECT_EQ(FileBytes(2104, 4), Bytes(4, 0xEE)) << "the rest of the page is not rewritten";
    EXPECT_EQ(fsk::ToInteger(the_, fsk::Call(the_, index, "readFree", 2096)), 1072) << test.flags;
    EXPECT_EQ(Raised([&] { fsk::Call(the_, index, "readFree", 1024); }), EINVAL) << "not a free page";
  }
}

TEST_F(XdbBtreePage, TheHeaderAtomRoundTrips) {
  Bytes atom;
  Value index = FileIndex(kBigEndian | kUnique, 1008, 4, 20, 60);
  fsk::Set(the_, index, "type", Value::Integer(0x494E4458));
  Set(index, "writeAtom", 1, [&atom](FskMachine* the, const Value&, const std::vector<Value>& args) {
    const unsigned char* bytes = Pointer(the, args[0]);
    int32_t size = CatalogLoadHost32(bytes);
    atom.assign(bytes, bytes + size);
    CatalogStoreBigEndianInt32(atom.data(), size);
    CatalogStoreBigEndianInt32(atom.data() + 4, CatalogLoadHost32(bytes + 4));
    return Value();
  });
  Set(index, "readAtom", 1, [&atom](FskMachine* the, const Value&, const std::vector<Value>& args) {
    unsigned char* bytes = Pointer(the, args[0]);
    int32_t size = CatalogLoadBigEndianInt32(atom.data());
    if (size > CatalogLoadHost32(bytes) || CatalogLoadBigEndianInt32(atom.data() + 4) != CatalogLoadHost32(bytes + 4)) {
      fxError(the, EINVAL);
    }
    CatalogStoreHost32(bytes, size);
    std::memcpy(bytes + 8, atom.data() + 8, static_cast<size_t>(size - 8));
    return Value();
  });
  fsk::Set(the_, index, "defaultSize", Value::Integer(1024));
  fsk::Set(the_, index, "cacheSize", Value::Integer(2));
  fsk::Set(the_, index, "free", Value::Integer(3056));

  // Without a root or an overflow page.
  fsk::Call(the_, index, "writeFileAux");
  ASSERT_EQ(atom.size(), 48u);
  Bytes expected = {0, 0, 0, 48, 'I', 'N', 'D', 'X',  0, 0, 0, 9, 0,    0,    0,    4,    0, 0, 0,    2,    0, 0, 0, 20,
                    0, 0, 0, 60, 0,   0,   3,   0xF0, 0, 0, 4, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0x0B, 0xF0, 0, 0, 0, 0};
  EXPECT_EQ(atom, expected);

  // Pages are written as their offsets and read back as offsets.
  fsk::Set(the_, index, "root", IntegerPage(2048, 1008, 0, true));
  fsk::Set(the_, index, "overflow",
           NewPage("OverflowPage", {Value::Integer(1056), Value::Integer(1008), Value::Integer(60)}));
  fsk::Call(the_, index, "writeFileAux");
  for (const char* name : {"flags", "keySize", "cacheSize", "pageEntries", "overflowEntries", "pageSize", "defaultSize",
                           "root", "free", "overflow"}) {
    fsk::Set(the_, index, name, Value());
  }
  fsk::Call(the_, index, "readFile");
  const std::pair<const char*, int64_t> properties[] = {
      {"flags", 9},       {"keySize", 4},        {"cacheSize", 2}, {"pageEntries", 20}, {"overflowEntries", 60},
      {"pageSize", 1008}, {"defaultSize", 1024}, {"root", 2048},   {"free", 3056},      {"overflow", 1056},
  };
  for (const auto& [name, value] : properties) {
    EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, index, name)), value) << name;
  }

  // An atom of another size is refused.
  CatalogStoreBigEndianInt32(atom.data(), 40);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, index, "readFile"); }), EINVAL);
}

TEST_F(XdbBtreePage, AClosedPageRefusesWork) {
  Value index = FileIndex(kLittleEndian | kUnique, 1024, 4);
  Value page = IntegerPage(kPageOffset, 1024, 0, true);
  fsk::Call(the_, page, "close");
  EXPECT_EQ(Raised([&] { fsk::Call(the_, page, "read", index); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, page, "writeData", index); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, index, "countNode", page, true); }), EINVAL);
  fsk::Call(the_, page, "close");  // Closing twice is harmless.
}

}  // namespace
