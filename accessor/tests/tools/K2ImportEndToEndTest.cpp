#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "accessor/import/K2DifferentialHistory.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "accessor/tests/app/AccessorTestSupport.h"
#include "accessor/tests/tools/ExportFixture.h"
#include "accessor/tools/K2DemoTool.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "framework/suite/SfModdXML.h"
#include "platform/fs/XpRestarted.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/text/XpStringA.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using export_fixture::ReadBytes;
using export_fixture::Snapshot;

constexpr const char* kConfirmImport = "option clock real\nbox \"ImportStart\" press ok\n";
constexpr const char* kCameraFolder = "DCIM/100ABCDE";

// The guids of the contents that the card's album database lists.
std::vector<int64_t> StoredGuids(const fs::path& card) {
  std::vector<int64_t> guids;
  XdbAccessor::IXdbReader* reader = nullptr;
  EXPECT_EQ(XdbAccessor::CreateXdbReader(&reader, XpString::FromUtf8(card.string()) + u"/"), kXpOk);
  if (reader == nullptr) return guids;
  {
    std::unique_ptr<XdbAccessor::IContentList> contents(reader->GetAllContents());
    for (int32_t position = 0; contents && position < contents->GetCount(); ++position) {
      guids.push_back(contents->GetAt(position)->GetGuid());
    }
  }
  reader->Release();
  return guids;
}

// What the card's album database lists: "album title/file name" of each
// content.
std::vector<std::string> StoredAlbumFiles(const fs::path& card) {
  std::vector<std::string> files;
  XdbAccessor::IXdbReader* reader = nullptr;
  EXPECT_EQ(XdbAccessor::CreateXdbReader(&reader, XpString::FromUtf8(card.string()) + u"/"), kXpOk);
  if (reader == nullptr) return files;
  {
    std::unique_ptr<XdbAccessor::IContentList> contents(reader->GetAllContents());
    for (int32_t position = 0; contents && position < contents->GetCount(); ++position) {
      const XdbAccessor::IContentInfo* content = contents->GetAt(position);
      XdbAccessor::IAlbumInfo* album = content->GetAlbum();
      const std::string title =
          album != nullptr ? album->GetTitle().ToMultiByte().ToStdString() : "";
      if (album != nullptr) album->Release();
      files.push_back(title + "/" +
                      fs::path(content->GetPath().ToMultiByte().ToStdString()).filename().string());
    }
  }
  reader->Release();
  std::sort(files.begin(), files.end());
  return files;
}

// The files below folder, relative, whose extension is extension.
std::vector<std::string> FilesWithExtension(const fs::path& folder, const std::string& extension) {
  std::vector<std::string> found;
  if (!fs::exists(folder)) return found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().extension() == extension) {
      found.push_back(entry.path().lexically_relative(folder).string());
    }
  }
  return found;
}

// The camera of "k2demo setup-import" under the test's root, the home
// folder Root()/user and the program copy that runs on it.
class K2ImportEndToEnd : public accessor_test::AccessorTest {
 protected:
  void SetUp() override {
    AccessorTest::SetUp();
    SetEnv("HOME", User().string());
    SetEnv("XDG_CONFIG_HOME", (User() / ".config").string());
    SetEnv("XDG_DATA_HOME", (User() / ".local" / "share").string());
    SetEnv("XDG_CACHE_HOME", (User() / ".cache").string());
    std::ostringstream out;
    std::ostringstream err;
    K2DemoTool tool(out, err);
    ASSERT_EQ(tool.Run({"setup-import", Root().string()}), K2DemoTool::kDone) << err.str();
    original_ = Snapshot(Cam());
  }

  fs::path Cam() const { return Root() / "cam"; }
  fs::path User() const { return Root() / "user"; }
  fs::path Pictures() const { return User() / "Pictures"; }
  std::string Original(const std::string& relative) const { return original_.at(relative); }

  std::vector<std::string> Boxes(const accessor_test::ProgramRun& run) const {
    return accessor_test::LinesStartingWith(accessor_test::SplitLines(run.transcript), "box \"");
  }

