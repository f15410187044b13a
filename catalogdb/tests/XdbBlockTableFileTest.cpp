#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/grammarext/CatalogExtSupport.h"
#include "catalogdb/tests/XdbExtFixture.h"

namespace {

using fsk::Value;
using xdbtest::Bytes;
namespace names = CatalogGrammarNames;

constexpr int64_t kCacheLineOffset = 100;

class XdbCacheLine : public xdbtest::XdbExtFixture {};

TEST_F(XdbCacheLine, ContainsComparesUnsignedSpans) {
  Bytes memory(10, 0);
  Value line = NewLine(memory.data(), kCacheLineOffset, 10);
  struct Case {
    int64_t start;
    int64_t length;
    int64_t answer;
  };
  const std::vector<Case> cases{
      {100, 10, 1}, {110, 5, 0},  {105, 10, -1}, {95, 10, -1}, {90, 10, 0}, {101, 2, 1},
      {109, 1, 1},  {100, 0, 1},  {95, 20, -1},
      // -1 is 0xFFFFFFFF as an unsigned bound: far after the line.
      {-1, 1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Integer(fsk::Call(the_, line, "contains", c.start, c.length)), c.answer) << c.start << "+" << c.length;
  }
}

TEST_F(XdbCacheLine, PointerReadAndWriteGoThroughTheAtomFile) {
  std::string path = FilePath("lines");
  Bytes content(64);
  for (size_t i = 0; i < content.size(); ++i) {
    content[i] = static_cast<uint8_t>(i);
  }
  WriteFile(path, content);
  Value file = NewAtomFile();
  fsk::Call(the_, file, "open", path);

  Bytes memory(16, 0);
  Value line = NewLine(memory.data(), 8, 16, file);
  EXPECT_EQ(Integer(fsk::Call(the_, line, "pointer")), Address(memory.data()));
  EXPECT_EQ(Integer(fsk::Call(the_, line, "getPointer")), Address(memory.data()));
  fsk::Call(the_, line, "read");
  EXPECT_EQ(memory, Bytes(content.begin() + 8, content.begin() + 24));

  std::fill(memory.begin(), memory.end(), 0xAB);
  fsk::Call(the_, line, "_write");
  Bytes expected = content;
  std::fill(expected.begin() + 8, expected.begin() + 24, 0xAB);
  EXPECT_EQ(FileBytes(path), expected);

  // A line without memory refuses to move data.
  Value empty = NewLine(nullptr, 0, 16, file);
  EXPECT_EQ(Integer(fsk::Call(the_, empty, "pointer")), 0);
  EXPECT_TRUE(RaisedNative([&] { fsk::Call(the_, empty, "read"); }, xdbtest::kIllegalDB));
}

// A block file object of a kind, with every header property set.
class XdbBlockTableFile : public xdbtest::XdbExtFixture {
 protected:
  Value NewFile(const char* kind) {
    Value file = fsk::NewInstanceOf(the_, Path(kind));
    const std::vector<std::pair<const char*, int64_t>> properties{
        {"dataSize", 1}, {"type", xdbtest::TypeCode("XDBI")}, {"major", 1}, {"minor", 0},
        {"blockSize", 512}, {"blockCount", 7}, {"freeBlock", 0}, {"dirty", 0}};
    for (const auto& [name, value] : properties) {
      fsk::Set(the_, file, name, Value::Integer(value));
    }
    return file;
  }

  static int64_t Word(const Bytes& bytes, size_t at) { return CatalogLoadLittle32(bytes.data() + at); }

  bool Pack(const Value& file, Bytes& header, int64_t offset) {
    return fsk::ToBoolean(the_, fsk::Call(the_, file, "packHeader", Address(header.data()), offset));
  }

