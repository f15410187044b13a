#include "framework/suite/SfImporterModule.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/suite/SfExtProgramEntry.h"
#include "framework/tests/suite/ImporterTestFiles.h"
#include "framework/ui/backend/XfUiAutomaticBackend.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/resource/XpResourceModule.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

constexpr const char* kImporterKey = "Software/Kavo Corporation/Kavo Telvane/Importer";
constexpr uint32_t kParentWindow = 0x1A2B;
constexpr uint32_t kStillActive = 259;
constexpr auto kObserverDeadline = std::chrono::seconds(20);

// Keeps every exit code it hears and the thread that told it.
class RecordingObserver : public ISfImporterModuleObserver {
 public:
  void OnModuleExited(uint32_t exitCode) override {
    std::lock_guard<std::mutex> lock(mutex_);
    codes_.push_back(exitCode);
    threads_.push_back(std::this_thread::get_id());
    heard_.notify_all();
  }
  bool WaitForCalls(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return heard_.wait_for(lock, kObserverDeadline, [&] { return codes_.size() >= count; });
  }
  std::vector<uint32_t> Codes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return codes_;
  }
  std::vector<std::thread::id> Threads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable heard_;
  std::vector<uint32_t> codes_;
  std::vector<std::thread::id> threads_;
};

class ImporterModuleFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    location_ = Dir("imp");
    program_ = location_ / "Imp";
    importertest::InstallFake(program_);
    versionKey_ = importertest::RegisterModule(kImporterKey, "DCF", "Imp.exe", location_);
  }

  void TearDown() override {
    importertest::Release(program_);
    host_.reset();
    if (echo_ >= 0) close(echo_);
    HermeticTest::TearDown();
  }

  // The program's user interface, on the test thread.
  XfUiHost& MakeHost() {
    echo_ = open("/dev/null", O_WRONLY | O_CLOEXEC);
    XfUiHostOptions options;
    options.catchSignals = false;
    host_ = std::make_unique<XfUiHost>(std::make_unique<XfUiAutomaticBackend>(echo_), options);
    return *host_;
  }

  fs::path Bundle() const { return location_ / "ImpLoc"; }
  void WriteStrings(const std::string& entries) const {
    importertest::WriteText(Bundle() / "strings.plist",
                            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" +
                                entries + "</dict>\n</plist>\n");
  }
  void WriteBitmap(uint32_t id) const {
    importertest::WriteText(Bundle() / "bitmaps" / (std::to_string(id) + ".bmp"), importertest::BitmapFile(4, 2));
  }
  std::unique_ptr<SfImporterModule> LoadDcf() const {
    return std::make_unique<SfImporterModule>(XpString(), u"DCF");
  }
  // A module made from an external entry that runs the fake with option.
  std::unique_ptr<SfImporterModule> FromEntry(const std::string& option) const {
    SfExtProgramEntry entry;
    entry.exePath = XpString::FromUtf8(program_.string());
    entry.option = XpString::FromUtf8(option);
    entry.installSettingName = u"Tools/Imp";
    return std::make_unique<SfImporterModule>(entry);
  }

  fs::path location_;
  fs::path program_;
  std::string versionKey_;
  int echo_ = -1;
  std::unique_ptr<XfUiHost> host_;
};

using SfImporterModule = ImporterModuleFixture;

TEST_F(SfImporterModule, KeyPathGivesNameAndId) {
  struct Case {
    const char16_t* keyPath;
    const char16_t* name;
    const char* expectedName;
    const char* expectedId;
  };
  const Case cases[] = {
      {u"Software\\Kavo Corporation\\Kavo Telvane\\Importer\\\\", u"DCF", "DCF", "Importer/DCF"},
      {u"a//b/", u"", "b", "a/b"},
      {u"Software/Kavo Corporation/Kavo Telvane/Accessor", u"HDD1", "HDD1", "Accessor/HDD1"},
      {u"single", u"", "single", "single"},
  };
  for (const Case& c : cases) {
    ::SfImporterModule module(XpString(u"Missing/Key"), u"X");
    module.SetKeyPath(c.keyPath, c.name);
    EXPECT_EQ(module.GetName().ToMultiByte().ToStdString(), c.expectedName)
        << XpString(c.keyPath).ToMultiByte().ToStdString();
    EXPECT_EQ(module.GetId().ToMultiByte().ToStdString(), c.expectedId)
        << XpString(c.keyPath).ToMultiByte().ToStdString();
  }
}

