#include <array>
#include <cstdint>

#include <gtest/gtest.h>

#include "outside/fsk/tests/XdbMasterFixture.h"

namespace {

using fsk::Value;
using Words = std::array<uint32_t, 4>;

class XdbMasterCache : public xdbtest::MasterFixture {
 protected:
  void SetUp() override {
    MasterFixture::SetUp();
    master_ = OpenMaster(folder_);
    fsk::Call(the_, master_, "createAlbum", Album("A"));
    fsk::Call(the_, master_, "addPhoto", Content(1));
    cache_ = fsk::Get(the_, master_, "resultCache3");
  }
  void TearDown() override {
    cache_ = Value();
    master_ = Value();
    MasterFixture::TearDown();
  }

  Words WordsOf(const Value& set) {
    Words words{};
    fxGetValueRecord(the_, &set.Slot(), words.data());
    return words;
  }
  void Push(const Words& w, const Value& set) { fsk::Call(the_, cache_, "push", w[0], w[1], w[2], w[3], set); }
  Value Get(const Words& w) { return fsk::Call(the_, cache_, "get", w[0], w[1], w[2], w[3]); }
  void Free(const Words& w) { fsk::Call(the_, cache_, "free", w[0], w[1], w[2], w[3]); }
  bool Same(const Value& a, const Value& b) { return WordsOf(a) == WordsOf(b); }

  Value master_;
  Value cache_;
};

TEST_F(XdbMasterCache, GetOfUnknownWordsIsUndefined) {
  EXPECT_TRUE(Get({1, 2, 3, 4}).IsUndefined());
  Free({1, 2, 3, 4});
  EXPECT_TRUE(Get({1, 2, 3, 4}).IsUndefined());
}

TEST_F(XdbMasterCache, PushKeepsTheSetAndReplaces) {
  Value albums = fsk::Call(the_, master_, "search", "ad", nullptr);
  Value contents = fsk::Call(the_, master_, "search", "d", nullptr);
  Words words = WordsOf(albums);
  Push(words, albums);
  Value cached = Get(words);
  ASSERT_TRUE(cached.IsObject());
  EXPECT_TRUE(Same(cached, albums));
  EXPECT_EQ(Count(cached), 1);
  Push(words, contents);
  EXPECT_TRUE(Same(Get(words), contents));
  EXPECT_TRUE(Thrown([&] { Push({9, 9, 9, 9}, Value::Integer(3)); })) << "only sets are kept";
}

TEST_F(XdbMasterCache, AFreedHandleNeverNamesALaterSet) {
  Words words{};
  {
    Value set = fsk::Call(the_, master_, "search", "d", nullptr);
    words = WordsOf(set);
    Push(words, set);
    Free(words);
  }
  EXPECT_TRUE(Get(words).IsUndefined());
  for (int i = 0; i < 8; ++i) {
    Value later = fsk::Call(the_, master_, "search", "d", nullptr);
    EXPECT_NE(WordsOf(later), words);
    Push(WordsOf(later), later);
  }
  EXPECT_TRUE(Get(words).IsUndefined());
}

TEST_F(XdbMasterCache, FreeAllAndCloseEmptyIt) {
  Value a = fsk::Call(the_, master_, "search", "d", nullptr);
  Value b = fsk::Call(the_, master_, "search", "ad", nullptr);
  Push(WordsOf(a), a);
  Push(WordsOf(b), b);
  fsk::Call(the_, cache_, "freeAll");
  EXPECT_TRUE(Get(WordsOf(a)).IsUndefined());
  EXPECT_TRUE(Get(WordsOf(b)).IsUndefined());

  Push(WordsOf(a), a);
  fsk::Call(the_, master_, "deleteIndex", "guid");
  fsk::Call(the_, master_, "close");
  EXPECT_TRUE(Get(WordsOf(a)).IsUndefined());
  Push(WordsOf(b), b);
  EXPECT_EQ(Integer(fsk::Call(the_, master_, "open", folder_.string(), nullptr)), 350);
  EXPECT_TRUE(Get(WordsOf(b)).IsUndefined()) << "open closes first";
  fsk::Call(the_, master_, "close");
}

TEST_F(XdbMasterCache, EachMasterHasItsOwnCache) {
  Value other = NewMaster();
  Value otherCache = fsk::Get(the_, other, "resultCache3");
  Value set = fsk::Call(the_, master_, "search", "d", nullptr);
  Push(WordsOf(set), set);
  Words w = WordsOf(set);
  EXPECT_TRUE(fsk::Call(the_, otherCache, "get", w[0], w[1], w[2], w[3]).IsUndefined());
  EXPECT_FALSE(Get(w).IsUndefined());
}

}  // namespace
