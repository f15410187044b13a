#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/app/ExclusionChecker.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "accessor/tests/import/ImportManagerTestSupport.h"
#include "accessor/tests/tools/ExportFixture.h"
#include "accessor/tools/K2DemoTool.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using import_test::CardContent;
using import_test::ImportCard;

constexpr auto kPauseLimit = std::chrono::seconds(20);
constexpr int64_t kFileBytes = 100;

// The application's import manager over the fake album database; the
// first deletion from the camera can wait until the progress window pauses
// the run to ask whether to stop.
class FlowImportManager : public K2ImportTaskManager {
 public:
  bool holdFirstDeletionUntilPaused = false;

  ~FlowImportManager() override { static_cast<void>(WaitUntilFinished()); }

  bool OnFileOpProgress(double percent) override {
    if (holdFirstDeletionUntilPaused && !held_) {
      held_ = true;
      std::unique_lock<std::mutex> lock(mutex_);
      pausedSeen_.wait_for(lock, kPauseLimit, [this] { return paused_; });
    }
    return K2ImportTaskManager::OnFileOpProgress(percent);
  }

  void Pause() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      paused_ = true;
    }
    pausedSeen_.notify_all();
    K2ImportTaskManager::Pause();
  }

 private:
  bool held_ = false;
  std::mutex mutex_;
  std::condition_variable pausedSeen_;
  bool paused_ = false;
};

// The program's process object over the test's import manager, with both
// output streams kept.
class ImportFlowApp : public CK2AccessorWinApp {
 public:
  ImportFlowApp(XfUiHost& host, const XpString& folder, FlowImportManager& manager)
      : CK2AccessorWinApp(host, folder), manager_(manager) {
    SetRequiredFiles({});
  }

  std::vector<std::string> errorLines;
  std::vector<std::string> outputLines;

 protected:
  K2ImportTaskManager& GetImportTaskManager() override { return manager_; }
  void WriteErrorLine(const std::string& line) override { errorLines.push_back(line); }
  void WriteOutputLine(const std::string& line) override { outputLines.push_back(line); }

 private:
  FlowImportManager& manager_;
};

class K2ImportFlow : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    program_ = Dir("program");
    for (const char* name : {"Strings.xml", "PreviousBrowserStrings.xml", "PreviousCommonStrings.xml"}) {
      fs::copy_file(KAVO_ACCESSOR_TEST_STRINGS, program_ / name);
    }
    fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    testsupport::FakeVolume camera;
    camera.mountPoint = Cam().string();
    camera.vendorId = export_fixture::kCameraVendor;
    camera.productId = export_fixture::kCameraProduct;
    camera.serial = "A1B2";
    fake_->AddVolume(camera);
    fs::create_directories(Cam() / "DBFILES");
    fs::create_directories(Pictures());
    card_ = std::make_shared<ImportCard>(Cam());
    manager_ = std::make_unique<FlowImportManager>();
    manager_->SetXdbAccessorFactory(
        import_test::MakeImportXdbFactory(std::make_shared<task_test::XdbLedger>(), card_));
  }

  void TearDown() override {
    app_.reset();
    host_.reset();
    manager_.reset();
    XfSetStringsSource(XpSharedPtr<IXfStringsSource>());
    HermeticTest::TearDown();
  }

  fs::path Cam() const { return Root() / "cam"; }
  fs::path Pictures() const { return Root() / "home" / "Pictures"; }
  fs::path Documents() const { return Root() / "home" / "Documents"; }

  // Two pictures on the camera, listed in one album.
  void AddTwoPictures() {
    for (int64_t id : {1, 2}) {
      CardContent content;
      content.id = id;
      content.path = "DCIM/100ABCDE/DSC0000" + std::to_string(id) + ".JPG";
      export_fixture::WriteBytes(Cam() / content.path, std::string(kFileBytes, static_cast<char>('a' + id)));
      card_->Add(content);
    }
  }

  int Run(const std::string& script, const fs::path& importPath) {
    host_ = ui_test::MakeScriptedHost(script, lines_);
    app_ = std::make_unique<ImportFlowApp>(*host_, XpString::FromUtf8(program_.string()) + u"/",
                                           *manager_);
    const std::string path = importPath.string();
    const char* argv[] = {"TLVK2Accessor", "-import", path.c_str()};
    return app_->Run(3, argv);
  }

  std::vector<std::string> Boxes() const { return ui_test::LinesStartingWith(*lines_, "box \""); }
  std::string Transcript() const {
    std::string text;
    for (const std::string& line : *lines_) text += line + "\n";
    return text;
  }

  fs::path program_;
  std::unique_ptr<testsupport::FakeSysfs> fake_;
  std::shared_ptr<ImportCard> card_;
  ui_test::Lines lines_ = std::make_shared<std::vector<std::string>>();
  std::unique_ptr<FlowImportManager> manager_;
  std::unique_ptr<XfUiHost> host_;
  std::unique_ptr<ImportFlowApp> app_;
};

