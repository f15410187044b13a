#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/tests/XdbNativeFixture.h"
#include "fsk/FskMemory.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

using fsk::Value;
using testsupport::Fault;
using testsupport::SysCall;
using xdbtest::Bytes;
using xdbtest::TypeCode;

constexpr int32_t kFreelistType = TypeCode("FLST");
constexpr int32_t kIndexType = TypeCode("INDX");

using Span = std::pair<int64_t, int64_t>;

Bytes BigEndian(std::initializer_list<uint32_t> words) {
  Bytes bytes;
  for (uint32_t word : words) {
    bytes.resize(bytes.size() + 4);
    CatalogStoreBigEndian32(bytes.data() + bytes.size() - 4, word);
  }
  return bytes;
}

class XdbDatabaseAtoms : public xdbtest::XdbNativeFixture {
 protected:
  // A database object (itself an atom file) created at path.
  Value NewDatabase(const std::string& path, int32_t type, int32_t flags, int32_t nextID) {
    Value database = CreateAtomFile(path, "xdb.database");
    fsk::Set(the_, database, "type", Value::Integer(type));
    fsk::Set(the_, database, "flags", Value::Integer(flags));
    fsk::Set(the_, database, "nextID", Value::Integer(nextID));
    return database;
  }

  // A free list holding spans in order, which records the readBlock calls
  // it receives in blocks_.
  Value NewFreelist(const std::vector<Span>& spans) {
    Value freelist = fsk::NewInstanceOf(the_, Path("xdb.freelist"));
    fsk::Set(the_, freelist, "type", Value::Integer(kFreelistType));
    Value next = Value::Null();
    for (auto span = spans.rbegin(); span != spans.rend(); ++span) {
      Value node = fsk::NewObject(the_);
      fsk::Set(the_, node, "offset", Value::Integer(span->first));
      fsk::Set(the_, node, "size", Value::Integer(span->second));
      fsk::Set(the_, node, "next", next);
      next = node;
    }
    fsk::Set(the_, freelist, "first", next);
    fsk::Set(the_, freelist, "readBlock",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine* the, const Value&, const std::vector<Value>& arguments) {
                   blocks_.emplace_back(fsk::ToInteger(the, arguments.at(0)), fsk::ToInteger(the, arguments.at(1)));
                   return Value();
                 },
                 2));
    return freelist;
  }

  struct IndexCall {
    std::string name;
    int64_t flags;
    FskValueType keySizeType;
    size_t argumentCount;
  };

  Value NewSecondaries() {
    Value secondaries = fsk::NewInstanceOf(the_, Path("xdb.secondaries"));
    fsk::Set(the_, secondaries, "addIndex",
             fsk::NewFunction(
                 the_,
                 [this](FskMachine* the, const Value&, const std::vector<Value>& arguments) {
                   indexes_.push_back(IndexCall{fsk::ToString(the, arguments.at(0)), fsk::ToInteger(the, arguments.at(1)),
                                                arguments.at(2).Type(), arguments.size()});
                   return Value();
                 },
                 3));
    return secondaries;
  }

  Value NewIndex(const std::string& name, int32_t flags, int32_t keySize) {
    Value index = fsk::NewObject(the_);
    fsk::Set(the_, index, "name", Value::String(name));
    fsk::Set(the_, index, "flags", Value::Integer(flags));
    fsk::Set(the_, index, "keySize", Value::Integer(keySize));
    return index;
  }

  std::vector<Span> blocks_;
  std::vector<IndexCall> indexes_;
  testsupport::FaultInjection faults_;
};

