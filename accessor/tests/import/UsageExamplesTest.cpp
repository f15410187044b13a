// The usage example at the top of K2ImportTaskManager.h, run as written on a
// scratch camera.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accessor/import/K2ImportResult.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/tests/import/ImportManagerTestSupport.h"
#include "accessor/tests/task/TaskTestSupport.h"

namespace import_test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class AccessorImportUsageExample : public ImportManagerTest {
 protected:
  // The leaf names of the pictures below the destination, sorted.
  Names PicturesOnThePc() const {
    Names names;
    for (const auto& entry : fs::recursive_directory_iterator(Destination())) {
      if (entry.is_regular_file() && entry.path().extension() == ".JPG") {
        names.push_back(entry.path().filename().string());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

// The example from the manager's StartImport on; the test's manager has the
// fake album database.
[[nodiscard]] XpResult ImportFromCamera(K2ImportTaskManager& manager, K2ImportConfig& settings) {
  const XpResult started = manager.StartImport(settings, nullptr);
  if (XpFailed(started)) return started;
  const K2ImportTaskManager::Preparation prepared = manager.WaitForPreparation(30);
  if (prepared.state != K2ImportTaskManager::PreparationState::kReady) {
    manager.Stop();
    return manager.WaitUntilFinished();
  }
  const XpResult confirmed = manager.Confirm();
  if (XpFailed(confirmed)) return confirmed;
  return manager.WaitUntilFinished();
}

TEST_F(AccessorImportUsageExample, K2ImportTaskManagerCopiesTheCamerasPicturesToThePc) {
  constexpr int64_t kPictureBytes = 700;
  AddContents(2, kPictureBytes);
  auto settings = Settings(false, false);
  EXPECT_EQ(ImportFromCamera(NewManager(), *settings), kXpOk);
  EXPECT_EQ(PicturesOnThePc(), (Names{"DSC00001.JPG", "DSC00002.JPG"}));
  // Each content lands in the folder of its album.
  EXPECT_EQ(fs::file_size(Destination() / "Album" / "DSC00002.JPG"), kPictureBytes);
}

TEST_F(AccessorImportUsageExample, K2ImportTaskManagerEndsWithTheFailureBeforeCopying) {
  struct Case {
    const char* what;
    bool destination;
    uint64_t freeBytes;
    XpResult expected;
  } const cases[] = {
      {"no destination folder", false, uint64_t{1} << 40, kXpErrPathNotFound},
      {"the PC is short of space", true, 0, kK2ErrImportDiskFull},
  };
  AddContents(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Space().SetFree(c.freeBytes);
    auto settings = Settings(false, false);
    if (!c.destination) settings->SetDestDir(XpString::FromUtf8((Root() / "absent").string()));
    EXPECT_EQ(ImportFromCamera(NewManager(), *settings), c.expected);
    EXPECT_TRUE(PicturesOnThePc().empty());
  }
}

}  // namespace
}  // namespace import_test