TEST_F(K2ImportFlow, EachEndGivesItsBoxesAndExitStatus) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string script;
    // Where the import points; the camera when empty.
    fs::path importPath;
    // Each box in order, as a part of its transcript line.
    std::vector<std::string> boxes;
    int status;
    // Standard error lines, and a part of the first.
    size_t errorLines;
    std::string errorPart;
    bool cameraUnchanged;
  };
  std::unique_ptr<ExclusionChecker> otherImport;
  const std::string confirm = "\"[UI/ImportConfirm/0-0]\" \"[Messages/Confirms/ImportStartAndRemove] 2 " +
                              Pictures().string() + "\" style 0x21 ";
  const std::vector<Case> cases = {
      {"an empty database", nullptr, "box * press ok\n", {},
       {"\"[UI/ImportConfirm/0-0]\" \"[Messages/Warnings/NoNewImages]\" style 0x40 "}, 0, 0, "", true},
      {"cancel at the confirmation", [this] { AddTwoPictures(); }, "box \"ImportStart\" press cancel\n", {},
       {confirm}, 2, 0, "", true},
      {"the exclusion refused",
       [&] {
         AddTwoPictures();
         otherImport = std::make_unique<ExclusionChecker>();
         ASSERT_EQ(otherImport->Check(kExclusionDirectionImport), kExclusionNone);
       },
       "", {}, {}, 1, 1, "refused", true},
      // The folder of a camera that was pulled out.
      {"a path on no mounted volume", [this] { AddTwoPictures(); }, "", Root() / "unplugged" / "cam", {}, 1, 1,
       "is not a folder on a mounted volume", true},
      // Without a pictures folder the destination is the documents folder,
      // which this home lacks too.
      {"no destination folder",
       [this] {
         AddTwoPictures();
         fs::remove_all(Pictures());
       },
       "box * press ok\n", {}, {"\"[UI/ImportConfirm/0-0]\" \"[Messages/Errors/UnkownError]\""}, 1, 1,
       "the import cannot start: the destination folder " + Documents().string() +
           " is not an existing folder (0x8106): stat " + Documents().string() + ": No such file or directory",
       true},
      {"yes to the stop question",
       [this] {
         AddTwoPictures();
         manager_->holdFirstDeletionUntilPaused = true;
       },
       "option clock real\nbox \"ImportStart\" press ok\nform 132 press 2\nbox \"ImportingStop\" press yes\n", {},
       {confirm, "\"[UI/ImportProgress/0-0]\" \"[Messages/Confirms/ImportingStop]\""}, 2, 0, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app_.reset();
    host_.reset();
    manager_ = std::make_unique<FlowImportManager>();
    manager_->SetXdbAccessorFactory(
        import_test::MakeImportXdbFactory(std::make_shared<task_test::XdbLedger>(), card_));
    card_->Clear();
    fs::remove_all(Cam() / "DCIM");
    fs::remove_all(Pictures());
    fs::create_directories(Pictures());
    lines_->clear();
    otherImport.reset();
    if (c.arrange) c.arrange();
    const auto camBefore = export_fixture::Snapshot(Cam());

    EXPECT_EQ(Run(c.script, c.importPath.empty() ? Cam() : c.importPath), c.status) << Transcript();

    const std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), c.boxes.size()) << Transcript();
    for (size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_THAT(boxes[i], HasSubstr(c.boxes[i]));
    }
    ASSERT_EQ(app_->errorLines.size(), c.errorLines) << ::testing::PrintToString(app_->errorLines);
    if (c.errorLines > 0) {
      EXPECT_THAT(app_->errorLines[0], HasSubstr(c.errorPart));
    }
    EXPECT_THAT(app_->outputLines, ::testing::IsEmpty());
    if (c.cameraUnchanged) {
      EXPECT_EQ(export_fixture::Snapshot(Cam()), camBefore);
      EXPECT_THAT(export_fixture::Snapshot(Pictures()), ::testing::IsEmpty());
    }
  }
}

