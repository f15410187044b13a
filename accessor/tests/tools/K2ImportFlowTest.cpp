#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/app/ExclusionChecker.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/tests/import/ImportManagerTestSupport.h"
#include "accessor/tests/tools/ExportFixture.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using import_test::CardContent;
using import_test::ImportCard;

constexpr auto kPauseLimit = std::chrono::seconds(20);
constexpr int64_t kFileBytes = 100;

XpString Wide(const fs::path& path) { return XpStringA(path.string().c_str()).ToWide(); }
std::string Narrow(const XpString& text) { return std::string(text.ToMultiByte().CStr()); }

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
    app_ = std::make_unique<ImportFlowApp>(*host_, Wide(program_) + u"/", *manager_);
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
    const char* errorPart;
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
  EXPECT_FALSE(fs::exists(Narrow(manager_->GetRecordFilePath())));
}

}  // namespace