  // The program copy on the automatic back end (no script), standard
  // output and error kept.
  accessor_test::ProgramRun RunAutomatic(const std::vector<std::string>& args) {
    const fs::path program = ProgramCopy();
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      if (text.rfind("KAVO_UI_", 0) != 0) environment.push_back(text);
    }
    std::vector<char*> envp;
    for (std::string& text : environment) envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvText{program.string()};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvText) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const fs::path outPath = Root() / "auto-out.txt";
    const fs::path errPath = Root() / "auto-err.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    accessor_test::ProgramRun run;
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << program << ": " << std::strerror(spawned);
      return run;
    }
    int status = 0;
    if (XpRestarted([&] { return waitpid(pid, &status, 0); }) < 0) {
      ADD_FAILURE() << "cannot wait for " << program << ": " << std::strerror(errno);
      return run;
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadBytes(outPath);
    run.err = ReadBytes(errPath);
    return run;
  }

  std::map<std::string, std::string> original_;
};

TEST_F(K2ImportEndToEnd, ImportsTheAlbumsEmptiesTheCameraAndFindsNothingNewTheSecondTime) {
  const std::vector<int64_t> guids = StoredGuids(Cam());
  ASSERT_EQ(guids.size(), 5u);

  const accessor_test::ProgramRun run = RunProgramCopy({"--yes", "-import", Cam().string()}, kConfirmImport);

  ASSERT_EQ(run.status, 0) << run.err << run.transcript;
  const fs::path trip = Pictures() / "Trip";
  const fs::path march = Pictures() / "2023-03";
  std::vector<std::string> landed;
  for (const auto& [name, bytes] : Snapshot(Pictures())) landed.push_back(name);
  EXPECT_THAT(landed, ::testing::ElementsAre("2023-03", "2023-03/DSC00003.JPG", "2023-03/DSC00004.JPG",
                                             "2023-03/DSC00005.MPG", "2023-03/DSC00005.THM", "Trip",
                                             "Trip/DSC00001.JPG", "Trip/DSC00001.modd", "Trip/DSC00002.JPG"));
  EXPECT_EQ(ReadBytes(trip / "DSC00001.JPG"), Original("DCIM/100ABCDE/DSC00001.JPG"));
  EXPECT_EQ(ReadBytes(trip / "DSC00002.JPG"), Original("DCIM/100ABCDE/DSC00002.JPG"));
  SfModdXML modd;
  ASSERT_EQ(modd.Load(XpString::FromUtf8((trip / "DSC00001.modd").string())), kXpOk);
  EXPECT_EQ(modd.GetFavoriteList(), (std::vector<int32_t>{1, 3}));
  for (const char* name : {"DSC00003.JPG", "DSC00004.JPG", "DSC00005.MPG", "DSC00005.THM"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadBytes(march / name), Original(std::string(kCameraFolder) + "/" + name));
  }
  EXPECT_EQ(accessor_test::SplitLines(run.out),
            (std::vector<std::string>{(trip / "DSC00001.JPG").string(), (trip / "DSC00002.JPG").string(),
                                      (march / "DSC00003.JPG").string(), (march / "DSC00004.JPG").string(),
                                      (march / "DSC00005.MPG").string(), (march / "DSC00005.THM").string()}));
  EXPECT_TRUE(fs::is_empty(Cam() / kCameraFolder));
  EXPECT_THAT(StoredGuids(Cam()), ::testing::IsEmpty());
  K2DifferentialHistory history(u"A1B2", K2GetAppDataFolder());
  ASSERT_EQ(history.Load(), kXpOk);
  EXPECT_EQ(history.GetMax(), *std::max_element(guids.begin(), guids.end()));
  EXPECT_THAT(FilesWithExtension(User() / ".local" / "share" / "Kavo Corporation" / "QMV" / "ImportData", ".xml"),
              ::testing::IsEmpty());

  const auto pcAfterFirst = Snapshot(Pictures());
  const accessor_test::ProgramRun second = RunProgramCopy({"--yes", "-import", Cam().string()}, "box * press ok\n");

  EXPECT_EQ(second.status, 0) << second.err << second.transcript;
  EXPECT_THAT(Boxes(second), ::testing::ElementsAre(HasSubstr("\"[Messages/Warnings/NoNewImages]\" style 0x40 ")));
  EXPECT_EQ(Snapshot(Pictures()), pcAfterFirst);
  EXPECT_TRUE(second.out.empty()) << second.out;
}