  bool SubPack(const Value& file, Bytes& header) {
    return fsk::ToBoolean(the_, fsk::Call(the_, file, "subPackHeader", Address(header.data())));
  }
};

TEST_F(XdbBlockTableFile, HeaderSizesByKind) {
  const std::vector<std::pair<const char*, int64_t>> kinds{
      {names::kExtBlockTableFile, 64}, {names::kExtIndex, 96},     {names::kExtIdsIndex, 96},
      {names::kExtBitmapIndex, 96},    {names::kExtDcfIndex, 96},  {names::kExtDateIndex, 96},
      {names::kExtDatabaseID, 96},     {names::kExtData, 64},      {names::kExtHelper, 128}};
  for (const auto& [kind, size] : kinds) {
    EXPECT_EQ(Integer(fsk::Call(the_, Path(kind), "getHeaderSize")), size) << kind;
  }
}

TEST_F(XdbBlockTableFile, PackHeaderWritesTheBaseFieldsAndTellsAChange) {
  Value file = NewFile(names::kExtBlockTableFile);
  Bytes header(64, 0xCC);
  EXPECT_TRUE(Pack(file, header, 64));
  EXPECT_EQ(Word(header, 0), 1);
  EXPECT_EQ(Word(header, 4), xdbtest::TypeCode("XDBI"));
  EXPECT_EQ(Word(header, 8), 1);
  EXPECT_EQ(Word(header, 16), 64);
  EXPECT_EQ(Word(header, 20), 512);
  EXPECT_EQ(Word(header, 24), 7);
  EXPECT_EQ(Word(header, 32), 0);
  EXPECT_EQ(Bytes(header.begin() + 36, header.end()), Bytes(28, 0));

  // Identical contents: no change, the bytes stay.
  Bytes before = header;
  EXPECT_FALSE(Pack(file, header, 64));
  EXPECT_EQ(header, before);

  fsk::Set(the_, file, "dirty", Value::Integer(1));
  EXPECT_TRUE(Pack(file, header, 64));
  EXPECT_EQ(Word(header, 32), 1);

  // A missing offset argument packs 0.
  fsk::Call(the_, file, "packHeader", Address(header.data()));
  EXPECT_EQ(Word(header, 16), 0);
}

TEST_F(XdbBlockTableFile, UnpackHeaderSetsTheNineProperties) {
  Value file = NewFile(names::kExtBlockTableFile);
  Bytes header(64, 0);
  Pack(file, header, 96);
  CatalogStoreLittle32(header.data() + 28, 3);
  CatalogStoreLittle32(header.data() + 0, 0xFFFFFFFF);
  Value other = fsk::NewInstanceOf(the_, Path(names::kExtBlockTableFile));
  fsk::Call(the_, other, "unpackHeader", Address(header.data()));
  EXPECT_EQ(Integer(fsk::Get(the_, other, "dataSize")), -1);
  EXPECT_EQ(Integer(fsk::Get(the_, other, "type")), xdbtest::TypeCode("XDBI"));
  EXPECT_EQ(Integer(fsk::Get(the_, other, "offset")), 96);
  EXPECT_EQ(Integer(fsk::Get(the_, other, "blockSize")), 512);
  EXPECT_EQ(Integer(fsk::Get(the_, other, "blockCount")), 7);
  EXPECT_EQ(Integer(fsk::Get(the_, other, "freeBlock")), 3);
  EXPECT_EQ(Integer(fsk::Get(the_, other, "dirty")), 0);
}

TEST_F(XdbBlockTableFile, WriteHeaderMarksTheLineOnceWhenAnythingChanged) {
  Value file = NewFile(names::kExtIdsIndex);
  fsk::Set(the_, file, "topBlock", Value::Integer(5));
  Bytes memory(96, 0);
  auto changes = std::make_shared<int>(0);
  Value line = NewLine(memory.data(), 0, 96, Value(), changes);
  fsk::Call(the_, file, "writeHeader", line, 96);
  EXPECT_EQ(*changes, 1);
  EXPECT_EQ(Word(memory, 64), 5);
  fsk::Call(the_, file, "writeHeader", line, 96);
  EXPECT_EQ(*changes, 1);

  // A change of the base header alone, and of the extension alone.
  fsk::Set(the_, file, "dirty", Value::Integer(1));
  fsk::Call(the_, file, "writeHeader", line, 96);
  EXPECT_EQ(*changes, 2);
  fsk::Set(the_, file, "topBlock", Value::Integer(6));
  fsk::Call(the_, file, "writeHeader", line, 96);
  EXPECT_EQ(*changes, 3);

  Value copy = fsk::NewInstanceOf(the_, Path(names::kExtIdsIndex));
  fsk::Call(the_, copy, "readHeader", line);
  EXPECT_EQ(Integer(fsk::Get(the_, copy, "topBlock")), 6);
  EXPECT_EQ(Integer(fsk::Get(the_, copy, "dirty")), 1);
  EXPECT_EQ(Integer(fsk::Get(the_, copy, "offset")), 96);

  // A plain block file has no extension to move.
  Value plain = NewFile(names::kExtBlockTableFile);
  Bytes small(64, 0);
  auto plainChanges = std::make_shared<int>(0);
  Value plainLine = NewLine(small.data(), 0, 64, Value(), plainChanges);
  fsk::Call(the_, plain, "writeHeader", plainLine, 64);
  fsk::Call(the_, plain, "readHeader", plainLine);
  EXPECT_EQ(*plainChanges, 1);
  EXPECT_EQ(Integer(fsk::Get(the_, plain, "offset")), 64);
}

TEST_F(XdbBlockTableFile, DatabaseIDKeepsMaxIDAndAnUnsignedCounter) {
  Value file = NewFile(names::kExtDatabaseID);
  fsk::Set(the_, file, "maxID", Value::Integer(40000));
  fsk::Set(the_, file, "counter", Value::Number(4294967295.0));
  Bytes header(96, 0);
  EXPECT_TRUE(SubPack(file, header));
  EXPECT_FALSE(SubPack(file, header));
  EXPECT_EQ(Word(header, 64), 40000);
  EXPECT_EQ(Word(header, 68), 0xFFFFFFFF);
  fsk::Set(the_, file, "counter", Value::Integer(7));
  EXPECT_TRUE(SubPack(file, header));

  CatalogStoreLittle32(header.data() + 68, 0xFFFFFFFF);
  Value copy = fsk::NewInstanceOf(the_, Path(names::kExtDatabaseID));
  fsk::Call(the_, copy, "subUnpackHeader", Address(header.data()));
  EXPECT_EQ(Integer(fsk::Get(the_, copy, "counter")), INT64_C(4294967295));
  EXPECT_EQ(Integer(fsk::Get(the_, copy, "maxID")), 40000);
}

TEST_F(XdbBlockTableFile, HelperKeepsTheVersionItWasCreatedWith) {
  Value helper = NewFile(names::kExtHelper);
  fsk::Set(the_, helper, "flushing", Value::Integer(0));
  fsk::Set(the_, helper, "rolling", Value::Integer(0));
  Value entries = fsk::New(the_, fsk::Global(the_), "Array");
  for (int32_t i = 0; i < 8; ++i) {
    fsk::SetAt(the_, entries, i, Value::Integer(i == 7 ? INT64_C(0xFFFFFFFF) : i * 10));
  }
  fsk::Set(the_, helper, "userData", entries);

  // A stored 0 takes this.version (the constant 10000 here).
  Bytes header(128, 0);
  EXPECT_TRUE(SubPack(helper, header));
  EXPECT_EQ(Word(header, 72), 10000);
  EXPECT_EQ(Word(header, 76 + 4), 10);
  EXPECT_EQ(Word(header, 76 + 28), 0xFFFFFFFF);
  EXPECT_FALSE(SubPack(helper, header));

  // A stored version stays whatever this.version says.
  fsk::Set(the_, helper, "version", Value::Integer(20000));
  EXPECT_FALSE(SubPack(helper, header));
  EXPECT_EQ(Word(header, 72), 10000);
  Bytes fresh(128, 0);
  EXPECT_TRUE(SubPack(helper, fresh));
  EXPECT_EQ(Word(fresh, 72), 20000);

  fsk::Set(the_, helper, "rolling", Value::Integer(1));
  EXPECT_TRUE(SubPack(helper, header));
  fsk::SetAt(the_, entries, 3, Value::Integer(99));
  EXPECT_TRUE(SubPack(helper, header));

  Value copy = fsk::NewInstanceOf(the_, Path(names::kExtHelper));
  fsk::Call(the_, copy, "subUnpackHeader", Address(header.data()));
  EXPECT_EQ(Integer(fsk::Get(the_, copy, "version")), 10000);
  EXPECT_EQ(Integer(fsk::Get(the_, copy, "rolling")), 1);
  Value read = fsk::Get(the_, copy, "userData");
  EXPECT_EQ(Integer(fsk::GetAt(the_, read, 3)), 99);
  EXPECT_EQ(Integer(fsk::GetAt(the_, read, 7)), INT64_C(0xFFFFFFFF));
}

}  // namespace