TEST_F(K2ImportFlow, AConfirmedImportListsItsCopiesAndEmptiesTheCamera) {
  AddTwoPictures();
  const std::string first = export_fixture::ReadBytes(Cam() / "DCIM/100ABCDE/DSC00001.JPG");

  EXPECT_EQ(Run("option clock real\nbox \"ImportStart\" press ok\n", Cam()), 0) << Transcript();

  const fs::path album = Pictures() / "Album";
  EXPECT_THAT(app_->outputLines, ::testing::ElementsAre((album / "DSC00001.JPG").string(),
                                                        (album / "DSC00002.JPG").string()));
  EXPECT_EQ(export_fixture::ReadBytes(album / "DSC00001.JPG"), first);
  EXPECT_FALSE(fs::exists(Cam() / "DCIM/100ABCDE/DSC00001.JPG"));
  EXPECT_FALSE(fs::exists(Cam() / "DCIM/100ABCDE/DSC00002.JPG"));
  EXPECT_THAT(card_->Ids(), ::testing::IsEmpty());
  EXPECT_THAT(app_->errorLines, ::testing::IsEmpty());
  // No browser: the record is not kept.
  EXPECT_FALSE(fs::exists(manager_->GetRecordFilePath().ToMultiByte().ToStdString()));
}

