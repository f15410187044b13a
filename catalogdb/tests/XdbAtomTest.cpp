#include <cerrno>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "catalogdb/tests/XdbNativeFixture.h"
#include "fsk/FskMemory.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

using fsk::Value;
using xdbtest::Bytes;
using xdbtest::TypeCode;

constexpr int32_t kRaw = TypeCode("RAW@");
constexpr int32_t kXml = TypeCode("XML@");

class XdbAtom : public xdbtest::XdbNativeFixture {
 protected:
  Value RawAtom(const std::string& payload, int64_t id) {
    return fsk::New(the_, Path("xdb"), "RawAtom", NewChunk(payload), id);
  }

  int64_t Word(const Value& atom, const char* getter) { return Integer(fsk::Call(the_, atom, getter)); }

  std::string Payload(const Value& atom) { return ChunkText(fsk::Call(the_, atom, "makeObject")); }

  // An atom file holding an atom header {size, type} and then rest.
  Value FileWithHeader(int32_t size, int32_t type, const Bytes& rest) {
    Bytes bytes = {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                   static_cast<uint8_t>(size >> 8),  static_cast<uint8_t>(size),
                   static_cast<uint8_t>(type >> 24), static_cast<uint8_t>(type >> 16),
                   static_cast<uint8_t>(type >> 8),  static_cast<uint8_t>(type)};
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return AtomFileWith("atoms", bytes);
  }

  testsupport::FaultInjection faults_;
};

TEST_F(XdbAtom, RawAtomWritesItsHeaderAndKeepsItInMemory) {
  Value atom = RawAtom("abcd", 7);
  std::string path = FilePath("raw");
  Value file = CreateAtomFile(path);
  fsk::Call(the_, atom, "write", file);
  // The header in memory is unchanged by the write.
  EXPECT_EQ(Word(atom, "getSize"), 16);
  EXPECT_EQ(Word(atom, "getType"), kRaw);
  EXPECT_EQ(Word(atom, "getID"), 7);
  fsk::Call(the_, atom, "write", file);
  fsk::Call(the_, file, "close");

  const Bytes once = {0x00, 0x00, 0x00, 0x10, 0x52, 0x41, 0x57, 0x40, 0x07, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x64};
  Bytes twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(FileBytes(path), twice);
}

TEST_F(XdbAtom, RawAtomArgumentsAndPayload) {
  Value withoutID = fsk::New(the_, Path("xdb"), "RawAtom", NewChunk("xyz"));
  EXPECT_EQ(Word(withoutID, "getID"), 0);
  EXPECT_EQ(Word(withoutID, "getSize"), 15);
  Value undefinedID = fsk::New(the_, Path("xdb"), "RawAtom", NewChunk("xyz"), Value());
  EXPECT_EQ(Word(undefinedID, "getID"), 0);
  Value empty = RawAtom("", -3);
  EXPECT_EQ(Word(empty, "getSize"), 12);
  EXPECT_EQ(Word(empty, "getID"), -3);
  EXPECT_EQ(Payload(empty), "");
  EXPECT_EQ(Payload(RawAtom(std::string("a\0b", 3), 1)), std::string("a\0b", 3));

  // Without arguments nothing is built: the atom has no buffer.
  Value nothing = fsk::New(the_, Path("xdb"), "RawAtom");
  EXPECT_EQ(Raised([&] { Word(nothing, "getSize"); }), EINVAL);
  EXPECT_EQ(Raised([&] { Payload(nothing); }), EINVAL);
}

TEST_F(XdbAtom, SettersAndSizeChanges) {
  Value atom = RawAtom("abcd", 1);
  fsk::Call(the_, atom, "setID", 99);
  fsk::Call(the_, atom, "setType", TypeCode("CONT"));
  EXPECT_EQ(Word(atom, "getID"), 99);
  EXPECT_EQ(Word(atom, "getType"), TypeCode("CONT"));

  fsk::Call(the_, atom, "setSize", 20);
  EXPECT_EQ(Word(atom, "getSize"), 20);
  EXPECT_EQ(Payload(atom), std::string("abcd\0\0\0\0", 8));
  fsk::Call(the_, atom, "setSize", 13);
  EXPECT_EQ(Payload(atom), "a");

  // Below the header, or beyond a 32-bit size, the atom stays as it is.
  for (int64_t size : {11LL, 0LL, -1LL, 0x80000000LL}) {
    EXPECT_EQ(Raised([&] { fsk::Call(the_, atom, "setSize", size); }), EINVAL) << size;
    EXPECT_EQ(Word(atom, "getSize"), 13) << size;
  }
  FskMemFailNextAllocations(1);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, atom, "setSize", 4096); }), ENOMEM);
  FskMemFailNextAllocations(0);
  EXPECT_EQ(Payload(atom), "a");
}

