#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbBlockFile.h"
#include "outside/fsk/tests/XdbBlockStoreFixture.h"
#include "platform/result/XpResult.h"

namespace {

using fsk::Value;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kType = 0x58444958;  // "XDIX"
constexpr char kIdsIndex[] = "CatalogGrammarExt.idsIndex";

// Named as the class it tests; the class itself is ::XdbBlockFile here.
class XdbBlockFile : public xdbtest::XdbBlockStoreFixture {
 protected:
  // Writes bytes (an even count) into block number of file, word by word.
  void Fill(::XdbBlockFile& file, int64_t number, const Bytes& bytes) {
    XpResult result = file.WithBlock(number, [&](const Value& block, int64_t) {
      for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        fsk::Call(the_, block, "setWord", static_cast<int64_t>(i / 2), bytes[i] | (bytes[i + 1] << 8));
      }
    });
    ASSERT_EQ(result, kXpOk);
  }

  Bytes Read(::XdbBlockFile& file, int64_t number, int64_t count) {
    Bytes bytes;
    EXPECT_EQ(file.WithBlock(number,
                             [&](const Value& block, int64_t) {
                               for (int64_t i = 0; i < count; ++i) {
                                 int64_t word = fsk::ToInteger(the_, fsk::Call(the_, block, "getWord", i / 2));
                                 bytes.push_back(static_cast<uint8_t>(i % 2 == 0 ? word : word >> 8));
                               }
                             }),
              kXpOk);
    return bytes;
  }
};

TEST_F(XdbBlockFile, BlocksAreAppendedInPagesAndWrittenByEachOperation) {
  std::string path = FilePath("index");
  ::XdbBlockFile file(the_, kIdsIndex, kType);
  ASSERT_EQ(file.Create(path), kXpOk);
  EXPECT_EQ(file.BlockSize(), 512);
  EXPECT_EQ(file.BlocksPerPage(), 64);
  // The header alone: 96 bytes with offset 96 and no blocks.
  Bytes bytes = FileBytes(path);
  ASSERT_EQ(bytes.size(), 96U);
  EXPECT_EQ(Word(bytes, 4), static_cast<uint32_t>(kType));
  EXPECT_EQ(Word(bytes, 8), 1U);
  EXPECT_EQ(Word(bytes, 16), 96U);
  EXPECT_EQ(Word(bytes, 20), 512U);

  ASSERT_EQ(file.Append(65), kXpOk);
  Fill(file, 64, {1, 2, 3, 4});
  bytes = FileBytes(path);
  EXPECT_EQ(bytes.size(), 96U + 2U * 64U * 512U);
  EXPECT_EQ(Word(bytes, 24), 65U);
  EXPECT_EQ(Word(bytes, 96 + 64 * 512), 0x04030201U);
  EXPECT_EQ(file.WithBlock(65, [](const Value&, int64_t) {}), kXpErrBadArgument);
  EXPECT_EQ(file.Append(-1), kXpErrBadArgument);

  // The header's topBlock through its properties.
  ASSERT_EQ(file.UpdateHeader([&] { fsk::Set(the_, file.Object(), "topBlock", Value::Integer(9)); }), kXpOk);
  EXPECT_EQ(Word(FileBytes(path), 64), 9U);
  ASSERT_EQ(file.Close(), kXpOk);

  ::XdbBlockFile again(the_, kIdsIndex, kType);
  ASSERT_EQ(again.Open(path), kXpOk);
  EXPECT_EQ(again.BlockCount(), 65);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, again.Object(), "topBlock")), 9);
  EXPECT_EQ(Read(again, 64, 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(again.Close(), kXpOk);
}

TEST_F(XdbBlockFile, RangeOperationsAreCheckedAgainstBothBlocks) {
  ::XdbBlockFile file(the_, kIdsIndex, kType);
  ASSERT_EQ(file.Create(FilePath("index")), kXpOk);
  ASSERT_EQ(file.Append(2), kXpOk);
  Fill(file, 0, {0x12, 0x34, 0x56, 0x78});
  Fill(file, 1, {0xFF, 0xFF, 0xFF, 0xFF});

  using Range = ::XdbBlockFile::Range;
  ASSERT_EQ(file.CombineRange(Range::kCopyBits, 0, 0, 1, 0, 12), kXpOk);
  EXPECT_EQ(Read(file, 1, 4), (Bytes{0x12, 0x04, 0xFF, 0xFF}));
  ASSERT_EQ(file.CombineRange(Range::kOr, 0, 2, 1, 2, 2), kXpOk);
  EXPECT_EQ(Read(file, 1, 4), (Bytes{0x12, 0x04, 0xFF, 0xFF}));
  ASSERT_EQ(file.CombineRange(Range::kCopy, 0, 2, 1, 510, 2), kXpOk);
  EXPECT_EQ(Read(file, 1, 2), (Bytes{0x12, 0x04}));

  // Spans that leave a block are refused with nothing changed.
  struct Case {
    Range range;
    int64_t sourceOffset;
    int64_t destinationOffset;
    int64_t count;
  };
  for (const Case& c : std::vector<Case>{{Range::kCopy, 0, 511, 2},
                                         {Range::kCopy, 511, 0, 2},
                                         {Range::kCopyBits, 0, 511, 9},
                                         {Range::kAndBits, 0, 448, 513},
                                         {Range::kOr, -4, 0, 4},
                                         {Range::kAnd, 0, 0, -1},
                                         {Range::kOrBits, 0, 0, 512 * 8 + 1}}) {
    EXPECT_EQ(file.CombineRange(c.range, 0, c.sourceOffset, 1, c.destinationOffset, c.count), kXpErrBadArgument)
        << c.sourceOffset << " " << c.destinationOffset << " " << c.count;
  }
  EXPECT_EQ(file.CombineRange(Range::kCopy, 0, 0, 2, 0, 1), kXpErrBadArgument);
  EXPECT_EQ(Read(file, 1, 4), (Bytes{0x12, 0x04, 0xFF, 0xFF}));
  EXPECT_EQ(file.Close(), kXpOk);
}

TEST_F(XdbBlockFile, OpenRefusesFilesThatDoNotFitTheKind) {
  std::string path = FilePath("index");
  {
    ::XdbBlockFile file(the_, kIdsIndex, kType);
    ASSERT_EQ(file.Create(path), kXpOk);
    ASSERT_EQ(file.Append(3), kXpOk);
    EXPECT_EQ(file.Create(path), kXpErrAlreadyOpen);
  }
  ::XdbBlockFile otherType(the_, kIdsIndex, kType + 1);
  EXPECT_EQ(otherType.Open(path), kXpErrInvalidFile);
  EXPECT_FALSE(otherType.IsOpen());
  ::XdbBlockFile otherKind(the_, "CatalogGrammarExt.dcfIndex", kType);
  EXPECT_EQ(otherKind.Open(path), kXpErrInvalidFile);

  // A file cut inside its pages.
  std::filesystem::resize_file(path, 96 + 100);
  ::XdbBlockFile cut(the_, kIdsIndex, kType);
  EXPECT_EQ(cut.Open(path), kXpErrInvalidFile);
  EXPECT_EQ(cut.Close(), kXpErrNotOpen);
}

}  // namespace
