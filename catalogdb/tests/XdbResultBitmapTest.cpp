#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/tests/XdbResultFixture.h"
#include "fsk/FskTrace.h"

namespace {

using fsk::Value;
using xdbtest::Bytes;
using xdbtest::XdbResultFixture;

class XdbResultBitmap : public XdbResultFixture {};

TEST_F(XdbResultBitmap, AddRemoveTestAndCount) {
  Value result = NewResult(NewBits(100));
  EXPECT_EQ(Count(result), 0);
  fsk::Call(the_, result, "addID", 5);
  fsk::Call(the_, result, "addID", 5);
  EXPECT_EQ(Count(result), 1);
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, result, "testID", 5)));
  EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Call(the_, result, "testID", 6)));
  EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Call(the_, result, "testID", 5000)));
  EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Call(the_, result, "testID", -1)));
  fsk::Call(the_, result, "removeID", 5);
  fsk::Call(the_, result, "removeID", 5000);
  EXPECT_EQ(Count(result), 0);
  EXPECT_EQ(invalidations_, 4);
}

TEST_F(XdbResultBitmap, AddAboveMaxIDAdjusts) {
  Value data = NewBits(100);
  Value result = NewResult(data);
  fsk::Call(the_, result, "addID", 40000);
  EXPECT_EQ(BitsOf(data).maxID, 40000);
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, result, "testID", 40000)));
  EXPECT_EQ(Count(result), 1);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, result, "addID", -2); }), EINVAL);
}

TEST_F(XdbResultBitmap, CapacityFollowsMaxID) {
  Value data = NewBits(100);
  EXPECT_EQ(BitsOf(data).capacity, 32);
  EXPECT_EQ(BitsOf(data).maxID, 100);
  fsk::Call(the_, data, "adjust", 300);
  EXPECT_EQ(BitsOf(data).capacity, 64);
  EXPECT_EQ(BitsOf(data).maxID, 300);
  // Words beyond the old capacity come in as 0.
  EXPECT_EQ(Words(data), std::vector<uint32_t>(10, 0));
  fsk::Call(the_, data, "adjust", 200);
  EXPECT_EQ(BitsOf(data).capacity, 64);
  EXPECT_EQ(BitsOf(data).maxID, 200);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, data, "adjust", -1); }), EINVAL);
}

TEST_F(XdbResultBitmap, CountStopsAtMaxID) {
  Value data = NewBits(40);
  Value result = NewResult(data);
  SetWords(data, {0xFFFFFFFFu, 0xFFFFFFFFu});
  // IDs 0 to 40: 32 + 9.
  EXPECT_EQ(Count(result), 41);
}

TEST_F(XdbResultBitmap, NotOfEmptySmallerBitmapLeavesAllOnes) {
  Value self = NewBits(200);
  Value result = NewResult(self);
  fsk::Call(the_, result, "_not", NewBits(10));
  EXPECT_EQ(Words(self), std::vector<uint32_t>(7, 0xFFFFFFFFu));
  EXPECT_EQ(Count(result), 201);
}

TEST_F(XdbResultBitmap, NotInvertsTheCommonWords) {
  Value self = NewBits(95);
  Value a = NewBits(63);
  SetWords(a, {0x0000FFFFu, 0x1u});
  Value result = NewResult(self);
  fsk::Call(the_, result, "_not", a);
  EXPECT_EQ(Words(self), (std::vector<uint32_t>{0xFFFF0000u, 0xFFFFFFFEu, 0xFFFFFFFFu}));
}

// Bitmaps of 1, 2 and 3 words; each operand's words are distinct.
struct WordCase {
  const char* name;
  std::vector<uint32_t> self, a, b;
  std::vector<uint32_t> expectedAnd, expectedOr;
};

int64_t MaxIDFor(size_t words) { return static_cast<int64_t>(words) * 32 - 1; }