TEST_F(SfImporterModule, LoadsTextsImageAndCapabilitiesFromTheRegistryAndBundle) {
  WriteStrings("<key>301</key><string>Importer One</string>\n");
  WriteBitmap(400);
  const auto module = LoadDcf();
  EXPECT_EQ(module->GetName().ToMultiByte().ToStdString(), "DCF");
  EXPECT_EQ(module->GetId().ToMultiByte().ToStdString(), "Importer/DCF");
  EXPECT_EQ(module->GetExecutablePath().ToMultiByte().ToStdString(),
            (location_ / "Imp.exe").string());
  EXPECT_EQ(module->GetResourceLibraryPathValue().ToMultiByte().ToStdString(),
            (location_ / "ImpLoc.dll").string());
  EXPECT_EQ(module->GetVisibleName().ToMultiByte().ToStdString(), "Importer One");
  EXPECT_EQ(module->GetSettingsMenuText().ToMultiByte().ToStdString(), "DCF");
  EXPECT_EQ(module->GetComment().ToMultiByte().ToStdString(), "");
  EXPECT_TRUE(module->HasSettingsDialog());
  EXPECT_EQ(module->GetSupportedDevice(), 1u);

  const XpSharedPtr<XpPixmapBase> image = module->GetImage();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 4);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(module->GetImage().Get(), image.Get());
}

TEST_F(SfImporterModule, RegisteredIdsAndNamesChooseTheTexts) {
  importertest::SetString(versionKey_, "ResourceName", "Other.dll");
  importertest::SetDword(versionKey_, "VisibleNameStrId", 500);
  importertest::SetDword(versionKey_, "CommentStrId", 600);
  importertest::SetDword(versionKey_, "HasSettingsDialog", 0);
  importertest::SetDword(versionKey_, "SupportedDevice", 6);
  importertest::SetDword(versionKey_, "ImageBitmapId", 401);
  // id 600 is missing: the comment falls back to 302.
  importertest::WriteText(location_ / "Other" / "strings.plist",
                          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                          "<key>300</key><string>Settings</string>\n"
                          "<key>301</key><string>Not this</string>\n"
                          "<key>302</key><string>A comment</string>\n"
                          "<key>500</key><string>Five hundred</string>\n"
                          "</dict>\n</plist>\n");
  const auto module = LoadDcf();
  EXPECT_EQ(module->GetResourceLibraryPathValue().ToMultiByte().ToStdString(),
            (location_ / "Other.dll").string());
  EXPECT_EQ(module->GetSettingsMenuText().ToMultiByte().ToStdString(), "Settings");
  EXPECT_EQ(module->GetVisibleName().ToMultiByte().ToStdString(), "Five hundred");
  EXPECT_EQ(module->GetComment().ToMultiByte().ToStdString(), "A comment");
  EXPECT_FALSE(module->HasSettingsDialog());
  EXPECT_EQ(module->GetSupportedDevice(), 6u);
  EXPECT_EQ(module->GetImageId(), 401u);
}

TEST_F(SfImporterModule, LoadNeedsTheVersionKey) {
  importertest::SetString(std::string(kImporterKey) + "/NoVersion", "ExeName", "x");
  importertest::SetString(std::string(kImporterKey) + "/Gone", "CurrentVersion", "2.0");
  struct Case {
    const char16_t* name;
    XpResult expected;
  };
  const Case cases[] = {
      {u"DCF", kXpOk}, {u"Missing", kXpErrGeneric}, {u"NoVersion", kXpErrGeneric}, {u"Gone", kXpErrGeneric}};
  ::SfImporterModule module(XpString(u"Missing/Key"), u"X");
  for (const Case& c : cases) {
    // Without a key the default importer key is opened.
    EXPECT_EQ(module.Load(nullptr, c.name), c.expected)
        << XpString(c.name).ToMultiByte().ToStdString();
  }
  EXPECT_EQ(module.GetExecutablePath().ToMultiByte().ToStdString(),
            (location_ / "Imp.exe").string());
}

TEST_F(SfImporterModule, StringResourcesAreCutLikeTheirBuffer) {
  XpResourceModule library;
  library.AddString(1, XpString(std::u16string(2000, u'x')));
  library.AddString(2, u"short");
  EXPECT_EQ(::SfImporterModule::LoadStringResource(&library, 1).GetLength(), 1023);
  EXPECT_EQ(::SfImporterModule::LoadStringResource(&library, 2).ToMultiByte().ToStdString(),
            "short");
  EXPECT_EQ(::SfImporterModule::LoadStringResource(&library, 3).ToMultiByte().ToStdString(), "");
  EXPECT_EQ(::SfImporterModule::LoadStringResource(nullptr, 2).ToMultiByte().ToStdString(), "");
}

