#include "platform/value/XpIniElement.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs/XpFile.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniMemChunk.h"
#include "platform/value/XpIniScalar.h"

namespace {

std::unique_ptr<::XpIniElement> Make(XpIniType type, const XpIniValue& value = {}) {
  ::XpIniElement* element = nullptr;
  EXPECT_EQ(::XpIniElement::Create(type, &element, value), kXpOk) << type;
  return std::unique_ptr<::XpIniElement>(element);
}

std::string Text(const ::XpIniElement& element) {
  XpString text;
  EXPECT_EQ(element.GetString(&text), kXpOk);
  return std::string(text.ToMultiByte().View());
}

std::vector<uint8_t> Counting(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<uint8_t>(i + 1);
  }
  return bytes;
}

std::vector<uint8_t> Contents(XpMemoryFile& file) {
  const auto* data = static_cast<const uint8_t*>(file.GetBuffer());
  return data == nullptr ? std::vector<uint8_t>()
                         : std::vector<uint8_t>(data, data + file.GetSize());
}

std::vector<uint8_t> ChunkBytes(const ::XpIniElement& chunk) {
  XpMemoryFile out;
  EXPECT_EQ(chunk.GetMemChunk(&out), kXpOk);
  return Contents(out);
}

// A memory file holding bytes, owned by the file.
std::unique_ptr<XpMemoryFile> Source(const std::vector<uint8_t>& bytes) {
  auto file = std::make_unique<XpMemoryFile>();
  uint64_t done = 0;
  EXPECT_EQ(file->Write(bytes.data(), bytes.size(), &done), kXpOk);
  return file;
}

class ElementFixture : public testsupport::HermeticTest {};
// Suite name of the value tree's element tests.
using XpIniElement = ElementFixture;

TEST_F(XpIniElement, CreateGivesEachTypeItsInitialValue) {
  const auto boolean = Make(kXpIniTypeBool, 5);
  bool flag = false;
  EXPECT_EQ(boolean->GetBool(&flag), kXpOk);
  EXPECT_TRUE(flag);
  EXPECT_EQ(Make(kXpIniTypeBool, false)->GetBool(&flag), kXpOk);
  EXPECT_FALSE(flag);

  const auto integer = Make(kXpIniTypeInt, int64_t{-5000000000});
  int64_t number = 0;
  EXPECT_EQ(integer->GetInt64(&number), kXpOk);
  EXPECT_EQ(number, -5000000000);

  const auto real = Make(kXpIniTypeReal, 7);
  double value = 1.0;
  EXPECT_EQ(real->GetReal(&value), kXpOk);
  EXPECT_EQ(value, 0.0);

  EXPECT_EQ(Text(*Make(kXpIniTypeString, u"text")), "text");
  EXPECT_EQ(Text(*Make(kXpIniTypeString, XpString(u"held"))), "held");
  EXPECT_EQ(Text(*Make(kXpIniTypeString, nullptr)), "");
  EXPECT_EQ(Text(*Make(kXpIniTypeString)), "");

  XpDateTime date(2006, 1, 2, 3, 4, 5);
  EXPECT_EQ(Make(kXpIniTypeDate, 1)->GetDate(&date), kXpOk);
  EXPECT_FALSE(date.IsValid());
  EXPECT_EQ(date.GetValue(), 0.0);

  EXPECT_EQ(ChunkBytes(*Make(kXpIniTypeMemChunk)), std::vector<uint8_t>());
  EXPECT_EQ(Make(kXpIniTypeArray)->GetCount(), 0);
  EXPECT_EQ(Make(kXpIniTypeDict)->GetCount(), 0);

  for (XpIniType type = kXpIniTypeBool; type <= kXpIniTypeDict; ++type) {
    EXPECT_EQ(Make(type)->GetType(), type);
  }
}

TEST_F(XpIniElement, CreateRefusesUnknownTypes) {
  const auto earlier = Make(kXpIniTypeBool);
  for (XpIniType type : {8, -1, 100}) {
    ::XpIniElement* element = earlier.get();  // not null before the call
    EXPECT_EQ(::XpIniElement::Create(type, &element, u"x"), kXpErrValueUnknownType) << type;
    EXPECT_EQ(element, nullptr) << type;
  }
  EXPECT_EQ(::XpIniElement::Create(kXpIniTypeInt, nullptr), kXpErrBadArgument);
}

TEST_F(XpIniElement, Int32ReadingKeepsTheLowWordAndFlagsOverflow) {
  const struct {
    int64_t value;
    XpResult result;
    int32_t low;
  } cases[] = {
      {2147483647, kXpOk, 2147483647},
      {-2147483648LL, kXpOk, -2147483647 - 1},
      {2147483648LL, kXpErrValueNotInt32, -2147483647 - 1},
      {-2147483649LL, kXpErrValueNotInt32, 2147483647},
      {4294967296LL + 5, kXpErrValueNotInt32, 5},
  };
  for (const auto& c : cases) {
    const auto element = Make(kXpIniTypeInt, c.value);
    int32_t low = 1;
    EXPECT_EQ(element->GetInt32(&low), c.result) << c.value;
    EXPECT_EQ(low, c.low) << c.value;
  }
}

