#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/tests/import/ImportManagerTestSupport.h"
#include "platform/testsupport/ForkedChild.h"

namespace import_test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

constexpr int kContents = 5;
constexpr int kBytes = 3000;
constexpr int kChildNeverKilled = 3;
// The child halts before the copy of this item, after the history save of
// the one before.
constexpr int kHaltingItem = 4;

// The files below folder, hidden ones included, relative and sorted.
Names Tree(const fs::path& folder) {
  Names names;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_directory()) {
      names.push_back(it->path().lexically_relative(folder).string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Each process makes its own application after the fork: a process that
// forks once threads run cannot start threads in the child.
class K2ImportAcrossProcesses : public ImportManagerTest {
 protected:
  bool MakesApplicationLater() const override { return true; }
};

TEST_F(K2ImportAcrossProcesses, AKilledImportLeavesAHistoryThatSkipsNothing) {
  AddContents(kContents, kBytes);
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([this](testsupport::ChildChannel& channel) {
    MakeApplication();
    int items = 0;
    Sleeps().SetHook([&](std::chrono::milliseconds duration) {
      if (duration == K2ImportTaskManager::kItemPause && ++items == kHaltingItem) {
        channel.SignalReady();
        channel.WaitForGo();
      }
    });
    auto settings = Settings(true, true);
    (void)Import(*settings);
    return kChildNeverKilled;
  }));
  MakeApplication();
  ASSERT_TRUE(child.WaitReady());
  child.Kill();
  EXPECT_NE(child.Wait(), kChildNeverKilled);

  EXPECT_EQ(StoredHistory(), kHaltingItem - 1);
  // The card holds all five, the imported ones renamed; the PC three whole
  // copies and nothing partial.
  EXPECT_EQ(Tree(Camera() / "DCIM"),
            (Names{"100ABCDE/DSC00004.JPG", "100ABCDE/DSC00005.JPG", "100ABCDE/QMVS0001.JPG",
                   "100ABCDE/QMVS0002.JPG", "100ABCDE/QMVS0003.JPG"}));
  EXPECT_EQ(Tree(Destination()),
            (Names{"Album/DSC00001.JPG", "Album/DSC00002.JPG", "Album/DSC00003.JPG"}));
  for (int id = 1; id < kHaltingItem; ++id) {
    const std::string number = std::to_string(id);
    EXPECT_EQ(ReadAll(Destination() / ("Album/DSC0000" + number + ".JPG")),
              ReadAll(Camera() / ("DCIM/100ABCDE/QMVS000" + number + ".JPG")));
    EXPECT_EQ(fs::file_size(Destination() / ("Album/DSC0000" + number + ".JPG")), kBytes);
  }

  // The next import takes up the rest and removes only what it imported.
  auto settings = Settings(true, true);
  EXPECT_EQ(Import(*settings), kXpOk);
  EXPECT_EQ(Ledger()->Calls(), (Names{"GetContentsAfterGuid 3", "DeleteContent 4",
                                      "DeleteContent 5", "Commit", "Release"}));
  EXPECT_EQ(StoredHistory(), kContents);
  EXPECT_EQ(Tree(Camera() / "DCIM"), (Names{"100ABCDE/QMVS0001.JPG", "100ABCDE/QMVS0002.JPG",
                                            "100ABCDE/QMVS0003.JPG"}));
  EXPECT_EQ(Card()->Ids(), (std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(Tree(Destination()),
            (Names{"Album(1)/DSC00004.JPG", "Album(1)/DSC00005.JPG", "Album/DSC00001.JPG",
                   "Album/DSC00002.JPG", "Album/DSC00003.JPG"}));
}

}  // namespace
}  // namespace import_test