TEST_F(SfImporterModule, ALibraryThatDoesNotLoadLeavesTheDefaults) {
  importertest::SetDword(versionKey_, "ImageBitmapId", 401);
  const auto module = LoadDcf();
  EXPECT_EQ(module->GetVisibleName().ToMultiByte().ToStdString(), "DCF");
  EXPECT_EQ(module->GetSettingsMenuText().ToMultiByte().ToStdString(), "DCF");
  EXPECT_EQ(module->GetImageId(), 400u);
  EXPECT_FALSE(module->GetImage());
}

TEST_F(SfImporterModule, AnImageThatFailsLoadsOnALaterRequest) {
  WriteStrings("");
  const auto module = LoadDcf();
  EXPECT_FALSE(module->GetImage());
  WriteBitmap(400);
  const XpSharedPtr<XpPixmapBase> image = module->GetImage();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 4);
}

TEST_F(SfImporterModule, AnEntryOfTheExternalListTakesItsFields) {
  importertest::WriteText(Root() / "pic" / "imp.bmp", importertest::BitmapFile(4, 2));
  SfExtProgramEntry entry;
  entry.exePath = XpString::FromUtf8(program_.string());
  entry.settingDescription = u"Settings...";
  entry.description = u"Disc importer";
  entry.summaryString = u"Imports discs";
  entry.supportedDeviceMask = 2;
  entry.bitmapPath = XpString::FromUtf8((Root() / "pic" / "imp.bmp").string());
  entry.option = u"-x";
  entry.installSettingName = u"Suite\\Importer\\Disc";
  const ::SfImporterModule module(entry);
  EXPECT_EQ(module.GetName().ToMultiByte().ToStdString(), "Disc");
  EXPECT_EQ(module.GetId().ToMultiByte().ToStdString(), "Importer/Disc");
  EXPECT_EQ(module.GetSettingsMenuText().ToMultiByte().ToStdString(), "Settings...");
  EXPECT_EQ(module.GetVisibleName().ToMultiByte().ToStdString(), "Disc importer");
  EXPECT_EQ(module.GetComment().ToMultiByte().ToStdString(), "Imports discs");
  EXPECT_TRUE(module.HasSettingsDialog());
  EXPECT_EQ(module.GetSupportedDevice(), 2u);
  EXPECT_EQ(module.GetFixedArguments().ToMultiByte().ToStdString(), "-x");
  EXPECT_TRUE(module.IsInstalled());
  const auto copy = std::make_unique<::SfImporterModule>(entry);
  const XpSharedPtr<XpPixmapBase> image = copy->GetImage();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->height, 2);
}

TEST_F(SfImporterModule, ProgramsGetTheRequestedArguments) {
  const auto module = LoadDcf();
  const auto withOption = FromEntry("-x");
  struct Case {
    const char* call;
    std::function<XpResult()> run;
    Args expected;
  };
  uint32_t destDirCode = 1;
  const Case cases[] = {
      {"Import empty", [&] { return module->Import(u"", u"", true, nullptr); }, {}},
      {"Import folder",
       [&] {
         (void)module->SetParentWindow(kParentWindow);
         const XpResult result = module->Import(u"/p/My \"x\" dir", u"-v", true, nullptr);
         (void)module->SetParentWindow(0);
         return result;
       },
       {"/import", "/p/My \"x\" dir", "/parentwindow", "00001A2B", "-v"}},
      {"Configure",
       [&] {
         (void)withOption->SetParentWindow(kParentWindow);
         return withOption->Configure(true);
       },
       {"-x", "/config", "/parentwindow", "00001A2B"}},
      {"RunDestDir", [&] { return module->RunDestDir(nullptr, &destDirCode); }, {"/destdir"}},
  };
  for (const Case& c : cases) {
    importertest::ForgetRuns(program_);
    ASSERT_EQ(c.run(), kXpOk) << c.call;
    EXPECT_TRUE(importertest::WasRun(program_)) << c.call;
    EXPECT_EQ(importertest::RecordedArgs(program_), c.expected) << c.call;
  }
  EXPECT_EQ(destDirCode, 0u);
}