TEST_F(K2ImportFlow, SkippedItemsEndTheRunWithOneLineNamingTheFirst) {
  struct Case {
    const char* name;
    // The contents whose camera file is missing.
    std::vector<int64_t> missing;
    // The copies listed on standard output.
    std::vector<std::string> listed;
    std::string errorLine;
  };
  const fs::path album = Pictures() / "Album";
  const auto cameraFile = [this](int64_t id) {
    return (Cam() / ("DCIM/100ABCDE/DSC0000" + std::to_string(id) + ".JPG")).string();
  };
  const auto missingCause = [&](int64_t id) {
    return " (0x8105): open " + cameraFile(id) + ": No such file or directory";
  };
  const std::vector<Case> cases = {
      {"one of three", {2}, {(album / "DSC00001.JPG").string(), (album / "DSC00003.JPG").string()},
       "TLVK2Accessor: 1 item was not imported: " + cameraFile(2) + missingCause(2)},
      {"two of three", {1, 3}, {(album / "DSC00002.JPG").string()},
       "TLVK2Accessor: 2 items were not imported, the first: " + cameraFile(1) + missingCause(1)},
      // Nothing imported: no record to list, and still one line.
      {"all three", {1, 2, 3}, {},
       "TLVK2Accessor: 3 items were not imported, the first: " + cameraFile(1) + missingCause(1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app_.reset();
    host_.reset();
    manager_ = std::make_unique<FlowImportManager>();
    manager_->SetXdbAccessorFactory(
        import_test::MakeImportXdbFactory(std::make_shared<task_test::XdbLedger>(), card_));
    card_->Clear();
    fs::remove_all(Cam() / "DCIM");
    fs::remove_all(Pictures());
    fs::create_directories(Pictures());
    lines_->clear();
    for (int64_t id : {1, 2, 3}) {
      CardContent content;
      content.id = id;
      content.path = "DCIM/100ABCDE/DSC0000" + std::to_string(id) + ".JPG";
      export_fixture::WriteBytes(Cam() / content.path, std::string(kFileBytes, static_cast<char>('a' + id)));
      card_->Add(content);
    }
    for (int64_t id : c.missing) fs::remove(cameraFile(id));
    // Each case starts without the camera's history of the one before.
    fs::remove(fs::path(K2GetAppDataFolder().ToMultiByte().ToStdString()) / "DCFIND_A1B2.dat");

    EXPECT_EQ(Run("option clock real\nbox \"ImportStart\" press ok\n", Cam()), 1) << Transcript();

    EXPECT_THAT(app_->errorLines, ::testing::ElementsAre(c.errorLine));
    EXPECT_EQ(app_->outputLines, c.listed);
    // What was imported left the camera; the skipped contents stay listed.
    EXPECT_EQ(card_->Ids(), c.missing);
    EXPECT_THAT(export_fixture::Snapshot(Cam() / "DCIM/100ABCDE"), ::testing::IsEmpty());
    EXPECT_EQ(manager_->GetFailedItemCount(), c.missing.size());
  }
}

// The demo camera of "k2demo setup-import" with its own album database:
// five contents in two albums.
class K2ImportFlowOnTheCard : public K2ImportFlow {
 protected:
  void SetUp() override {
    K2ImportFlow::SetUp();
    MakeCard();
  }

  // A fresh card, an empty pictures folder, no history and a new manager
  // on the card's database.
  void MakeCard() {
    app_.reset();
    host_.reset();
    lines_->clear();
    fs::remove_all(Cam());
    fs::remove_all(Pictures());
    fs::create_directories(Pictures());
    fs::remove(fs::path(K2GetAppDataFolder().ToMultiByte().ToStdString()) / "DCFIND_A1B2.dat");
    std::ostringstream out;
    std::ostringstream err;
    ::K2DemoTool tool(out, err);
    ASSERT_EQ(tool.Run({"setup-import", Root().string()}), ::K2DemoTool::kDone) << err.str();
    NewManager();
  }

  void NewManager() {
    manager_ = std::make_unique<FlowImportManager>();
    manager_->SetXdbAccessorFactory(&XdbAccessor::CreateDeviceXdbAccessor);
  }

  // The files the card's album database lists at its next open.
  std::vector<std::string> Listed() const {
    std::vector<std::string> names;
    XdbAccessor::IXdbReader* reader = nullptr;
    EXPECT_EQ(XdbAccessor::CreateXdbReader(&reader, XpString::FromUtf8(Cam().string()) + u"/"),
              kXpOk);
    if (reader == nullptr) return names;
    {
      std::unique_ptr<XdbAccessor::IContentList> contents(reader->GetAllContents());
      for (int32_t position = 0; contents && position < contents->GetCount(); ++position) {
        names.push_back(fs::path(contents->GetAt(position)->GetPath().ToMultiByte().ToStdString())
                            .filename()
                            .string());
      }
    }
    reader->Release();
    return names;
  }

  std::vector<std::string> PicturesOnThePc() const {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : export_fixture::Snapshot(Pictures())) {
      if (bytes != "<folder>") names.push_back(name);
    }
    return names;
  }

  testsupport::FaultInjection faults_;
};

// A history that cannot be saved is told, with its file and why, and the
// run exits 1: the next import trusts the history. What was copied stays.
TEST_F(K2ImportFlowOnTheCard, AHistoryThatCannotBeSavedIsToldAndTheRunFails) {
  const std::string history =
      (fs::path(K2GetAppDataFolder().ToMultiByte().ToStdString()) / "DCFIND_A1B2.dat").string();
  // The first save makes the file when the run starts; the saves after
  // each item fail.
  faults_.Add(testsupport::Fault(testsupport::SysCall::kRename, history).Errno(EIO).FromCall(2));

  const int status = Run("option clock real\nbox \"ImportStart\" press ok\nbox * press ok\n", Cam());
  faults_.Clear();

  EXPECT_EQ(status, 1) << Transcript();
  ASSERT_EQ(app_->errorLines.size(), 1u) << ::testing::PrintToString(app_->errorLines);
  EXPECT_THAT(app_->errorLines[0],
              ::testing::StartsWith("TLVK2Accessor: the import history " + history +
                                    " was not saved; the next import may copy these contents again (0x"));
  EXPECT_THAT(app_->errorLines[0], HasSubstr("): rename "));
  EXPECT_THAT(app_->errorLines[0], ::testing::EndsWith(": Input/output error"));
  EXPECT_EQ(PicturesOnThePc().size(), 7u);
}

// A commit of the removal that fails: the camera's files are gone, the
// database at its next open still lists them (the change did not happen),
// the run says why and exits 1; the next import copies nothing twice.
TEST_F(K2ImportFlowOnTheCard, AFailedCommitOfTheRemovalIsToldWithItsCauseAndExitsOne) {
  struct Case {
    const char* name;
    testsupport::SysCall call;
    int error;
    std::string cause;
  };
  const std::string workCopy = (Cam() / "DBFILES.tmp").string();
  const std::vector<Case> cases = {
      {"the card's sync fails", testsupport::SysCall::kSyncfs, EIO, ": Input/output error"},
      {"the card is full", testsupport::SysCall::kWrite, ENOSPC, ": No space left on device"},
  };
  const std::vector<std::string> imported = {"2023-03/DSC00003.JPG", "2023-03/DSC00004.JPG", "2023-03/DSC00005.MPG",
                                             "2023-03/DSC00005.THM", "Trip/DSC00001.JPG",    "Trip/DSC00001.modd",
                                             "Trip/DSC00002.JPG"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (&c != &cases.front()) MakeCard();
    ASSERT_EQ(Listed().size(), 5u);
    faults_.Add(testsupport::Fault(c.call, workCopy).Errno(c.error));

    const int status = Run("option clock real\nbox \"ImportStart\" press ok\nbox * press ok\n", Cam());
    faults_.Clear();

    EXPECT_EQ(status, 1) << Transcript();
    EXPECT_THAT(Boxes(), ::testing::ElementsAre(HasSubstr("[Messages/Confirms/ImportStartAndRemove] 5 "),
                                                HasSubstr("\"[Messages/Errors/XdbAccessError]\"")));
    ASSERT_EQ(app_->errorLines.size(), 1u) << ::testing::PrintToString(app_->errorLines);
    EXPECT_THAT(app_->errorLines[0],
                ::testing::StartsWith("TLVK2Accessor: the import of " + Cam().string() + " failed (0xC000): "));
    EXPECT_THAT(app_->errorLines[0], HasSubstr(" " + workCopy));
    EXPECT_THAT(app_->errorLines[0], ::testing::EndsWith(c.cause));
    EXPECT_EQ(PicturesOnThePc(), imported);
    EXPECT_THAT(export_fixture::Snapshot(Cam() / "DCIM/100ABCDE"), ::testing::IsEmpty());
    EXPECT_EQ(Listed().size(), 5u);

    app_.reset();
    host_.reset();
    lines_->clear();
    NewManager();
    EXPECT_EQ(Run("box * press ok\n", Cam()), 0) << Transcript();
    EXPECT_THAT(Boxes(), ::testing::ElementsAre(HasSubstr("[Messages/Warnings/NoNewImages]")));
    EXPECT_EQ(PicturesOnThePc(), imported);
  }
}

}  // namespace