TEST_F(XdbAtom, SwapAndClose) {
  Value first = RawAtom("one", 1);
  Value second = RawAtom("second", 2);
  fsk::Call(the_, first, "swap", second);
  EXPECT_EQ(Word(first, "getID"), 2);
  EXPECT_EQ(Payload(first), "second");
  EXPECT_EQ(Payload(second), "one");

  int64_t blocks = FskMemLiveBlocks();
  fsk::Call(the_, first, "close");
  EXPECT_EQ(FskMemLiveBlocks(), blocks - 1);
  EXPECT_EQ(Raised([&] { Word(first, "getSize"); }), EINVAL);
  fsk::Call(the_, first, "close");
  EXPECT_EQ(FskMemLiveBlocks(), blocks - 1);

  // An empty atom takes a buffer by a swap.
  Value empty = fsk::New(the_, Path("xdb"), "RawAtom");
  fsk::Call(the_, empty, "swap", second);
  EXPECT_EQ(Payload(empty), "one");
  EXPECT_EQ(Raised([&] { Word(second, "getSize"); }), EINVAL);
}

TEST_F(XdbAtom, ReadAndAtomFromFileRoundTrip) {
  std::string path = FilePath("atoms");
  Value file = CreateAtomFile(path);
  fsk::Call(the_, RawAtom("first", 11), "write", file);
  fsk::Call(the_, RawAtom("second!", 12), "write", file);
  fsk::Call(the_, file, "setOffset", 0);

  Value read = fsk::New(the_, Path("xdb"), "RawAtom");
  fsk::Call(the_, read, "read", file);
  EXPECT_EQ(Word(read, "getSize"), 17);
  EXPECT_EQ(Word(read, "getType"), kRaw);
  EXPECT_EQ(Word(read, "getID"), 11);
  EXPECT_EQ(Payload(read), "first");

  Value fromFile = fsk::New(the_, Path("xdbAtom"), "AtomFromFile", file);
  EXPECT_EQ(Word(fromFile, "getSize"), 19);
  EXPECT_EQ(Word(fromFile, "getID"), 12);
  EXPECT_TRUE(fsk::IsInstanceOf(the_, fromFile, Path("xdbAtom.atom")));
  Value raw = fsk::New(the_, Path("xdb"), "RawAtom");
  fsk::Call(the_, raw, "swap", fromFile);
  EXPECT_EQ(Payload(raw), "second!");
  EXPECT_EQ(Integer(fsk::Call(the_, file, "getOffset")), 36);
}

struct StoredSizeCase {
  int32_t size;
  size_t restBytes;
};

TEST_F(XdbAtom, StoredSizesAreCheckedBeforeAnythingIsAllocated) {
  const StoredSizeCase cases[] = {
      {4, 8},            // below the header
      {8, 8},            // no room for the id
      {11, 8},           // no room for the id
      {0x7FFFFFF0, 8},   // far beyond the file
      {-16, 8},          // negative
      {21, 12},          // one byte beyond the file
  };
  for (const StoredSizeCase& test : cases) {
    Value atom = RawAtom("keep", 5);
    Value file = FileWithHeader(test.size, kRaw, Bytes(test.restBytes, 0x55));
    int64_t blocks = FskMemLiveBlocks();
    EXPECT_EQ(Raised([&] { fsk::Call(the_, atom, "read", file); }), EINVAL) << test.size;
    EXPECT_EQ(FskMemLiveBlocks(), blocks) << test.size;
    EXPECT_EQ(Payload(atom), "keep") << test.size;

    fsk::Call(the_, file, "setOffset", 0);
    EXPECT_EQ(Raised([&] { fsk::New(the_, Path("xdbAtom"), "AtomFromFile", file); }), EINVAL) << test.size;
    EXPECT_EQ(FskMemLiveBlocks(), blocks) << test.size;
    fsk::Call(the_, file, "close");
  }
}

TEST_F(XdbAtom, AFailedReadLeavesTheAtomAsItWas) {
  Value atom = RawAtom("keep", 5);
  Value file = FileWithHeader(20, kRaw, Bytes(12, 0x55));
  faults_.Add(testsupport::Fault(testsupport::SysCall::kRead, Dir("db").string()).Errno(EIO).AfterBytes(8));
  int64_t blocks = FskMemLiveBlocks();
  EXPECT_EQ(Raised([&] { fsk::Call(the_, atom, "read", file); }), EIO);
  EXPECT_EQ(FskMemLiveBlocks(), blocks);
  EXPECT_EQ(Payload(atom), "keep");
  EXPECT_EQ(Word(atom, "getSize"), 16);
}