TEST_F(SfImporterModule, ImportScoreAnswersTheExitCodeOrFailure) {
  const auto module = LoadDcf();
  importertest::SetExitCode(program_, 7);
  EXPECT_EQ(module->ImportScore(u"a b"), 7u);
  EXPECT_EQ(importertest::RecordedArgs(program_), (Args{"/importscore", "a b"}));

  // A score text cannot smuggle in further arguments.
  importertest::ForgetRuns(program_);
  EXPECT_EQ(module->ImportScore(u"x\" /config \"y"), 7u);
  EXPECT_EQ(importertest::RecordedArgs(program_), (Args{"/importscore", "x\" /config \"y"}));

  fs::remove(program_);
  EXPECT_EQ(module->ImportScore(u"a"), ::SfImporterModule::kScoreNotStarted);
  EXPECT_FALSE(module->IsInstalled());
}

TEST_F(SfImporterModule, ALineOf500UnitsStartsNothing) {
  const auto module = LoadDcf();
  const XpString arguments = u" /import \"\"";
  const int32_t folderLength = 500 - module->GetExecutablePath().GetLength() - arguments.GetLength();
  ASSERT_GT(folderLength, 0);
  const XpString folder =
      XpString::FromUtf8("/" + std::string(static_cast<size_t>(folderLength - 1), 'f'));
  EXPECT_EQ(module->Import(folder, u"", true, nullptr), kXpErrBadArgument);
  EXPECT_FALSE(importertest::WasRun(program_));
  // One unit less starts it.
  EXPECT_EQ(module->Import(folder.Left(folder.GetLength() - 1), u"", true, nullptr), kXpOk);
  EXPECT_TRUE(importertest::WasRun(program_));
}

TEST_F(SfImporterModule, QuitEndsTheModalWaitAndStaysRequested) {
  XfUiHost& host = MakeHost();
  const auto module = LoadDcf();
  importertest::Hold(program_);
  bool busyDuringWait = false;
  ASSERT_TRUE(host.Post([&] {
    busyDuringWait = host.IsModalBusy();
    host.RequestQuit();
  }));
  RecordingObserver observer;
  EXPECT_EQ(module->SelectDestination(&observer, true), kXpOk);
  EXPECT_EQ(observer.Codes(), std::vector<uint32_t>{kStillActive});
  EXPECT_TRUE(busyDuringWait);
  EXPECT_FALSE(host.IsModalBusy());
  EXPECT_TRUE(host.IsQuitRequested());
}

TEST_F(SfImporterModule, TheModalWaitHandsOnTheExitCode) {
  XfUiHost& host = MakeHost();
  const auto module = LoadDcf();
  importertest::SetExitCode(program_, 3);
  RecordingObserver observer;
  EXPECT_EQ(module->SelectDestination(&observer, true), kXpOk);
  EXPECT_EQ(observer.Codes(), std::vector<uint32_t>{3});
  EXPECT_EQ(importertest::RecordedArgs(program_), Args{"/destdir"});
  EXPECT_FALSE(host.IsModalBusy());
  EXPECT_FALSE(host.IsQuitRequested());
}

TEST_F(SfImporterModule, AModalProgramThatCannotStartIsReported) {
  XfUiHost& host = MakeHost();
  const auto module = LoadDcf();
  fs::remove(program_);
  RecordingObserver observer;
  EXPECT_EQ(module->SelectDestination(&observer, true), kXpErrGeneric);
  EXPECT_TRUE(observer.Codes().empty());
  EXPECT_FALSE(host.IsModalBusy());
}

TEST_F(SfImporterModule, NonModalChoiceRunsOnAWorker) {
  const auto module = LoadDcf();
  importertest::SetExitCode(program_, 4);
  importertest::Hold(program_);
  RecordingObserver observer;
  EXPECT_EQ(module->SelectDestination(&observer, false), kXpOk);
  // The program holds, so nothing can have been heard yet.
  EXPECT_TRUE(observer.Codes().empty());
  importertest::Release(program_);
  ASSERT_TRUE(observer.WaitForCalls(1));
  EXPECT_EQ(observer.Codes(), std::vector<uint32_t>{4});
  ASSERT_EQ(observer.Threads().size(), 1u);
  EXPECT_NE(observer.Threads()[0], std::this_thread::get_id());
}

TEST_F(SfImporterModule, DestroyingTheEntryWaitsForTheWorker) {
  auto module = LoadDcf();
  importertest::Hold(program_);
  RecordingObserver observer;
  ASSERT_EQ(module->SelectDestination(&observer, false), kXpOk);
  std::thread destroyer([&module] { module.reset(); });
  // Let the program go once it has started.
  const auto deadline = std::chrono::steady_clock::now() + kObserverDeadline;
  while (!importertest::WasRun(program_) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  importertest::Release(program_);
  destroyer.join();
  EXPECT_EQ(observer.Codes(), std::vector<uint32_t>{0});
}

}  // namespace