TEST_F(XpIniElement, SettersReplaceTheValue) {
  const auto boolean = std::make_unique<XpIniBool>();
  bool flag = false;
  ASSERT_EQ(boolean->SetBool(true), kXpOk);
  ASSERT_EQ(boolean->GetBool(&flag), kXpOk);
  EXPECT_TRUE(flag);

  const auto integer = Make(kXpIniTypeInt);
  int64_t number = 0;
  ASSERT_EQ(integer->SetInt64(INT64_MIN), kXpOk);
  ASSERT_EQ(integer->GetInt64(&number), kXpOk);
  EXPECT_EQ(number, INT64_MIN);

  const auto real = Make(kXpIniTypeReal);
  double value = 0;
  ASSERT_EQ(real->SetReal(-0.25), kXpOk);
  ASSERT_EQ(real->GetReal(&value), kXpOk);
  EXPECT_EQ(value, -0.25);

  const auto text = Make(kXpIniTypeString, u"old");
  ASSERT_EQ(text->SetString(u"new"), kXpOk);
  EXPECT_EQ(Text(*text), "new");
  ASSERT_EQ(text->SetString(nullptr), kXpOk);
  EXPECT_EQ(Text(*text), "");

  const auto date = Make(kXpIniTypeDate);
  XpDateTime read;
  ASSERT_EQ(date->SetDate(XpDateTime(2006, 1, 2, 3, 4, 5)), kXpOk);
  ASSERT_EQ(date->GetDate(&read), kXpOk);
  EXPECT_TRUE(read.IsValid());
  EXPECT_EQ(read.GetDay(), 2);
  EXPECT_EQ(read.GetSecond(), 5);
  // The valid flag goes along too.
  ASSERT_EQ(date->SetDate(XpDateTime()), kXpOk);
  ASSERT_EQ(date->GetDate(&read), kXpOk);
  EXPECT_FALSE(read.IsValid());

  EXPECT_EQ(integer->GetInt64(nullptr), kXpErrBadArgument);
  EXPECT_EQ(text->GetString(nullptr), kXpErrBadArgument);
}

TEST_F(XpIniElement, ScalarsRefuseWhatTheirTypeDoesNot) {
  const auto integer = Make(kXpIniTypeInt, 1);
  XpString text;
  double real = 0;
  bool flag = false;
  XpDateTime date;
  XpMemoryFile file;
  EXPECT_EQ(integer->GetString(&text), kXpErrValueNotSupported);
  EXPECT_EQ(integer->GetReal(&real), kXpErrValueNotSupported);
  EXPECT_EQ(integer->GetBool(&flag), kXpErrValueNotSupported);
  EXPECT_EQ(integer->GetDate(&date), kXpErrValueNotSupported);
  EXPECT_EQ(integer->GetMemChunk(&file), kXpErrValueNotSupported);
  EXPECT_EQ(integer->SetString(u"x"), kXpErrValueNotSupported);
  EXPECT_EQ(integer->SetMemChunk(&file, 0, -1), kXpErrValueNotSupported);
  EXPECT_EQ(integer->Add(u"a", kXpIniTypeInt), kXpErrValueNotSupported);
  EXPECT_EQ(integer->InsertAt(0, kXpIniTypeInt), kXpErrValueNotSupported);
  EXPECT_EQ(integer->Remove(u"a"), kXpErrValueNotSupported);
  EXPECT_EQ(integer->RemoveAt(0), kXpErrValueNotSupported);
  EXPECT_EQ(integer->Find(u"a"), nullptr);
  EXPECT_EQ(integer->GetAt(0), nullptr);
  EXPECT_EQ(integer->GetCount(), 0);

  const auto string = Make(kXpIniTypeString, u"s");
  int64_t number = 0;
  EXPECT_EQ(string->GetInt64(&number), kXpErrValueNotSupported);
  EXPECT_EQ(string->SetInt64(1), kXpErrValueNotSupported);
  EXPECT_EQ(string->SetReal(1.0), kXpErrValueNotSupported);
  EXPECT_EQ(string->SetDate(XpDateTime()), kXpErrValueNotSupported);
}