TEST_F(XdbResultBitmap, AndAndOrChangeOnlyTheWordsTheyName) {
  const uint32_t s = 0x11111111u;
  const WordCase cases[] = {
      {"equal", {s, s, s}, {0xF0u, 0x0Fu, 0xFFu}, {0x30u, 0x03u, 0x0Cu}, {0x30u, 0x03u, 0x0Cu}, {0xF0u, 0x0Fu, 0xFFu}},
      {"a longer", {s, s, s}, {0xF0u, 0x0Fu, 0xFFu}, {0x3Cu}, {0x30u, s, s}, {0xFCu, 0x0Fu, 0xFFu}},
      {"b longer", {s, s, s}, {0x3Cu}, {0xF0u, 0x0Fu}, {0x30u, s, s}, {0xFCu, 0x0Fu, s}},
      {"self shortest", {s}, {0xF0u, 0x0Fu, 0xFFu}, {0x3Cu, 0x01u}, {0x30u}, {0xFCu}},
      {"self between", {s, s}, {0xF0u}, {0x3Cu, 0x01u, 0x02u}, {0x30u, s}, {0xFCu, 0x01u}},
  };
  for (const WordCase& c : cases) {
    for (bool isOr : {false, true}) {
      Value self = NewBits(MaxIDFor(c.self.size()));
      Value a = NewBits(MaxIDFor(c.a.size()));
      Value b = NewBits(MaxIDFor(c.b.size()));
      SetWords(self, c.self);
      SetWords(a, c.a);
      SetWords(b, c.b);
      fsk::Call(the_, NewResult(self), isOr ? "_or" : "_and", a, b);
      EXPECT_EQ(Words(self), isOr ? c.expectedOr : c.expectedAnd) << c.name << (isOr ? " or" : " and");
    }
  }
}

TEST_F(XdbResultBitmap, BuildAuxFillsUntilFull) {
  Value result = ResultWith(100, {70, 3, 33});
  Value small = NewContent(2);
  fsk::Call(the_, result, "buildAux", small);
  EXPECT_EQ(Slots(small), (std::vector<int32_t>{3, 33}));
  Value large = NewContent(5);
  fsk::Call(the_, result, "buildAux", large);
  EXPECT_EQ(Slots(large), (std::vector<int32_t>{3, 33, 70, -1, -1}));
}

TEST_F(XdbResultBitmap, SetIDsAreReadUpToMaxIDAcrossWords) {
  struct Case {
    const char* name;
    int64_t maxID;
    std::vector<uint32_t> words;
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {"word edges", 95, {0x80000001u, 0x80000001u, 0x1u}, {0, 31, 32, 63, 64}},
      {"bits past maxID in its word", 40, {0x0u, 0xFFFFFE01u}, {32}},
      {"maxID at a word's last bit", 63, {0x0u, 0x80000000u}, {63}},
      {"empty words between", 1000, {0x2u, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4u}, {1, 482}},
      {"nothing set", 200, {0, 0, 0, 0, 0, 0, 0}, {}},
  };
  for (const Case& c : cases) {
    Value data = NewBits(c.maxID);
    SetWords(data, c.words);
    Value result = NewResult(data);
    EXPECT_EQ(Count(result), static_cast<int64_t>(c.expected.size())) << c.name;
    // One slot more than the set holds: buildAux stops at the last set bit.
    Value content = NewContent(static_cast<int64_t>(c.expected.size()) + 1);
    fsk::Call(the_, result, "buildAux", content);
    std::vector<int32_t> expected = c.expected;
    expected.push_back(-1);
    EXPECT_EQ(Slots(content), expected) << c.name;
    Value records = fsk::Call(the_, result, "getRecords");
    EXPECT_EQ(Integer(fsk::Get(the_, records, "length")), static_cast<int64_t>(c.expected.size())) << c.name;
  }
}

TEST_F(XdbResultBitmap, GetRecordsInIDOrderUnselected) {
  Value result = ResultWith(100, {70, 3, 33});
  Value records = fsk::Call(the_, result, "getRecords");
  EXPECT_EQ(Integer(fsk::Get(the_, records, "length")), 3);
  const int64_t ids[] = {3, 33, 70};
  for (int32_t index = 0; index < 3; ++index) {
    Value record = fsk::GetAt(the_, records, index);
    EXPECT_EQ(Integer(fsk::Get(the_, record, "id")), ids[index]);
    EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Get(the_, record, "selected")));
  }
}

TEST_F(XdbResultBitmap, DataWithoutBitsRaisesEinval) {
  Value closed = NewBits(10);
  fsk::Call(the_, closed, "close");
  Value failed = NewBits(-5);
  for (const Value& data : {closed, failed, fsk::NewObject(the_), Value::Integer(3)}) {
    Value result = NewResult(data);
    EXPECT_EQ(Raised([&] { fsk::Call(the_, result, "count"); }), EINVAL);
    EXPECT_EQ(Raised([&] { fsk::Call(the_, result, "testID", 1); }), EINVAL);
    EXPECT_EQ(Raised([&] { fsk::Call(the_, result, "removeID", 1); }), EINVAL);
  }
  EXPECT_EQ(Raised([&] { fsk::Call(the_, closed, "adjust", 1); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, closed, "close"); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, NewResult(NewBits(10)), "_not", closed); }), EINVAL);
}