TEST_F(K2ImportEndToEnd, CancelAtTheConfirmationLeavesThePcAndTheCameraAsTheyWere) {
  const accessor_test::ProgramRun run =
      RunProgramCopy({"-import", Cam().string()}, "box \"ImportStart\" press cancel\n");

  EXPECT_EQ(run.status, 2) << run.err << run.transcript;
  EXPECT_THAT(Boxes(run), ::testing::ElementsAre(HasSubstr("[Messages/Confirms/ImportStartAndRemove] 5 ")));
  EXPECT_THAT(Snapshot(Pictures()), ::testing::IsEmpty());
  EXPECT_EQ(Snapshot(Cam()), original_);
}

TEST_F(K2ImportEndToEnd, TheAutomaticBackEndDeclinesTheImportWithoutYes) {
  const accessor_test::ProgramRun run = RunAutomatic({"-import", Cam().string()});

  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_THAT(run.err, HasSubstr("-> Cancel"));
  EXPECT_THAT(Snapshot(Pictures()), ::testing::IsEmpty());
  EXPECT_EQ(Snapshot(Cam()), original_);
}

TEST_F(K2ImportEndToEnd, AForeignDatabaseIsRefusedBeforeAnythingIsCopiedOrRemoved) {
  fs::remove_all(Cam() / "DBFILES");
  export_fixture::WriteBytes(Cam() / "DBFILES" / "CATALOG.DB", "a database of another maker");
  const auto card = Snapshot(Cam());

  const accessor_test::ProgramRun run = RunProgramCopy({"--yes", "-import", Cam().string()}, "box * press ok\n");

  EXPECT_EQ(run.status, 1) << run.err << run.transcript;
  EXPECT_THAT(Boxes(run), ::testing::ElementsAre(HasSubstr("\"[Messages/Errors/XdbAccessError]\"")));
  EXPECT_EQ(Snapshot(Cam()), card);
  EXPECT_THAT(Snapshot(Pictures()), ::testing::IsEmpty());
}

TEST_F(K2ImportEndToEnd, SalvageMovesTheNumberedFolderToADatedFolder) {
  const accessor_test::ProgramRun run =
      RunProgramCopy({"--yes", "-salvage", Cam().string()}, "option clock real\nbox \"SalvageStart\" press ok\n");

  ASSERT_EQ(run.status, 0) << run.err << run.transcript;
  const std::string confirm =
      "\"[UI/SalvageReport/0-0]\" \"[Messages/Confirms/SalvageStart] 3 " + Pictures().string() + "\" style 0x21 ";
  EXPECT_THAT(Boxes(run), ::testing::ElementsAre(HasSubstr(confirm)));
  EXPECT_FALSE(fs::exists(Cam() / "DCIM.001"));
  std::vector<fs::path> dated;
  for (const auto& entry : fs::directory_iterator(Pictures())) dated.push_back(entry.path());
  ASSERT_EQ(dated.size(), 1u);
  std::vector<std::string> names;
  for (const auto& [name, bytes] : Snapshot(dated[0])) names.push_back(name);
  EXPECT_THAT(names, ::testing::ElementsAre("DSC00010.JPG", "NOTE.TXT"));
  EXPECT_EQ(ReadBytes(dated[0] / "DSC00010.JPG"), Original("DCIM.001/DSC00010.JPG"));
  EXPECT_EQ(ReadBytes(dated[0] / "NOTE.TXT"), Original("DCIM.001/NOTE.TXT"));
  // The import's folder and database are not the salvage's.
  EXPECT_EQ(ReadBytes(Cam() / kCameraFolder / "DSC00001.JPG"), Original("DCIM/100ABCDE/DSC00001.JPG"));
  EXPECT_EQ(StoredGuids(Cam()).size(), 5u);
}

TEST_F(K2ImportEndToEnd, SalvageWithoutTheCameraRootFailsWithOneLine) {
  const accessor_test::ProgramRun run = RunProgramCopy({"--yes", "-salvage"}, "");

  EXPECT_EQ(run.status, 1) << run.transcript;
  EXPECT_THAT(accessor_test::SplitLines(run.err), ::testing::ElementsAre(HasSubstr("-salvage needs the camera root")));
  EXPECT_EQ(Snapshot(Cam()), original_);
}

