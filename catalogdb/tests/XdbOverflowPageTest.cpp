#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <numeric>
#include <vector>

#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeLayout.h"
#include "catalogdb/include/CatalogGrammarNames.h"
#include "catalogdb/tests/XdbBtreeTestIndex.h"
#include "catalogdb/tests/XdbNativeFixture.h"

namespace {

namespace cb = CatalogBtree;
using fsk::Value;
using xdbtest::TestKey;

constexpr int32_t kBigEndian = 8;
const TestKey kKey = TestKey::Of(7);

// A non-unique integer index of 180-byte pages: two inline IDs an entry,
// overflow slots of three IDs, eight slots a page.
class XdbOverflowPage : public xdbtest::XdbNativeFixture {
 protected:
  void SetUp() override {
    XdbNativeFixture::SetUp();
    xdbtest::IndexShape shape;
    shape.unique = false;
    shape.pageEntries = 2;
    shape.overflowEntries = 3;
    shape.defaultSize = 64;
    shape.order = kBigEndian;
    index_ = std::make_unique<xdbtest::TestIndex>(the_, shape);
    ASSERT_EQ(index_->PageSize(), 180);
  }

  void TearDown() override {
    index_.reset();
    XdbNativeFixture::TearDown();
  }

  // Inserts IDs first to last for kKey.
  void InsertIds(int32_t first, int32_t last) {
    for (int32_t id = first; id <= last; ++id) {
      index_->Insert(kKey, id);
    }
  }

  // The head of kKey's chain.
  std::pair<int32_t, int32_t> Head() {
    cb::IndexPage root = CatalogIndexPageOf(the_, index_->Root());
    return {root.OverflowPage(0), root.OverflowSlot(0)};
  }

  cb::OverflowPage Page(int32_t offset) { return CatalogOverflowPageOf(the_, index_->OverflowNode(offset)); }

  std::vector<int32_t> SlotIds(int32_t page, int32_t slot) {
    std::vector<int32_t> ids;
    cb::OverflowPage view = Page(page);
    for (int position = 0; position < view.IdsPerSlot(); ++position) {
      ids.push_back(view.Id(slot, position));
    }
    return ids;
  }

  static std::vector<int32_t> Range(int32_t first, int32_t last) {
    std::vector<int32_t> ids(static_cast<size_t>(last - first + 1));
    std::iota(ids.begin(), ids.end(), first);
    return ids;
  }

  std::unique_ptr<xdbtest::TestIndex> index_;
};

TEST_F(XdbOverflowPage, AThirdIdStartsAChain) {
  InsertIds(1, 3);
  cb::IndexPage root = CatalogIndexPageOf(the_, index_->Root());
  EXPECT_EQ(root.InlineId(0, 0), 1);
  EXPECT_EQ(root.InlineId(0, 1), 2);
  auto [page, slot] = Head();
  ASSERT_NE(page, 0);
  EXPECT_EQ(SlotIds(page, slot), std::vector<int32_t>({3, 0, 0}));
  EXPECT_EQ(index_->Search(kKey), Range(1, 3));
  EXPECT_EQ(index_->Check(), "");
}

TEST_F(XdbOverflowPage, AddingAnIdTheChainHoldsChangesNothing) {
  InsertIds(1, 8);
  auto [page, slot] = Head();
  std::vector<unsigned char> before = index_->File();
  for (int32_t id : {3, 5, 8}) {
    fsk::Call(the_, index_->OverflowNode(page), "addEntry", index_->Object(), slot, id);
    EXPECT_EQ(index_->File(), before) << id;
  }
  EXPECT_EQ(index_->Search(kKey), Range(1, 8));
}

TEST_F(XdbOverflowPage, AFullSlotLinksToAFreeSlotOfItsPage) {
  InsertIds(1, 6);
  auto [page, slot] = Head();
  cb::OverflowPage view = Page(page);
  EXPECT_EQ(view.NextPage(slot), page);
  int32_t next = view.NextSlot(slot);
  EXPECT_NE(next, slot);
  EXPECT_EQ(SlotIds(page, next), std::vector<int32_t>({6, 0, 0}));
  EXPECT_EQ(Page(page).NextPage(next), 0);
  EXPECT_EQ(index_->Check(), "");
}

TEST_F(XdbOverflowPage, AFullPageTakesAPageFromGetOverflow) {
  // Two inline IDs, then eight slots of three fill the first overflow page.
  InsertIds(1, 26);
  auto [first, slot] = Head();
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, index_->OverflowNode(first), "isFull")));
  InsertIds(27, 27);
  int32_t second = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, index_->Object(), "overflow")));
  ASSERT_NE(second, first);

  // The last slot of the first page links to the first slot of the second.
  int32_t at = slot;
  for (int i = 0; i < 7; ++i) {
    at = Page(first).NextSlot(at);
  }
  EXPECT_EQ(Page(first).NextPage(at), second);
  EXPECT_EQ(Page(first).NextSlot(at), 0);
  EXPECT_EQ(SlotIds(second, 0), std::vector<int32_t>({27, 0, 0}));
  EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Call(the_, index_->OverflowNode(second), "isFull")));
  EXPECT_EQ(index_->Search(kKey), Range(1, 27));
  EXPECT_EQ(index_->Check(), "");
  index_->Reopen();
  EXPECT_EQ(index_->Search(kKey), Range(1, 27));
}