class XdbFileBitmap : public XdbResultFixture {
 protected:
  void SetUp() override {
    XdbResultFixture::SetUp();
    previousSink_ = FskSetTraceSink([this](std::string_view text) { trace_ += text; });
  }
  void TearDown() override {
    XdbResultFixture::TearDown();
    FskSetTraceSink(previousSink_);
  }

  Value NewBitmap(int64_t maxID, const std::string& path) {
    return fsk::New(the_, Path("xdb.result"), "_Bitmap", maxID, path);
  }

  std::string trace_;
  FskTraceSink previousSink_;
};

TEST_F(XdbFileBitmap, NewFileIsOnePageOfZeros) {
  std::string path = FilePath("new.bitmap");
  Value bitmap = NewBitmap(100, path);
  EXPECT_EQ(Integer(fsk::Get(the_, bitmap, "database")), 100);
  EXPECT_EQ(FileBytes(path), Bytes(4096, 0));
  EXPECT_EQ(BitsOf(bitmap).maxID, 100);
  EXPECT_EQ(BitsOf(bitmap).capacity, 4096);
  EXPECT_TRUE(trace_.empty()) << trace_;
}

TEST_F(XdbFileBitmap, AdjustWritesAndGrows) {
  std::string path = FilePath("grow.bitmap");
  Value bitmap = NewBitmap(100, path);
  Value result = NewResult(bitmap);
  fsk::Call(the_, result, "addID", 9);
  fsk::Call(the_, bitmap, "adjust", 2000);
  EXPECT_EQ(FileSize(path), 4096);
  fsk::Call(the_, result, "addID", 70000);
  EXPECT_EQ(FileSize(path), 12288);
  EXPECT_EQ(BitsOf(bitmap).capacity, 12288);
  EXPECT_EQ(BitsOf(bitmap).maxID, 70000);
  // The bits set before the growth were written and read back.
  Bytes bytes = FileBytes(path);
  EXPECT_EQ(bytes[1], 0x02);
  EXPECT_EQ(Count(result), 2);
  fsk::Call(the_, bitmap, "flush");
  bytes = FileBytes(path);
  EXPECT_EQ(bytes[70000 / 8], 1 << (70000 % 8));
  fsk::Call(the_, bitmap, "close");
  EXPECT_EQ(Raised([&] { fsk::Call(the_, bitmap, "flush"); }), EINVAL);
}

TEST_F(XdbFileBitmap, ReopenKeepsTheSizeAndTheBits) {
  std::string path = FilePath("keep.bitmap");
  Value first = NewBitmap(100, path);
  fsk::Call(the_, NewResult(first), "addID", 40);
  fsk::Call(the_, first, "close");
  for (int open = 0; open < 2; ++open) {
    Value again = NewBitmap(50, path);
    EXPECT_EQ(FileSize(path), 4096);
    EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, NewResult(again), "testID", 40)));
    fsk::Call(the_, again, "close");
  }
  EXPECT_EQ(FileSize(path), 4096);
}

TEST_F(XdbFileBitmap, LargerFileRoundsUpToWholePages) {
  std::string path = FilePath("odd.bitmap");
  WriteFile(path, Bytes(5000, 0));
  Value bitmap = NewBitmap(10, path);
  EXPECT_EQ(FileSize(path), 8192);
  fsk::Call(the_, bitmap, "close");
}

TEST_F(XdbFileBitmap, DestructorAloneWritesTheBuffer) {
  std::string path = FilePath("dropped.bitmap");
  {
    Value bitmap = NewBitmap(100, path);
    fsk::Call(the_, NewResult(bitmap), "addID", 12);
  }
  // The last holder let go: the destructor ran without close.
  Bytes bytes = FileBytes(path);
  ASSERT_EQ(bytes.size(), 4096u);
  EXPECT_EQ(bytes[1], 0x10);
}

TEST_F(XdbFileBitmap, MissingFolderLeavesABitmapWithoutData) {
  Value bitmap = NewBitmap(100, FilePath("missing/folder.bitmap"));
  EXPECT_EQ(trace_, "# error 2: No such file or directory\n");
  EXPECT_EQ(Raised([&] { fsk::Call(the_, bitmap, "adjust", 10); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, bitmap, "flush"); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, NewResult(bitmap), "count"); }), EINVAL);
}

}  // namespace
