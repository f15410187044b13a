#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbIdAllocator.h"
#include "outside/fsk/tests/XdbBlockStoreFixture.h"
#include "platform/result/XpResult.h"

namespace {

// Named as the class it tests; the class itself is ::XdbIdAllocator here.
class XdbIdAllocator : public xdbtest::XdbBlockStoreFixture {
 protected:
  int64_t Next(::XdbIdAllocator& ids) {
    int64_t id = -1;
    EXPECT_EQ(ids.Allocate(&id), kXpOk);
    return id;
  }
};

TEST_F(XdbIdAllocator, HandsOutEveryIDUpToTheLimitInOrder) {
  ::XdbIdAllocator ids(the_);
  ASSERT_EQ(ids.Create(FilePath("ids")), kXpOk);
  EXPECT_EQ(ids.Limit(), 40000);
  for (int64_t expected = 1; expected <= 40000; ++expected) {
    int64_t id = 0;
    ASSERT_EQ(ids.Allocate(&id), kXpOk) << expected;
    ASSERT_EQ(id, expected);
  }
  int64_t none = -1;
  EXPECT_EQ(ids.Allocate(&none), ::XdbIdAllocator::kXpErrNoFreeID);
  EXPECT_EQ(ids.MaxID(), 40000);

  // A freed ID is the next one handed out.
  ASSERT_EQ(ids.Free(17), kXpOk);
  bool used = true;
  EXPECT_EQ(ids.IsUsed(17, &used), kXpOk);
  EXPECT_FALSE(used);
  EXPECT_EQ(Next(ids), 17);
  EXPECT_EQ(ids.Allocate(&none), ::XdbIdAllocator::kXpErrNoFreeID);
  ASSERT_EQ(ids.Free(32768), kXpOk);
  EXPECT_EQ(Next(ids), 32768);
  EXPECT_EQ(ids.Close(), kXpOk);
}

TEST_F(XdbIdAllocator, ReopenKeepsBitsCounterAndMaxID) {
  std::string path = FilePath("ids");
  {
    ::XdbIdAllocator ids(the_);
    ASSERT_EQ(ids.Create(path), kXpOk);
    for (int i = 0; i < 5; ++i) {
      Next(ids);
    }
    ASSERT_EQ(ids.Free(2), kXpOk);
    ASSERT_EQ(ids.SetCounter(0xFFFFFFFFU), kXpOk);
    ASSERT_EQ(ids.Close(), kXpOk);
  }
  // The header holds maxID and the counter.
  std::vector<uint8_t> bytes = FileBytes(path);
  EXPECT_EQ(Word(bytes, 64), 5U);
  EXPECT_EQ(Word(bytes, 68), 0xFFFFFFFFU);
  EXPECT_EQ(Word(bytes, 16), 96U);

  ::XdbIdAllocator ids(the_);
  ASSERT_EQ(ids.Open(path), kXpOk);
  EXPECT_EQ(ids.Counter(), 0xFFFFFFFFU);
  EXPECT_EQ(ids.MaxID(), 5);
  for (int64_t id : {1, 3, 4, 5}) {
    bool used = false;
    EXPECT_EQ(ids.IsUsed(id, &used), kXpOk);
    EXPECT_TRUE(used) << id;
  }
  EXPECT_EQ(Next(ids), 2);
  EXPECT_EQ(Next(ids), 6);
  EXPECT_EQ(ids.MaxID(), 6);
  EXPECT_EQ(ids.Close(), kXpOk);
}

TEST_F(XdbIdAllocator, ACountedAllocationWritesTheCounterWithTheHeader) {
  std::string path = FilePath("counted");
  ::XdbIdAllocator ids(the_, 2);
  ASSERT_EQ(ids.Create(path), kXpOk);
  int64_t id = 0;
  ASSERT_EQ(ids.AllocateCounted(&id, 7), kXpOk);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(ids.Counter(), 7U);
  EXPECT_EQ(ids.MaxID(), 1);
  EXPECT_EQ(Next(ids), 2);
  // A reused ID leaves maxID alone but still sets the counter.
  ASSERT_EQ(ids.Free(1), kXpOk);
  ASSERT_EQ(ids.AllocateCounted(&id, 8), kXpOk);
  EXPECT_EQ(id, 1);
  // Without a free ID the counter stays.
  EXPECT_EQ(ids.AllocateCounted(&id, 9), ::XdbIdAllocator::kXpErrNoFreeID);
  ASSERT_EQ(ids.Close(), kXpOk);
  std::vector<uint8_t> bytes = FileBytes(path);
  EXPECT_EQ(Word(bytes, 64), 2U);
  EXPECT_EQ(Word(bytes, 68), 8U);
}

TEST_F(XdbIdAllocator, ASmallerLimitEndsSooner) {
  ::XdbIdAllocator ids(the_, 5);
  ASSERT_EQ(ids.Create(FilePath("small")), kXpOk);
  std::vector<int64_t> handed;
  int64_t id = 0;
  while (ids.Allocate(&id) == kXpOk) {
    handed.push_back(id);
  }
  EXPECT_EQ(handed, (std::vector<int64_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ids.Allocate(&id), ::XdbIdAllocator::kXpErrNoFreeID);
  EXPECT_EQ(ids.Free(0), kXpErrBadArgument);
  EXPECT_EQ(ids.Free(6), kXpErrBadArgument);
  EXPECT_EQ(ids.Close(), kXpOk);
}

TEST_F(XdbIdAllocator, RefusesWorkWithoutAFileAndDamagedFiles) {
  ::XdbIdAllocator ids(the_);
  int64_t id = 0;
  EXPECT_EQ(ids.Allocate(&id), kXpErrNotOpen);
  EXPECT_EQ(ids.SetCounter(1), kXpErrNotOpen);
  EXPECT_EQ(ids.Open(FilePath("missing")), kXpErrFileNotFound);

  // A file that is not an ID file of ours.
  std::string path = FilePath("other");
  {
    std::ofstream out(path, std::ios::binary);
    out << std::string(200, 'x');
  }
  EXPECT_EQ(ids.Open(path), kXpErrInvalidFile);
  EXPECT_EQ(ids.Allocate(&id), kXpErrNotOpen);
}

}  // namespace
