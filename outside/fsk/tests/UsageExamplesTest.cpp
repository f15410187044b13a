// The usage examples at the top of FskMachine.h and XdbStore.h, run as
// written on a scratch folder.
#include <cstdint>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "fsk/Grammar.h"
#include "outside/fsk/dbmanager/XdbStore.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class OutsideUsageExamples : public testsupport::HermeticTest {};

// The FskMachine example; *caught tells whether the runtime threw. An
// "answer" of undefined is read from a receiver of undefined when
// throwAway, which throws a TypeError.
int64_t SetAndReadBack(FskMachine* the, bool throwAway, bool* caught) {
  int64_t value = 0;
  *caught = false;
  try {
    fsk::HostBracket bracket(the);
    const FskID answer = fxID(the, "answer");
    fxOverflow(the, -3, nullptr, 0);
    fxNewObject(the);
    FskSlot* object = fxTop(the);
    fxInteger(the, fxPush(the), 42);
    fxPushSlot(the, object);
    fxSetID(the, answer);
    if (throwAway) fxUndefined(the, fxTop(the));
    fxGetID(the, answer);
    value = fxToInteger(the, fxTop(the));
    fxPop(the, nullptr);
  } catch (const FskException&) {
    *caught = true;
  }
  return value;
}

TEST_F(OutsideUsageExamples, FskMachineSetsAPropertyAndReadsItBack) {
  FskMachine* the = fxNewMachine("example");
  ASSERT_NE(the, nullptr);
  const size_t depth = fxStackDepth(the);
  bool caught = true;
  EXPECT_EQ(SetAndReadBack(the, false, &caught), 42);
  EXPECT_FALSE(caught);
  EXPECT_EQ(fxStackDepth(the), depth);

  EXPECT_EQ(SetAndReadBack(the, true, &caught), 0);
  EXPECT_TRUE(caught);
  EXPECT_EQ(fxStackDepth(the), depth);
  fxDeleteMachine(the);
}

// The XdbStore example at folder.
XpResult AddAlbumWithOneContent(FskMachine* the, const std::string& folder, double date) {
  XdbStore store(the);
  int status = 0;
  XpResult result = store.Open(folder, &status);
  if (XpFailed(result)) return result;
  if (status != XdbStore::kOpened) return kXpErrGeneric;
  int32_t album = 0;
  int32_t content = 0;
  result = store.AddAlbum({.preference = 3, .title = "Trip"}, &album);
  const XdbContent fields = {.date = date, .folderID = 100, .fileID = 1, .albumID = album};
  if (XpSucceeded(result)) result = store.AddContent(fields, &content);
  const XpResult closed = store.Close();
  return XpFailed(result) ? result : closed;
}

// The ids a search of the store finds; none when the search fails.
std::vector<int32_t> IdsOf(XdbStore& store, XpResult (XdbStore::*search)(XdbStore::Found*)) {
  XdbStore::Found found;
  std::vector<int32_t> ids;
  EXPECT_EQ((store.*search)(&found), kXpOk);
  if (found) {
    EXPECT_EQ(found->Ids(&ids), kXpOk);
  }
  return ids;
}

TEST_F(OutsideUsageExamples, XdbStoreAddsAnAlbumWithOneContentThatANewStoreReads) {
  FskMachine* the = nullptr;
  ASSERT_EQ(FskNewGrammarMachine("xdb", {"CatalogGrammar", "CatalogGrammarExt"}, &the), 0);
  const double date = 1237111200000.0;
  ASSERT_EQ(AddAlbumWithOneContent(the, Dir("DBFILES").string(), date), kXpOk);
  {
    XdbStore store(the);
    int status = 0;
    ASSERT_EQ(store.Open(Dir("DBFILES").string(), &status), kXpOk);
    ASSERT_EQ(status, XdbStore::kOpened);
    const std::vector<int32_t> albumIds = IdsOf(store, &XdbStore::AllAlbums);
    ASSERT_EQ(albumIds.size(), 1u);
    const auto album = store.GetRecord(albumIds[0]);
    ASSERT_TRUE(album.has_value());
    EXPECT_EQ(album->album.title, "Trip");

    const std::vector<int32_t> ids = IdsOf(store, &XdbStore::AllContents);
    ASSERT_EQ(ids.size(), 1u);
    const auto record = store.GetRecord(ids[0]);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->content.date, date);
    EXPECT_EQ(record->content.albumID, albumIds[0]);
    EXPECT_EQ(store.Check(), std::vector<std::string>{});
    EXPECT_EQ(store.Close(), kXpOk);
  }
  // No folder: nothing is made.
  const std::filesystem::path missing = Root() / "missing";
  EXPECT_EQ(AddAlbumWithOneContent(the, missing.string(), date), kXpErrGeneric);
  EXPECT_FALSE(std::filesystem::exists(missing));
  fxDeleteMachine(the);
}

}  // namespace