TEST_F(XdbDatabaseAtoms, HeadAtomRoundTrip) {
  std::string path = FilePath("head");
  Value database = NewDatabase(path, TypeCode("HEAD"), 12, 42);
  fsk::Call(the_, database, "writeDatabase", database);
  fsk::Call(the_, database, "close");
  EXPECT_EQ(FileBytes(path), BigEndian({16, 0x48454144, 12, 42}));

  Value reader = NewAtomFile("xdb.database");
  fsk::Set(the_, reader, "type", Value::Integer(TypeCode("HEAD")));
  fsk::Call(the_, reader, "open", path);
  fsk::Call(the_, reader, "readDatabase", reader);
  EXPECT_EQ(Integer(fsk::Get(the_, reader, "flags")), 12);
  EXPECT_EQ(Integer(fsk::Get(the_, reader, "nextID")), 42);

  EXPECT_EQ(Integer(fsk::Call(the_, Path("xdb.database"), "getPlatformOrdering")), 4);
  EXPECT_EQ(Integer(fsk::Call(the_, Path("xdb.primary"), "getPlatformOrdering")), 4);
}

TEST_F(XdbDatabaseAtoms, ReadDatabaseRefusesAHeadOfAnotherSizeOrType) {
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"larger", BigEndian({20, 0x48454144, 12, 42, 0})},
      {"smaller", BigEndian({12, 0x48454144, 12, 42})},
      {"another type", BigEndian({16, 0x46524545, 12, 42})},
      {"cut short", BigEndian({16, 0x48454144, 12})},
  };
  for (const Case& test : cases) {
    Value database = AtomFileWith("head", test.bytes, "xdb.database");
    fsk::Set(the_, database, "type", Value::Integer(TypeCode("HEAD")));
    fsk::Set(the_, database, "flags", Value::Integer(-1));
    EXPECT_NE(Raised([&] { fsk::Call(the_, database, "readDatabase", database); }), 0) << test.what;
    EXPECT_EQ(Integer(fsk::Get(the_, database, "flags")), -1) << test.what;
    fsk::Call(the_, database, "close");
  }
}

TEST_F(XdbDatabaseAtoms, ReadHeadGivesARecordHeader) {
  Bytes bytes = BigEndian({16, 0x48454144, 0, 1});
  Bytes record = BigEndian({20, TypeCode("CONT")});
  record.insert(record.end(), {0x2A, 0x00, 0x00, 0x00});
  record.insert(record.end(), 8, 0);
  bytes.insert(bytes.end(), record.begin(), record.end());
  std::string path = FilePath("records");
  Value database = AtomFileWith("records", bytes, "xdb.database");

  Value head = fsk::Call(the_, database, "readHead", 16);
  EXPECT_EQ(Integer(fsk::Get(the_, head, "size")), 20);
  EXPECT_EQ(Integer(fsk::Get(the_, head, "type")), TypeCode("CONT"));
  EXPECT_EQ(Integer(fsk::Get(the_, head, "id")), 42);
  EXPECT_EQ(Integer(fsk::Call(the_, database, "getOffset")), 28);

  // Beyond the end: an error, and the file keeps its size.
  EXPECT_EQ(Raised([&] { fsk::Call(the_, database, "readHead", 5000); }), EIO);
  EXPECT_EQ(FileSize(path), 36);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, database, "readHead", -4); }), EINVAL);
}

TEST_F(XdbDatabaseAtoms, FreeAtomRewritesOnlyItsHeader) {
  std::string path = FilePath("free");
  Value file = AtomFileWith("free", Bytes(32, 'x'));
  Value freeAtom = fsk::NewInstanceOf(the_, Path("xdb.freeAtom"));
  fsk::Set(the_, freeAtom, "offset", Value::Integer(8));
  fsk::Set(the_, freeAtom, "size", Value::Integer(16));
  fsk::Set(the_, freeAtom, "type", Value::Integer(TypeCode("FREE")));
  fsk::Call(the_, freeAtom, "write", file);

  Bytes expected(8, 'x');
  Bytes header = BigEndian({16, 0x46524545});
  expected.insert(expected.end(), header.begin(), header.end());
  expected.insert(expected.end(), 16, 'x');
  EXPECT_EQ(FileBytes(path), expected);

  fsk::Set(the_, freeAtom, "size", Value::Integer(4));
  EXPECT_EQ(Raised([&] { fsk::Call(the_, freeAtom, "write", file); }), EINVAL);
}