// The export demo's camera ("k2demo setup"), plugged in with a serial so
// that the import keeps its history, and a pictures folder to import into.
class K2ExportImportRoundTrip : public K2ImportEndToEnd {
 protected:
  void SetUp() override {
    accessor_test::AccessorTest::SetUp();
    SetEnv("HOME", User().string());
    SetEnv("XDG_CONFIG_HOME", (User() / ".config").string());
    SetEnv("XDG_DATA_HOME", (User() / ".local" / "share").string());
    SetEnv("XDG_CACHE_HOME", (User() / ".cache").string());
    fs::create_directories(Pictures());
    std::ostringstream out;
    std::ostringstream err;
    K2DemoTool tool(out, err);
    ASSERT_EQ(tool.Run({"setup", Root().string()}), K2DemoTool::kDone) << err.str();
    testsupport::FakeSysfs fake(Root() / "sysroot");
    testsupport::FakeVolume volume;
    volume.mountPoint = Cam().string();
    volume.vendorId = K2DemoTool::kCameraVendorId;
    volume.productId = K2DemoTool::kCameraProductId;
    volume.serial = kSerial;
    volume.label = "CAMERA";
    fake.AddVolume(volume);
  }

  static constexpr const char16_t* kSerialName = u"A1B2";
  static constexpr const char* kSerial = "A1B2";
};

TEST_F(K2ExportImportRoundTrip, TheImportBringsBackEveryExportedFileEmptiesTheCameraAndFindsNothingNewAfter) {
  const auto cameraBefore = Snapshot(Cam());
  const accessor_test::ProgramRun exported = RunAutomatic({"-export", (Root() / "h.xml").string(), "--yes"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  const std::vector<std::string> listed = StoredAlbumFiles(Cam());
  ASSERT_EQ(listed, (std::vector<std::string>{"Party/QMVM0006.MPG", "Party/QMVS0007.JPG", "Trip/QMVS0008.JPG",
                                              "Trip/QMVS0009.JPG"}));
  const std::vector<int64_t> guids = StoredGuids(Cam());
  const auto cameraExported = Snapshot(Cam());
  const std::string folder = std::string(kCameraFolder) + "/";
  // The movie's thumbnail travels with it.
  std::vector<std::string> expected = listed;
  expected.push_back("Party/QMVM0006.THM");
  std::sort(expected.begin(), expected.end());

  const accessor_test::ProgramRun imported = RunAutomatic({"--yes", "-import", Cam().string()});

  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_THAT(imported.err, ::testing::Not(HasSubstr("TLVK2Accessor:"))) << imported.err;
  std::vector<std::string> landed;
  for (const auto& [name, bytes] : Snapshot(Pictures())) {
    if (name.find('/') != std::string::npos) landed.push_back(name);
  }
  EXPECT_EQ(landed, expected);
  for (const std::string& name : expected) {
    SCOPED_TRACE(name);
    const std::string leaf = fs::path(name).filename().string();
    EXPECT_EQ(ReadBytes(Pictures() / name), cameraExported.at(folder + leaf));
    EXPECT_FALSE(fs::exists(Cam() / kCameraFolder / leaf));
  }
  EXPECT_THAT(StoredGuids(Cam()), ::testing::IsEmpty());
  // The camera's own pictures, which no database lists, stay.
  for (const auto& [name, bytes] : cameraBefore) {
    if (name.rfind(folder, 0) != 0) continue;
    EXPECT_EQ(ReadBytes(Cam() / name), bytes) << name;
  }
  K2DifferentialHistory history(kSerialName, K2GetAppDataFolder());
  ASSERT_EQ(history.Load(), kXpOk);
  EXPECT_EQ(history.GetMax(), *std::max_element(guids.begin(), guids.end()));

  const auto pcAfterFirst = Snapshot(Pictures());
  const accessor_test::ProgramRun second = RunAutomatic({"--yes", "-import", Cam().string()});

  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_THAT(second.err, HasSubstr("Messages/Warnings/NoNewImages"));
  EXPECT_THAT(second.err, ::testing::Not(HasSubstr("TLVK2Accessor:"))) << second.err;
  EXPECT_TRUE(second.out.empty()) << second.out;
  EXPECT_EQ(Snapshot(Pictures()), pcAfterFirst);
}

}  // namespace