TEST_F(XdbAtom, AllocationFailuresRaiseENOMEM) {
  Value chunk = NewChunk("abcd");
  FskMemFailNextAllocations(1);
  EXPECT_EQ(Raised([&] { fsk::New(the_, Path("xdb"), "RawAtom", chunk, 1); }), ENOMEM);
  FskMemFailNextAllocations(0);

  Value file = FileWithHeader(16, kRaw, Bytes(8, 0x41));
  FskMemFailNextAllocations(1);
  EXPECT_EQ(Raised([&] { fsk::New(the_, Path("xdbAtom"), "AtomFromFile", file); }), ENOMEM);
  FskMemFailNextAllocations(0);
}

TEST_F(XdbAtom, XmlAtomRoundTripsAnObjectThroughAFile) {
  Value object = fsk::NewObject(the_);
  fsk::Set(the_, object, "title", Value::String("Été 2009"));
  fsk::Set(the_, object, "count", Value::Integer(42));
  Value atom = fsk::New(the_, Path("xdb"), "XmlAtom", object, 5);
  EXPECT_EQ(Word(atom, "getType"), kXml);
  EXPECT_EQ(Word(atom, "getID"), 5);

  std::string path = FilePath("xml");
  Value file = CreateAtomFile(path);
  fsk::Call(the_, atom, "write", file);
  EXPECT_EQ(FileSize(path), Word(atom, "getSize"));
  fsk::Call(the_, file, "setOffset", 0);

  Value read = fsk::New(the_, Path("xdb"), "XmlAtom");
  fsk::Call(the_, read, "read", file);
  Value parsed = fsk::Call(the_, read, "makeObject", fsk::NewObject(the_));
  EXPECT_EQ(fsk::ToString(the_, fsk::Get(the_, parsed, "title")), "Été 2009");
  EXPECT_EQ(Integer(fsk::Get(the_, parsed, "count")), 42);
}

TEST_F(XdbAtom, XmlAtomMakeObjectChecksTypeAndGrammarCount) {
  Value object = fsk::NewObject(the_);
  fsk::Set(the_, object, "a", Value::Integer(1));
  Value atom = fsk::New(the_, Path("xdb"), "XmlAtom", object, 1);

  auto databaseWith = [&](int grammars) {
    Value database = fsk::NewObject(the_);
    Value list = fsk::New(the_, fsk::Global(the_), "Array");
    for (int i = 0; i < grammars; ++i) {
      fsk::SetAt(the_, list, i, fsk::NewObject(the_));
    }
    fsk::Set(the_, database, "grammars", list);
    fsk::Set(the_, database, "grammarFlag", Value::Integer(1));
    return database;
  };
  EXPECT_EQ(Integer(fsk::Get(the_, fsk::Call(the_, atom, "makeObject", databaseWith(8)), "a")), 1);
  EXPECT_TRUE(fsk::Call(the_, atom, "makeObject", databaseWith(9)).IsUndefined());

  fsk::Call(the_, atom, "setType", kRaw);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, atom, "makeObject", fsk::NewObject(the_)); }), EINVAL);

  // Something that cannot be written as XML builds nothing.
  EXPECT_EQ(Raised([&] { fsk::New(the_, Path("xdb"), "XmlAtom", Value::Integer(3)); }), xdbtest::kOtherError);
}

TEST_F(XdbAtom, CompressedKindsAreNotImplemented) {
  struct Case {
    const char* holder;
    const char* name;
    bool construct;
  };
  const Case cases[] = {
      {"xdb", "RawZAtom", true},
      {"xdb", "XmlZAtom", true},
      {"xdb.rawZAtom", "makeObject", false},
      {"xdb.xmlZAtom", "makeObject", false},
  };
  for (const Case& test : cases) {
    try {
      if (test.construct) {
        fsk::New(the_, Path(test.holder), test.name, NewChunk("abc"), 1);
      } else {
        fsk::Call(the_, Path(test.holder), test.name, fsk::NewObject(the_));
      }
      ADD_FAILURE() << test.name << " did not throw";
    } catch (const FskException& error) {
      Value thrown(error.Value());
      EXPECT_EQ(fsk::ToString(the_, fsk::Get(the_, thrown, "name")), "Error") << test.name;
      EXPECT_EQ(fsk::ToString(the_, fsk::Get(the_, thrown, "message")), "Compressed database not implemented!")
          << test.name;
    }
  }
}

}  // namespace