TEST_F(XdbDatabaseAtoms, EmptyFreeListIsAHeaderOnly) {
  std::string path = FilePath("empty");
  Value file = CreateAtomFile(path);
  fsk::Call(the_, NewFreelist({}), "writeFreelist", file);
  EXPECT_EQ(FileBytes(path), BigEndian({8, 0x464C5354}));

  fsk::Call(the_, file, "setOffset", 0);
  fsk::Call(the_, NewFreelist({}), "readFreelist", file);
  EXPECT_TRUE(blocks_.empty());
  EXPECT_EQ(Integer(fsk::Call(the_, file, "getOffset")), 8);
}

TEST_F(XdbDatabaseAtoms, FreeListKeepsItsOrder) {
  std::string path = FilePath("spans");
  Value file = CreateAtomFile(path);
  fsk::Call(the_, NewFreelist({{100, 16}, {200, 32}, {300, 8}}), "writeFreelist", file);
  EXPECT_EQ(FileBytes(path), BigEndian({32, 0x464C5354, 100, 16, 200, 32, 300, 8}));

  fsk::Call(the_, file, "setOffset", 0);
  int64_t blocks = FskMemLiveBlocks();
  fsk::Call(the_, NewFreelist({}), "readFreelist", file);
  EXPECT_EQ(FskMemLiveBlocks(), blocks);
  EXPECT_EQ(blocks_, (std::vector<Span>{{300, 8}, {200, 32}, {100, 16}}));
}

TEST_F(XdbDatabaseAtoms, LongFreeListsRoundTrip) {
  constexpr int kSpans = 20000;
  std::vector<Span> spans;
  for (int i = 0; i < kSpans; ++i) {
    spans.emplace_back(1000 + 64LL * i, 16 + i % 7);
  }
  std::string path = FilePath("long");
  Value file = CreateAtomFile(path);
  fsk::Call(the_, NewFreelist(spans), "writeFreelist", file);
  EXPECT_EQ(FileSize(path), 8 + 8LL * kSpans);
  EXPECT_EQ(CatalogLoadBigEndian32(FileBytes(path).data()), 8u + 8u * kSpans);

  fsk::Call(the_, file, "setOffset", 0);
  fsk::Call(the_, NewFreelist({}), "readFreelist", file);
  std::vector<Span> reversed(spans.rbegin(), spans.rend());
  EXPECT_EQ(blocks_, reversed);
}

TEST_F(XdbDatabaseAtoms, FreeListErrorsReachTheCaller) {
  std::string path = FilePath("failing");
  Value file = CreateAtomFile(path);
  int64_t blocks = FskMemLiveBlocks();
  faults_.Add(Fault(SysCall::kWrite, Dir("db").string()).Errno(ENOSPC));
  EXPECT_EQ(Raised([&] { fsk::Call(the_, NewFreelist({{100, 16}}), "writeFreelist", file); }), ENOSPC);
  EXPECT_EQ(FskMemLiveBlocks(), blocks);
  faults_.Clear();

  FskMemFailNextAllocations(1);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, NewFreelist({{100, 16}}), "writeFreelist", file); }), ENOMEM);
  FskMemFailNextAllocations(0);

  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"cut short", BigEndian({32, 0x464C5354, 100, 16})},
      {"below the header", BigEndian({4, 0x464C5354})},
      {"not whole spans", BigEndian({20, 0x464C5354, 100, 16, 0})},
      {"huge", BigEndian({0x7FFFFFF8, 0x464C5354})},
  };
  for (const Case& test : cases) {
    Value damaged = AtomFileWith("damaged", test.bytes);
    EXPECT_EQ(Raised([&] { fsk::Call(the_, NewFreelist({}), "readFreelist", damaged); }), EINVAL) << test.what;
    EXPECT_EQ(FskMemLiveBlocks(), blocks) << test.what;
    EXPECT_TRUE(blocks_.empty()) << test.what;
    fsk::Call(the_, damaged, "close");
  }

  Value readable = AtomFileWith("readable", BigEndian({16, 0x464C5354, 100, 16}));
  faults_.Add(Fault(SysCall::kRead, Dir("db").string()).Errno(EIO).AfterBytes(8));
  EXPECT_EQ(Raised([&] { fsk::Call(the_, NewFreelist({}), "readFreelist", readable); }), EIO);
  EXPECT_EQ(FskMemLiveBlocks(), blocks);
}