TEST_F(XdbOverflowPage, RemovingAnIdMovesTheChainsLastIdIntoTheHole) {
  InsertIds(1, 7);  // Chain: [3 4 5] -> [6 7].
  auto [page, slot] = Head();
  Value head = index_->OverflowNode(page);
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, head, "removeEntry", index_->Object(), slot, 4)));
  EXPECT_EQ(SlotIds(page, slot), std::vector<int32_t>({3, 7, 5}));
  int32_t next = Page(page).NextSlot(slot);
  EXPECT_EQ(SlotIds(page, next), std::vector<int32_t>({6, 0, 0}));

  // The last slot empties and leaves the chain.
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, head, "removeEntry", index_->Object(), slot, 3)));
  EXPECT_EQ(SlotIds(page, slot), std::vector<int32_t>({6, 7, 5}));
  EXPECT_EQ(Page(page).NextPage(slot), 0);
  EXPECT_TRUE(Page(page).IsFree(next));

  EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Call(the_, head, "removeEntry", index_->Object(), slot, 42)));
  EXPECT_TRUE(index_->freed.empty());
  EXPECT_EQ(index_->Search(kKey), std::vector<int32_t>({1, 2, 6, 7, 5}));
  EXPECT_EQ(index_->Check(), "");
}

TEST_F(XdbOverflowPage, APageLeftEmptyIsGivenBack) {
  InsertIds(1, 27);
  int32_t second = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, index_->Object(), "overflow")));
  EXPECT_TRUE(index_->RemoveKeyId(kKey, 27));
  EXPECT_EQ(index_->freed, std::vector<int32_t>({second}));
  EXPECT_EQ(index_->FreeHead(), second);
  EXPECT_EQ(index_->Search(kKey), Range(1, 26));
  EXPECT_EQ(index_->Check(), "");

  // The freed page is the next page the index takes.
  InsertIds(27, 27);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, index_->Object(), "overflow")), second);
  EXPECT_EQ(index_->FreeHead(), 0);
  EXPECT_EQ(index_->Check(), "");
}

TEST_F(XdbOverflowPage, IsFullCountsFreeSlots) {
  Value holder = fsk::GetPath(the_, CatalogGrammarNames::kXdbBtree);
  Value page = fsk::New(the_, holder, "OverflowPage", 0, 180, 3);
  EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Call(the_, page, "isFull")));
  cb::OverflowPage view = CatalogOverflowPageOf(the_, page);
  for (int slot = 0; slot < view.SlotCount(); ++slot) {
    view.SetId(slot, 0, slot + 1);
  }
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, page, "isFull")));
  Value empty = fsk::New(the_, holder, "OverflowPage", 0, 12, 3);
  EXPECT_EQ(CatalogOverflowPageOf(the_, empty).SlotCount(), 0);
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, empty, "isFull")));
}

TEST_F(XdbOverflowPage, AChainThatRunsInACircleIsRefused) {
  InsertIds(1, 6);
  const std::pair<int32_t, int32_t> head = Head();
  const int32_t page = head.first;
  const int32_t slot = head.second;
  int32_t next = Page(page).NextSlot(slot);
  Page(page).SetNext(next, page, slot);
  EXPECT_EQ(Raised([&] { index_->Search(kKey); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, index_->OverflowNode(page), "addEntry", index_->Object(), slot, 99); }),
            EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, index_->OverflowNode(page), "addEntry", index_->Object(), 8, 99); }), EINVAL)
      << "a slot beyond the page";
}

TEST_F(XdbOverflowPage, ACircleFurtherDownTheChainIsRefused) {
  InsertIds(1, 14);  // Four full slots after the two inline IDs.
  const std::pair<int32_t, int32_t> head = Head();
  const int32_t page = head.first;
  const int32_t first = head.second;
  int32_t second = Page(page).NextSlot(first);
  int32_t third = Page(page).NextSlot(second);
  int32_t fourth = Page(page).NextSlot(third);
  ASSERT_EQ(SlotIds(page, fourth), Range(12, 14));
  Page(page).SetNext(fourth, page, second);
  EXPECT_EQ(Raised([&] { index_->Search(kKey); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, index_->OverflowNode(page), "addEntry", index_->Object(), first, 99); }),
            EINVAL);
  EXPECT_EQ(SlotIds(page, first), Range(3, 5));
  EXPECT_EQ(SlotIds(page, fourth), Range(12, 14)) << "no ID was added";
}

}  // namespace
