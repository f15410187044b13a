#include "accessor/tools/K2DemoTool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "accessor/camera/K2CameraDetection.h"
#include "accessor/tests/tools/ExportFixture.h"
#include "framework/suite/SfContentInfoXML.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"
#include "platform/value/XpIniElement.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using namespace export_fixture;

class K2DemoTool : public testsupport::HermeticTest {
 protected:
  int Run(const std::vector<std::string>& arguments) {
    out_.str("");
    err_.str("");
    ::K2DemoTool tool(out_, err_);
    return tool.Run(arguments);
  }

  // The first file of each content of a hand-over file, with its type.
  static std::vector<std::pair<std::string, int64_t>> HandOverContents(const fs::path& path) {
    std::vector<std::pair<std::string, int64_t>> contents;
    SfContentInfoXML document;
    EXPECT_EQ(document.LoadFromFile(XpString::FromUtf8(path.string())), kXpOk);
    const XpIniElement* group = document.GetContentsGroup(0);
    for (int32_t index = 0; group != nullptr && index < SfContentInfoXML::GetContentsCount(group); ++index) {
      const XpIniElement* entry = SfContentInfoXML::GetContents(group, static_cast<uint32_t>(index));
      XpString file;
      EXPECT_EQ(SfContentInfoXML::GetFile(entry, 0, &file), kXpOk);
      int64_t type = 0;
      EXPECT_EQ(entry->Find(u"ContentType")->GetInt64(&type), kXpOk);
      contents.emplace_back(fs::path(file.ToMultiByte().ToStdString()).filename().string(), type);
    }
    return contents;
  }

  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(K2DemoTool, SetupBuildsACameraThatIsFoundAndAHandOverOfItsSamples) {
  const fs::path demo = Root() / "demo";
  ASSERT_EQ(Run({"setup", demo.string()}), 0) << err_.str();

  for (int number = 1; number <= 5; ++number) {
    EXPECT_TRUE(fs::is_regular_file(demo / "cam" / "DCIM" / "100ABCDE" / ("DSC0000" + std::to_string(number) + ".JPG")))
        << number;
  }
  int32_t width = 0;
  int32_t height = 0;
  ReadPictureSize(demo / "pc" / "Party" / "P1.JPG", &width, &height);
  EXPECT_EQ(width, 4000);
  EXPECT_EQ(height, 3000);
  EXPECT_EQ(fs::file_size(demo / "pc" / "Party" / "MOV1.MPG"), 100u * 1024u);
  EXPECT_EQ(HandOverContents(demo / "h.xml"),
            (std::vector<std::pair<std::string, int64_t>>{{"IMG_0002.JPG", kPictureType},
                                                          {"IMG_0010.JPG", kPictureType},
                                                          {"P1.JPG", kPictureType},
                                                          {"MOV1.MPG", kMpeg1Type}}));

  SetEnv("KAVO_SYSROOT", (demo / "sysroot").string());
  K2CameraList cameras;
  CollectConnectedCameras(cameras);
  EXPECT_TRUE(ContainsCameraPath(cameras, XpString::FromUtf8((demo / "cam").string()) + u"/"));

  ASSERT_EQ(Run({"tree", (demo / "cam").string()}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("DCIM/100ABCDE/DSC00005.JPG "));
  EXPECT_THAT(out_.str(), HasSubstr("\nalbums: 0\ncontents: 0\n"));
}

// Paths given relative to the working folder name the same files as
// absolute ones; what the demo writes down (the hand-over file, the fake
// mount table) holds absolute paths.
TEST_F(K2DemoTool, RelativePathsAreTakenFromTheWorkingFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(Root());
  const int setup = Run({"setup", "demo"});
  const std::string setupErr = err_.str();
  const int tree = Run({"tree", "demo/cam"});
  const std::string treeOut = out_.str();
  fs::current_path(before);

  ASSERT_EQ(setup, 0) << setupErr;
  const fs::path demo = Root() / "demo";
  EXPECT_TRUE(fs::is_regular_file(demo / "cam" / "DCIM" / "100ABCDE" / "DSC00001.JPG"));
  SfContentInfoXML document;
  ASSERT_EQ(document.LoadFromFile(XpString::FromUtf8((demo / "h.xml").string())), kXpOk);
  XpString first;
  ASSERT_EQ(SfContentInfoXML::GetFile(SfContentInfoXML::GetContents(document.GetContentsGroup(0), 0), 0, &first),
            kXpOk);
  EXPECT_EQ(first.ToMultiByte().ToStdString(), (demo / "pc" / "Trip" / "IMG_0002.JPG").string());
  SetEnv("KAVO_SYSROOT", (demo / "sysroot").string());
  K2CameraList cameras;
  CollectConnectedCameras(cameras);
  EXPECT_TRUE(ContainsCameraPath(cameras, XpString::FromUtf8((demo / "cam").string()) + u"/"));
  EXPECT_EQ(tree, 0);
  EXPECT_THAT(treeOut, HasSubstr("DCIM/100ABCDE/DSC00005.JPG "));
}

TEST_F(K2DemoTool, TreeListsFilesSortedWithTheirSizes) {
  const fs::path root = Dir("card");
  WriteBytes(root / "b.txt", "12345");
  WriteBytes(root / "A" / "z.bin", "1");
  ASSERT_EQ(Run({"tree", root.string()}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "A/\nA/z.bin 1\nb.txt 5\nno album database of ours\n");
  EXPECT_EQ(Run({"tree", (root / "missing").string()}), 1);
}

TEST_F(K2DemoTool, InitCardWritesOnlyWhereNoForeignDatabaseLies) {
  struct Case {
    const char* name;
    // Files of DBFILES before the run.
    std::map<std::string, std::string> before;
    // No DBFILES at all.
    bool noFolder;
    int status;
    bool ours;
  };
  const std::vector<Case> cases = {
      {"no DBFILES", {}, true, 0, true},
      {"an empty DBFILES", {}, false, 0, true},
      {"a foreign database", {{"OAI.IND", "foreign index"}, {"X.DAT", std::string(300, 'Z')}}, false, 1, false},
      {"a stray file", {{"readme.txt", "x"}}, false, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path card = Root() / (std::string("card-") + std::to_string(&c - cases.data()));
    fs::create_directories(card / "DCIM");
    if (!c.noFolder) fs::create_directories(card / "DBFILES");
    for (const auto& [name, bytes] : c.before) WriteBytes(card / "DBFILES" / name, bytes);
    const auto before = Snapshot(card);

    EXPECT_EQ(Run({"init-card", card.string()}), c.status) << err_.str();

    if (c.ours) {
      ASSERT_EQ(Run({"tree", card.string()}), 0) << err_.str();
      EXPECT_THAT(out_.str(), HasSubstr("\nalbums: 0\ncontents: 0\n"));
      // A second run finds its own database and leaves it as it is.
      const auto made = Snapshot(card);
      EXPECT_EQ(Run({"init-card", card.string()}), 0) << err_.str();
      EXPECT_EQ(Snapshot(card), made);
    } else {
      EXPECT_THAT(err_.str(), HasSubstr("not ours"));
      EXPECT_EQ(Snapshot(card), before);
    }
  }
}

TEST_F(K2DemoTool, BadUsageExitsTwo) {
  const std::vector<std::vector<std::string>> usages = {{}, {"setup"}, {"list", Root().string()},
                                                        {"tree", "a", "b"}};
  for (const auto& arguments : usages) {
    EXPECT_EQ(Run(arguments), 2) << ::testing::PrintToString(arguments);
    EXPECT_THAT(err_.str(), HasSubstr("usage"));
  }
}

// The tools' answers go to standard output: one that cannot be written is a
// failure with its reason, never success.
TEST_F(K2DemoTool, ProgramsFailWhenTheirStandardOutputCannotBeWritten) {
  const fs::path dir = Root() / "demo";
  const std::string err = (Root() / "err.txt").string();
  const std::string k2demo = KAVO_K2DEMO_PATH;
  const std::string k2handover = KAVO_K2HANDOVER_PATH;
  struct Row {
    std::string program;
    std::string command;
  };
  const Row rows[] = {
      {"k2demo", k2demo + " setup " + dir.string()},
      {"k2handover", k2handover + " " + (Root() / "h.xml").string() + " " + (dir / "pc/Trip/IMG_0002.JPG").string()},
  };
  for (const Row& row : rows) {
    const int status = std::system((row.command + " >/dev/full 2>" + err).c_str());
    ASSERT_TRUE(WIFEXITED(status)) << row.program;
    EXPECT_EQ(WEXITSTATUS(status), 1) << row.program;
    std::ifstream in(err);
    const std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(printed, row.program + ": cannot write the standard output: No space left on device\n");
  }
}

}  // namespace