TEST_F(XdbDatabaseAtoms, FreeListOfAnotherTypeIsPassedOverQuietly) {
  Value file = AtomFileWith("other", BigEndian({16, 0x48454144, 100, 16}));
  EXPECT_EQ(Raised([&] { fsk::Call(the_, NewFreelist({}), "readFreelist", file); }), 0);
  EXPECT_TRUE(blocks_.empty());
}

TEST_F(XdbDatabaseAtoms, ACallbackErrorPassesThroughAndFreesTheBuffer) {
  Value file = AtomFileWith("spans", BigEndian({24, 0x464C5354, 100, 16, 200, 8}));
  Value freelist = NewFreelist({});
  fsk::Set(the_, freelist, "readBlock",
           fsk::NewFunction(
               the_,
               [](FskMachine* the, const Value&, const std::vector<Value>&) -> Value {
                 fxError(the, EMLINK);
               },
               2));
  int64_t blocks = FskMemLiveBlocks();
  EXPECT_EQ(Raised([&] { fsk::Call(the_, freelist, "readFreelist", file); }), EMLINK);
  EXPECT_EQ(FskMemLiveBlocks(), blocks);
}

TEST_F(XdbDatabaseAtoms, IndexAtomRoundTrip) {
  std::string path = FilePath("index");
  Value file = CreateAtomFile(path);
  Value secondaries = NewSecondaries();
  fsk::Call(the_, secondaries, "writeIndex", file, kIndexType, NewIndex("date", 0x21, 4));
  Bytes expected = BigEndian({21, 0x494E4458, 0x21, 4});
  expected.insert(expected.end(), {'d', 'a', 't', 'e', 0});
  EXPECT_EQ(FileBytes(path), expected);

  fsk::Call(the_, file, "setOffset", 0);
  fsk::Call(the_, secondaries, "readIndex", file, kIndexType);
  ASSERT_EQ(indexes_.size(), 1u);
  EXPECT_EQ(indexes_[0].name, "date");
  EXPECT_EQ(indexes_[0].flags, 0x21);
  // The stored key size is not passed on.
  EXPECT_EQ(indexes_[0].argumentCount, 3u);
  EXPECT_EQ(indexes_[0].keySizeType, kFskUndefinedType);

  fsk::Call(the_, file, "setOffset", 0);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, secondaries, "readIndex", file, TypeCode("HEAD")); }), 0);
  EXPECT_EQ(indexes_.size(), 1u);
}

TEST_F(XdbDatabaseAtoms, IndexAtomsRefuseBrokenNames) {
  Value secondaries = NewSecondaries();
  Value file = CreateAtomFile(FilePath("names"));
  EXPECT_EQ(Raised([&] {
              fsk::Call(the_, secondaries, "writeIndex", file, kIndexType, NewIndex(std::string("da\0te", 5), 1, 4));
            }),
            EINVAL);
  EXPECT_EQ(Integer(fsk::Call(the_, file, "getSize")), 0);

  Bytes unterminated = BigEndian({20, 0x494E4458, 1, 4});
  unterminated.insert(unterminated.end(), {'d', 'a', 't', 'e'});
  Value damaged = AtomFileWith("unterminated", unterminated);
  int64_t blocks = FskMemLiveBlocks();
  EXPECT_EQ(Raised([&] { fsk::Call(the_, secondaries, "readIndex", damaged, kIndexType); }), EINVAL);
  EXPECT_EQ(FskMemLiveBlocks(), blocks);
  EXPECT_TRUE(indexes_.empty());

  Value tooSmall = AtomFileWith("small", BigEndian({16, 0x494E4458, 1, 4}));
  EXPECT_EQ(Raised([&] { fsk::Call(the_, secondaries, "readIndex", tooSmall, kIndexType); }), EINVAL);
}

}  // namespace