TEST_F(XpIniElement, MemChunkTakesTheBytesItIsGiven) {
  const std::vector<uint8_t> bytes = Counting(25);
  const struct {
    int64_t offset;
    int64_t length;
    XpResult result;
    size_t first;
    size_t count;
  } cases[] = {
      {10, XpIniMemChunk::kToEnd, kXpOk, 10, 15},
      {0, XpIniMemChunk::kToEnd, kXpOk, 0, 25},
      {25, XpIniMemChunk::kToEnd, kXpOk, 25, 0},
      {3, 4, kXpOk, 3, 4},
      {5, 0, kXpOk, 5, 0},
      // Fewer bytes than asked: the chunk keeps what came.
      {20, 10, kXpErrEndOfFile, 20, 5},
      {40, 10, kXpErrEndOfFile, 0, 0},
  };
  for (const auto& c : cases) {
    const auto source = Source(bytes);
    const auto chunk = Make(kXpIniTypeMemChunk);
    ASSERT_EQ(chunk->SetMemChunk(source.get(), 0, 3), kXpOk);  // replaced below
    EXPECT_EQ(chunk->SetMemChunk(source.get(), c.offset, c.length), c.result) << c.offset;
    const std::vector<uint8_t> expected(bytes.begin() + static_cast<long>(c.first),
                                        bytes.begin() + static_cast<long>(c.first + c.count));
    EXPECT_EQ(ChunkBytes(*chunk), expected) << c.offset << "+" << c.length;
  }
}

TEST_F(XpIniElement, MemChunkRefusesNegativeLengthsAndStaysUnchanged) {
  const auto source = Source(Counting(25));
  const auto chunk = Make(kXpIniTypeMemChunk);
  ASSERT_EQ(chunk->SetMemChunk(source.get(), 1, 2), kXpOk);
  const struct {
    int64_t offset;
    int64_t length;
  } cases[] = {{30, XpIniMemChunk::kToEnd}, {0, -2}, {0, INT64_MIN}};
  for (const auto& c : cases) {
    EXPECT_EQ(chunk->SetMemChunk(source.get(), c.offset, c.length), kXpErrBadArgument)
        << c.offset << "+" << c.length;
    EXPECT_EQ(ChunkBytes(*chunk), (std::vector<uint8_t>{2, 3}));
  }
  EXPECT_EQ(chunk->SetMemChunk(source.get(), -1, 2), kXpErrBadArgument);  // the seek's
  EXPECT_EQ(chunk->SetMemChunk(nullptr, 0, 2), kXpErrBadArgument);
  EXPECT_EQ(ChunkBytes(*chunk), (std::vector<uint8_t>{2, 3}));
}

TEST_F(XpIniElement, MemChunkFromAShortFileKeepsOnlyTheBytesRead) {
  const std::filesystem::path path = Root() / "source";
  fstest::WriteBytes(path, "0123456789abcdefghijklmno");
  XpFile source(fstest::ToXp(path));
  ASSERT_EQ(source.Open(kXpOpenRead), kXpOk);
  const auto chunk = Make(kXpIniTypeMemChunk);
  EXPECT_EQ(chunk->SetMemChunk(&source, 20, 10), kXpErrEndOfFile);
  EXPECT_EQ(ChunkBytes(*chunk), (std::vector<uint8_t>{'k', 'l', 'm', 'n', 'o'}));
  EXPECT_EQ(chunk->SetMemChunk(&source, 10, XpIniMemChunk::kToEnd), kXpOk);
  EXPECT_EQ(ChunkBytes(*chunk).size(), 15u);
}

TEST_F(XpIniElement, GetMemChunkReplacesTheDestination) {
  const auto source = Source(Counting(25));
  const auto chunk = Make(kXpIniTypeMemChunk);
  ASSERT_EQ(chunk->SetMemChunk(source.get(), 22, XpIniMemChunk::kToEnd), kXpOk);

  XpMemoryFile memory;
  const std::vector<uint8_t> old(40, 0xEE);
  ASSERT_EQ(memory.Write(old.data(), old.size(), nullptr), kXpOk);
  EXPECT_EQ(chunk->GetMemChunk(&memory), kXpOk);
  EXPECT_EQ(Contents(memory), (std::vector<uint8_t>{23, 24, 25}));

  const std::filesystem::path path = Root() / "destination";
  fstest::WriteBytes(path, "old contents that are longer");
  XpFile file(fstest::ToXp(path));
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  ASSERT_EQ(file.Seek(0, kXpSeekEnd), kXpOk);
  EXPECT_EQ(chunk->GetMemChunk(&file), kXpOk);
  ASSERT_EQ(file.Close(), kXpOk);
  EXPECT_EQ(fstest::ReadBytes(path), std::string("\x17\x18\x19"));

  // An empty chunk empties the destination.
  const auto empty = Make(kXpIniTypeMemChunk);
  ASSERT_EQ(empty->SetMemChunk(source.get(), 0, 0), kXpOk);
  EXPECT_EQ(empty->GetMemChunk(&memory), kXpOk);
  EXPECT_EQ(memory.GetSize(), 0);
  EXPECT_EQ(Make(kXpIniTypeMemChunk)->GetMemChunk(&memory), kXpOk);
  EXPECT_EQ(chunk->GetMemChunk(nullptr), kXpErrBadArgument);
}

}  // namespace
