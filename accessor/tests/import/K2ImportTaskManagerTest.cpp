#include <gtest/gtest.h>

#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "accessor/import/K2ImportResult.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/tests/import/ImportManagerTestSupport.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "framework/notify/XfNotification.h"
#include "framework/suite/SfModdXML.h"
#include "outside/fsk/k2xdb/K2xdbTool.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/value/XpIniDict.h"

namespace import_test {
namespace {

namespace fs = std::filesystem;
using task_test::Seen;
using Manager = ::K2ImportTaskManager;
using State = Manager::PreparationState;
using Names = std::vector<std::string>;

constexpr std::chrono::milliseconds kItemPause = Manager::kItemPause;
constexpr std::chrono::milliseconds kPausePoll = Manager::kPausePoll;
constexpr uint32_t kMarkerCode = 0x7E57;

// Calls a hook at the nth sleep of a length.
class SleepCounter {
 public:
  explicit SleepCounter(std::chrono::milliseconds length) : length_(length) {}
  // The count of sleeps of the length so far, this one included; 0 for
  // other lengths.
  int Count(std::chrono::milliseconds duration) {
    return duration == length_ ? ++count_ : 0;
  }

 private:
  std::chrono::milliseconds length_;
  int count_ = 0;
};

class ImportTest : public ImportManagerTest {
 protected:
  // Waits until every plain notification posted so far was delivered.
  void DrainNotifications() {
    XpSharedPtr<XfNotification> marker(new XfNotificationInternal(
        XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), kMarkerCode, XpSharedPtr<XfObject>(),
        false, true));
    XfPostNotification(marker);
    ASSERT_TRUE(Observer().WaitFor(kMarkerCode));
  }

  size_t Count(uint32_t kind, uint32_t code) { return FromManager(kind, code).size(); }

  // The files below folder, relative, sorted.
  static Names Tree(const fs::path& folder) {
    Names names;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (it->is_regular_file()) {
        names.push_back(it->path().lexically_relative(folder).string());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs k2xdb on the card's database folder; its output.
  std::string Xdb(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin() + 1, (Camera() / "DBFILES").string());
    std::ostringstream out;
    std::ostringstream err;
    K2xdbTool tool(out, err);
    EXPECT_EQ(tool.Run(arguments), K2xdbTool::kDone) << err.str();
    return out.str();
  }

  // The record file as a value tree; the first content's element at key.
  static XpIniElement* RecordValue(XpIniDict& record, const std::string& key) {
    return record.Find(XpString::FromUtf8("ContentsGroupList/0/ContentsList/0/" + key));
  }
};

using K2ImportTaskManager = ImportTest;
using K2ImportFromDatabase = ImportTest;

// ---- Start and preparation ------------------------------------------------

TEST_F(K2ImportTaskManager, AMissingDestinationStartsNoWorker) {
  AddContents(1);
  auto settings = Settings(false, false);
  settings->SetDestDir(XpString::FromUtf8((Root() / "absent").string()));
  NewManager();
  EXPECT_EQ(Manager().StartImport(*settings, nullptr), kXpErrPathNotFound);
  EXPECT_EQ(Manager().WaitUntilFinished(), kXpOk);
  EXPECT_EQ(Manager().WaitForPreparation(0).state, State::kPreparing);
  EXPECT_TRUE(Ledger()->Calls().empty());
}

TEST_F(K2ImportTaskManager, AStopBeforeConfirmEndsWithoutPromptOrEnd) {
  AddContents(2, 5000);
  auto settings = Settings(false, false);
  const Manager::Preparation preparation = Prepare(*settings);
  EXPECT_EQ(preparation.state, State::kReady);
  EXPECT_EQ(preparation.itemCount, 2u);
  EXPECT_EQ(preparation.byteTotal, 10000u);
  Manager().Stop();
  EXPECT_EQ(Manager().WaitUntilFinished(), kXpErrCancelled);
  DrainNotifications();
  EXPECT_TRUE(FromManager(kXfKindError, kXpErrCancelled).empty());
  EXPECT_TRUE(FromManager(kXfKindInternal, Manager::kCodeImportEnded).empty());
  EXPECT_TRUE(FromManager(kXfKindInternal, Manager::kCodeRunBegins).empty());
  EXPECT_TRUE(Tree(Destination()).empty());
  EXPECT_EQ(CountCalls("Release"), 1u);
}

TEST_F(K2ImportTaskManager, DestroyingAnUnconfirmedManagerEndsItsWorker) {
  AddContents(1);
  auto settings = Settings(false, false);
  ASSERT_EQ(Prepare(*settings).state, State::kReady);
  DestroyManager();
  DrainNotifications();
  EXPECT_TRUE(FromManager().empty());
  EXPECT_TRUE(Tree(Destination()).empty());
  EXPECT_EQ(NamesIn(Camera() / "DCIM/100ABCDE"), (Names{"DSC00001.JPG"}));
}

TEST_F(K2ImportTaskManager, PreparationFailuresAreReturnedToTheCallerOnly) {
  struct Case {
    const char* what;
    bool database;
    bool foreignDatabase;
    bool contents;
    XpResult expected;
  } const cases[] = {
      // The empty check wins over the short free space.
      {"empty database", true, false, false, kK2ErrNothingToImport},
      {"no database folder", false, false, true, kK2ErrNothingToImport},
      {"foreign database", true, true, true, kK2ErrAlbumDatabase},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Observer().Clear();
    fs::remove_all(Camera() / "DBFILES");
    if (c.database) {
      fs::create_directories(Camera() / "DBFILES");
    }
    if (c.foreignDatabase) {
      task_test::WriteBytes(Camera() / "DBFILES" / "XDB.DAT", "not an album database");
    }
    if (c.contents && number++ == 0) {
      AddContents(1);
    }
    Space().SetFree(0);
    NewManager();
    if (c.foreignDatabase) {
      // The camera's own accessor: it refuses what it cannot read.
      Manager().SetXdbAccessorFactory(&XdbAccessor::CreateDeviceXdbAccessor);
    }
    auto settings = Settings(false, false);
    const Manager::Preparation preparation = Prepare(*settings);
    EXPECT_EQ(preparation.state, State::kFailed);
    EXPECT_EQ(preparation.code, c.expected);
    EXPECT_EQ(Manager().WaitUntilFinished(), c.expected);
    DrainNotifications();
    EXPECT_TRUE(FromManager().empty());
  }
  // Neither the card without a database folder nor the foreign one reached
  // the fake; the empty one listed nothing.
  EXPECT_EQ(Ledger()->Calls(), (Names{"GetAllContents", "Release"}));
}

TEST_F(K2ImportTaskManager, FreeSpaceCountsWholeClustersAndTheReserve) {
  CardContent small;
  small.id = 1;
  small.path = DcfPath(1);
  AddContent(small, 1);
  CardContent large;
  large.id = 2;
  large.path = DcfPath(2);
  AddContent(large, 32769);
  const uint64_t needed = 98304 + Manager::kFreeSpaceReserve;
  struct Case {
    uint64_t free;
    State state;
    XpResult code;
  } const cases[] = {
      {needed, State::kReady, kXpOk},
      {needed - 1, State::kFailed, kK2ErrImportDiskFull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.free);
    Space().SetFree(c.free);
    NewManager();
    auto settings = Settings(false, false);
    const Manager::Preparation preparation = Prepare(*settings);
    EXPECT_EQ(preparation.state, c.state);
    EXPECT_EQ(preparation.code, c.code);
    Manager().Stop();
    (void)Manager().WaitUntilFinished();
  }
}

// ---- Browser ---------------------------------------------------------------

TEST_F(K2ImportTaskManager, TheBrowserIsNotRunBeforeAStart) {
  NewManager();
  EXPECT_EQ(Manager().LaunchBrowser(), kXpOk);
}

TEST_F(K2ImportTaskManager, WithoutABrowserTheRecordIsDeleted) {
  AddContents(1);
  auto settings = Settings(false, false);
  ASSERT_EQ(Import(*settings), kXpOk);
  const fs::path record = Manager().GetRecordFilePath().ToMultiByte().ToStdString();
  ASSERT_TRUE(fs::exists(record));
  ASSERT_GT(fs::file_size(record), 0u);
  EXPECT_NE(Manager().LaunchBrowser(), kXpOk);
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(K2ImportTaskManager, TheBrowserOfTheRegistryGetsTheRecord) {
  const fs::path browser = Dir("browser");
  const fs::path answers = Root() / "browser-arguments";
  {
    std::ofstream script(browser / "fakebrowser");
    script << "#!/bin/sh\n"
           << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << answers.string()
           << ".tmp'\n"
           << "mv '" << answers.string() << ".tmp' '" << answers.string() << "'\n";
  }
  fs::permissions(browser / "fakebrowser", fs::perms::owner_all);
  {
    XpRegistry key;
    ASSERT_EQ(key.Open(Manager::kBrowserKey, XpRegistry::kRootLocalMachine,
                       XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(key.SetString(u"CurrentVersion", u"2.0"), kXpOk);
    XpRegistry version;
    ASSERT_EQ(version.Open(XpString(Manager::kBrowserKey) + u"\\2.0",
                           XpRegistry::kRootLocalMachine, XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(version.SetString(u"InstalledLocation", XpString::FromUtf8(browser.string())), kXpOk);
    ASSERT_EQ(version.SetString(u"ExeName", u"fakebrowser"), kXpOk);
  }
  AddContents(1);
  auto settings = Settings(false, false);
  ASSERT_EQ(Import(*settings), kXpOk);
  EXPECT_EQ(Manager().GetBrowserPath().ToMultiByte().ToStdString(),
            (browser / "fakebrowser").string());
  const std::string record = Manager().GetRecordFilePath().ToMultiByte().ToStdString();
  ASSERT_EQ(Manager().LaunchBrowser(), kXpOk);
  // The browser runs on its own; a few seconds at most.
  for (int wait = 0; wait < 500 && !fs::exists(answers); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadAll(answers), "/i\n" + record + "\n");
  EXPECT_TRUE(fs::exists(record));
}

// ---- Stop sequence -----------------------------------------------------------

TEST_F(K2ImportTaskManager, TheProgressWindowHoldsResumesOrStopsTheRun) {
  struct Case {
    const char* answer;
    bool stop;
    size_t imported;
  } const cases[] = {{"no", false, 3}, {"yes", true, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    fs::remove_all(Destination());
    fs::create_directories(Destination());
    fs::remove_all(Camera() / "DCIM");
    Observer().Clear();
    // The same card each time: the last run renamed its files.
    Card()->Clear();
    AddContents(3, 70000);
    NewManager();
    IK2ProgressTask& task = Manager();
    SleepCounter items(kItemPause);
    SleepCounter polls(kPausePoll);
    bool pausing = false;
    bool pausedSeen = false;
    Sleeps().SetHook([&](std::chrono::milliseconds duration) {
      // The window's stop button during the second item: the worker holds
      // until the question is answered.
      if (items.Count(duration) == 2) {
        task.Pause();
        pausing = true;
      }
      if (pausing && polls.Count(duration) == 3) {
        pausedSeen = Manager().IsPaused();
        if (c.stop) {
          task.Stop();
        } else {
          task.Resume();
        }
      }
    });
    auto settings = Settings(false, false);
    EXPECT_EQ(Import(*settings), kXpOk);
    Sleeps().SetHook(nullptr);
    EXPECT_TRUE(pausedSeen);
    EXPECT_FALSE(Manager().IsPaused());
    EXPECT_EQ(Manager().IsStopRequestedByUser(), c.stop);
    EXPECT_EQ(Manager().IsCompleted(), !c.stop);
    EXPECT_EQ(Tree(Destination() / "Album").size(), c.imported);
    DrainNotifications();
    EXPECT_EQ(Count(kXfKindInternal, Manager::kCodeImportEnded), 1u);
    EXPECT_TRUE(FromManager(kXfKindError, kXpErrStopped).empty());
  }
}

// ---- Collection --------------------------------------------------------------

TEST_F(K2ImportFromDatabase, ItemsFilesFoldersAndStepWeights) {
  // A movie with its thumbnail, then two contents of one album.
  CardContent movie;
  movie.id = 1;
  movie.path = DcfPath(7, ".MPG");
  movie.albumId = 2;
  movie.albumTitle = "Trip";
  AddContent(movie, 6000);
  task_test::WriteBytes(Camera() / DcfPath(7, ".THM"), std::string(1000, 't'));
  CardContent first;
  first.id = 2;
  first.path = DcfPath(8);
  first.albumId = 5;
  first.albumTitle = "2023/03";
  AddContent(first, 100);
  CardContent second = first;
  second.id = 3;
  second.path = DcfPath(9);
  AddContent(second, 9000);

  struct Case {
    const char* what;
    bool folderExists;
    bool removal;
    const char* albumFolder;
  } const cases[] = {
      {"fresh", false, false, "2023-03"},
      {"album folder exists", true, true, "2023-03(1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.folderExists) {
      fs::create_directories(Destination() / "2023-03");
    }
    NewManager();
    auto settings = Settings(c.removal, false);
    const Manager::Preparation preparation = Prepare(*settings);
    ASSERT_EQ(preparation.state, State::kReady);
    EXPECT_EQ(preparation.itemCount, 3u);
    EXPECT_EQ(Manager().GetFileSizes(), (std::vector<uint64_t>{6000, 1000, 100, 9000}));
    const std::string album = (Destination() / c.albumFolder).string() + "/";
    const std::vector<std::string> folders = {(Destination() / "Trip").string() + "/", album,
                                              album};
    std::vector<std::string> queued;
    for (const XpString& folder : Manager().GetQueuedFolders()) {
      queued.push_back(folder.ToMultiByte().ToStdString());
    }
    EXPECT_EQ(queued, folders);
    std::vector<double> weights;
    for (const XfProgressStep& step : Manager().GetProgressSteps()) {
      weights.push_back(step.weight);
    }
    std::vector<double> expected = {0.9 * 7000, 0.9 * 4096, 0.9 * 9000};
    if (c.removal) {
      for (double bytes : {6000.0, 4096.0, 4096.0, 9000.0}) {
        expected.push_back(0.09 * bytes);
      }
    }
    EXPECT_EQ(weights, expected);
    Manager().Stop();
    EXPECT_EQ(Manager().WaitUntilFinished(), kXpErrCancelled);
  }
}

// ---- Run ---------------------------------------------------------------------

TEST_F(K2ImportFromDatabase, RemovalWorksInChunksAndKeepsReadOnlySources) {
  constexpr int kContents = 120;
  constexpr int kReadOnly = 10;
  AddContents(kContents, 10);
  ASSERT_EQ(XpFileSetReadOnly(XpString::FromUtf8((Camera() / DcfPath(kReadOnly)).string()), true),
            kXpOk);
  auto settings = Settings(true, false);
  EXPECT_EQ(Import(*settings), kXpOk);
  EXPECT_TRUE(Manager().HasReadOnlySources());
  DrainNotifications();
  EXPECT_EQ(Count(kXfKindInternal, Manager::kCodeReadOnlyKept), 1u);
  EXPECT_EQ(Count(kXfKindInternal, Manager::kCodeRemovalBegins), 1u);
  EXPECT_EQ(Count(kXfKindInternal, Manager::kCodeFileDeleted), 119u);
  EXPECT_EQ(Tree(Destination() / "Album").size(), 120u);
  // Only the read-only picture stays, under its imported name.
  EXPECT_EQ(Tree(Camera() / "DCIM"), (Names{"100ABCDE/QMVS0010.JPG"}));
  EXPECT_EQ(Card()->Ids(), (std::vector<int64_t>{kReadOnly}));

  // Deletions, then one commit, per chunk of 50 items.
  std::vector<size_t> perCommit;
  size_t deletions = 0;
  for (const std::string& call : Ledger()->Calls()) {
    if (call.rfind("DeleteContent ", 0) == 0) {
      ++deletions;
    } else if (call == "Commit") {
      perCommit.push_back(deletions);
      deletions = 0;
    }
  }
  EXPECT_EQ(perCommit, (std::vector<size_t>{49, 50, 20}));
}

TEST_F(K2ImportFromDatabase, ADatabaseFailureDuringRemovalStillCommits) {
  AddContents(3);
  Card()->ThrowOnDelete(2);
  auto settings = Settings(true, false);
  EXPECT_EQ(Import(*settings), kK2ErrAlbumDatabase);
  EXPECT_EQ(Ledger()->Calls(),
            (Names{"GetAllContents", "DeleteContent 1", "DeleteContent 2", "Commit", "Release"}));
  DrainNotifications();
  EXPECT_EQ(Count(kXfKindError, kK2ErrAlbumDatabase), 1u);
}

TEST_F(K2ImportFromDatabase, AFailedCommitEndsTheRemovalAndIsReported) {
  constexpr int kContents = 120;
  AddContents(kContents, 10);
  Ledger()->SetCommitCode(static_cast<int32_t>(kXpErrDiskFull));
  Ledger()->FailAt(task_test::XdbOp::kCommit, 1, task_test::XdbFailure::kFail);
  auto settings = Settings(true, false);
  EXPECT_EQ(Import(*settings), kK2ErrAlbumDatabase);
  EXPECT_EQ(Manager().GetLastError(), kK2ErrAlbumDatabase);
  EXPECT_TRUE(Manager().GetRunFailure().Empty());
  // The first chunk went, and its commit failed: the later chunks stay on
  // the camera, none of their records touched.
  EXPECT_EQ(CountCalls("DeleteContent"), 50u);
  EXPECT_EQ(CountCalls("Commit"), 1u);
  EXPECT_EQ(Tree(Camera() / "DCIM").size(), static_cast<size_t>(kContents - 50));
  EXPECT_EQ(Tree(Destination() / "Album").size(), static_cast<size_t>(kContents));
  DrainNotifications();
  EXPECT_EQ(Count(kXfKindError, kK2ErrAlbumDatabase), 1u);
  EXPECT_EQ(Count(kXfKindInternal, Manager::kCodeImportEnded), 1u);
}

TEST_F(K2ImportFromDatabase, AMissingFileIsSkippedAndTheRunGoesOn) {
  AddContents(3);
  fs::remove(Camera() / DcfPath(2));
  // The size that cannot be read counts as nothing: two clusters are enough.
  Space().SetFree(2 * FreeSpaceSysCalls::kClusterBytes + Manager::kFreeSpaceReserve);
  auto settings = Settings(false, false);
  EXPECT_EQ(Import(*settings), kXpOk);
  EXPECT_EQ(Tree(Destination()), (Names{"Album/DSC00001.JPG", "Album/DSC00003.JPG"}));
  DrainNotifications();
  EXPECT_EQ(Count(kXfKindInternal, Manager::kCodeItemFailed), 1u);
  EXPECT_EQ(Manager().GetFailedItemCount(), 1u);
  const Manager::ItemFailure first = Manager().GetFirstItemFailure();
  EXPECT_EQ(first.file.ToMultiByte().ToStdString(), (Camera() / DcfPath(2)).string());
  EXPECT_NE(first.code, kXpOk);
  EXPECT_EQ(first.cause.path, (Camera() / DcfPath(2)).string());
  EXPECT_EQ(first.cause.error, ENOENT);
  EXPECT_EQ(Count(kXfKindProgress, Manager::kCodeItemStarts), 3u);
  EXPECT_EQ(Count(kXfKindInternal, Manager::kCodeImportEnded), 1u);
  EXPECT_TRUE(FromManager(kXfKindError, kXpOk).empty());
  EXPECT_TRUE(Manager().IsCompleted());
}

TEST_F(K2ImportFromDatabase, AVanishedCameraEndsTheRunAfterOnePrompt) {
  AddContents(3);
  SleepCounter items(kItemPause);
  Sleeps().SetHook([&](std::chrono::milliseconds duration) {
    if (items.Count(duration) == 2) {
      Sysfs().RemoveMount(Camera().string());
      fs::rename(Camera() / "DCIM", Root() / "unplugged");
    }
  });
  auto settings = Settings(true, false);
  EXPECT_EQ(Import(*settings), kK2ErrCameraGone);
  Sleeps().SetHook(nullptr);
  EXPECT_EQ(Manager().GetLastError(), kK2ErrCameraGone);
  DrainNotifications();
  std::vector<uint32_t> ends;
  for (const Seen& seen : FromManager()) {
    if (seen.kind == kXfKindError || seen.code == Manager::kCodeImportEnded) {
      ends.push_back(seen.code);
      if (seen.kind == kXfKindError) {
        EXPECT_EQ(seen.promptStyle, Manager::kErrorPromptStyle);
      }
    }
  }
  EXPECT_EQ(ends, (std::vector<uint32_t>{kK2ErrCameraGone, Manager::kCodeImportEnded}));
  // Nothing was removed from the camera.
  EXPECT_EQ(CountCalls("DeleteContent"), 0u);
  EXPECT_EQ(Tree(Root() / "unplugged").size(), 3u);
}

TEST_F(K2ImportFromDatabase, FavouritesGetASideFileThatTheRecordLists) {
  CardContent content;
  content.id = 1;
  content.path = DcfPath(1);
  content.favorites = 0b000101;
  AddContent(content);
  auto settings = Settings(false, false);
  ASSERT_EQ(Import(*settings), kXpOk);
  const fs::path side = Destination() / "Album" / "DSC00001.modd";
  SfModdXML modd;
  ASSERT_EQ(modd.Load(XpString::FromUtf8(side.string())), kXpOk);
  EXPECT_EQ(modd.GetFavoriteList(), (std::vector<int32_t>{1, 3}));

  XpIniDict record;
  ASSERT_EQ(record.LoadFromFile(Manager().GetRecordFilePath()), kXpOk);
  XpIniElement* files = RecordValue(record, "Files");
  ASSERT_NE(files, nullptr);
  Names listed;
  for (int32_t i = 0; i < files->GetCount(); ++i) {
    XpString path;
    ASSERT_EQ(files->GetAt(i)->GetString(&path), kXpOk);
    listed.push_back(path.ToMultiByte().ToStdString());
  }
  EXPECT_EQ(listed, (Names{(Destination() / "Album" / "DSC00001.JPG").string(), side.string()}));
}

TEST_F(K2ImportFromDatabase, ShootingDatesBecomeLocalTime) {
  SetEnv("TZ", "Asia/Tokyo");
  tzset();
  CardContent content;
  content.id = 1;
  content.path = DcfPath(1);
  content.date = XpDateTime(2023, 3, 15, 3, 0, 0);
  AddContent(content);
  auto settings = Settings(false, false);
  ASSERT_EQ(Import(*settings), kXpOk);
  XpIniDict record;
  ASSERT_EQ(record.LoadFromFile(Manager().GetRecordFilePath()), kXpOk);
  XpIniElement* date = RecordValue(record, "DateTimeOriginal");
  ASSERT_NE(date, nullptr);
  double days = 0.0;
  ASSERT_EQ(date->GetReal(&days), kXpOk);
  EXPECT_DOUBLE_EQ(days, XpDateTime(2023, 3, 15, 12, 0, 0).GetValue());
  SetEnv("TZ", "UTC");
  tzset();
}

TEST_F(K2ImportFromDatabase, ARunThatImportsNothingLeavesNoFoldersAndAnEmptyRecord) {
  CardContent content;
  content.id = 1;
  content.path = DcfPath(1);
  content.albumTitle = "Lost";
  AddContent(content, -1);
  content.id = 2;
  content.path = DcfPath(2);
  content.albumId = 3;
  content.albumTitle = "Also lost";
  AddContent(content, -1);
  fs::create_directories(Destination() / "Kept");
  auto settings = Settings(true, false);
  EXPECT_EQ(Import(*settings), kXpOk);
  EXPECT_EQ(NamesIn(Destination()), (Names{"Kept"}));
  const fs::path record = Manager().GetRecordFilePath().ToMultiByte().ToStdString();
  ASSERT_TRUE(fs::exists(record));
  EXPECT_EQ(fs::file_size(record), 0u);
  EXPECT_EQ(CountCalls("DeleteContent"), 0u);
  DestroyManager();
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(K2ImportFromDatabase, AFailedRecordSaveIsTheResultAndRemovesNothing) {
  AddContents(2);
  NewManager();
  auto settings = Settings(true, false);
  const fs::path record = settings->GetRecordFilePath().ToMultiByte().ToStdString();
  settings->SetRecordFilePath(XpString::FromUtf8(record.string()));
  testsupport::FaultInjection faults;
  faults.Add(testsupport::Fault(testsupport::SysCall::kWrite, record.parent_path().string())
                 .Errno(ENOSPC));
  const XpResult result = Import(*settings);
  EXPECT_EQ(result, kXpErrDiskFull);
  EXPECT_EQ(Manager().GetLastError(), result);
  EXPECT_EQ(Tree(Destination()).size(), 2u);
  EXPECT_EQ(Tree(Camera() / "DCIM").size(), 2u);
  EXPECT_EQ(Card()->Ids().size(), 2u);
  EXPECT_EQ(CountCalls("DeleteContent") + CountCalls("Commit"), 0u);
  DrainNotifications();
  EXPECT_EQ(Count(kXfKindError, static_cast<uint32_t>(result)), 1u);
  EXPECT_EQ(Count(kXfKindInternal, Manager::kCodeRemovalBegins), 0u);
}

TEST_F(K2ImportFromDatabase, TheCardsOwnDatabaseIsListedAndEmptied) {
  SetEnv("KAVO_GRAMMAR_DIR", KAVO_TEST_GRAMMAR_DIR);
  fs::remove_all(Camera() / "DBFILES");
  Xdb({"init"});
  Xdb({"add-album", "Trip"});
  Xdb({"add-content", "1", "100", "1", "2023-03-15 03:00:00"});
  Xdb({"add-content", "1", "100", "2", "2023-03-15 04:00:00"});
  task_test::WriteBytes(Camera() / DcfPath(1), std::string(500, 'a'));
  task_test::WriteBytes(Camera() / DcfPath(2), std::string(700, 'b'));
  ASSERT_NE(Xdb({"list"}).find("content "), std::string::npos);

  NewManager();
  Manager().SetXdbAccessorFactory(&XdbAccessor::CreateDeviceXdbAccessor);
  auto settings = Settings(true, true);
  const Manager::Preparation preparation = Prepare(*settings);
  ASSERT_EQ(preparation.state, State::kReady) << std::hex << preparation.code;
  EXPECT_EQ(preparation.itemCount, 2u);
  ASSERT_EQ(Manager().Confirm(), kXpOk);
  EXPECT_EQ(Manager().WaitUntilFinished(), kXpOk);

  EXPECT_EQ(NamesIn(Destination() / "Trip"), (Names{"DSC00001.JPG", "DSC00002.JPG"}));
  EXPECT_EQ(ReadAll(Destination() / "Trip" / "DSC00002.JPG"), std::string(700, 'b'));
  EXPECT_TRUE(NamesIn(Camera() / "DCIM" / "100ABCDE").empty());
  EXPECT_EQ(StoredHistory(), 2);
  // The records went with the files, in one sound commit.
  const std::string listed = Xdb({"list"});
  EXPECT_EQ(listed.find("content "), std::string::npos) << listed;
  Xdb({"check"});
}

// ---- History -----------------------------------------------------------------

TEST_F(K2ImportFromDatabase, TheHistoryNeverPassesAContentThatWasNotImported) {
  AddContents(5);
  const fs::path missing = Camera() / DcfPath(3);
  fs::rename(missing, Root() / "aside");
  auto settings = Settings(false, true);
  EXPECT_EQ(Import(*settings), kXpOk);
  EXPECT_FALSE(Manager().IsDifferentialSkipped());
  EXPECT_EQ(StoredHistory(), 2);
  EXPECT_EQ(Tree(Destination()).size(), 4u);

  fs::rename(Root() / "aside", missing);
  NewManager();
  auto again = Settings(false, true);
  const Manager::Preparation preparation = Prepare(*again);
  ASSERT_EQ(preparation.state, State::kReady);
  EXPECT_EQ(preparation.itemCount, 3u);
  Manager().Stop();
  (void)Manager().WaitUntilFinished();
  EXPECT_EQ(Ledger()->Calls(), (Names{"GetContentsAfterGuid 0", "Release",
                                      "GetContentsAfterGuid 2", "Release"}));
}

TEST_F(K2ImportFromDatabase, AnUnreadableSerialMakesAFullImport) {
  Sysfs().RemoveAttribute(Device().usbFolder, "serial");
  AddContents(2);
  auto settings = Settings(false, true);
  EXPECT_EQ(Import(*settings), kXpOk);
  EXPECT_TRUE(Manager().IsDifferentialSkipped());
  EXPECT_EQ(Ledger()->Calls(), (Names{"GetAllContents", "Release"}));
  EXPECT_EQ(Tree(Destination()).size(), 2u);
  EXPECT_TRUE(fs::is_empty(K2GetAppDataFolder().ToMultiByte().ToStdString()));
}

}  // namespace
}  // namespace import_test
