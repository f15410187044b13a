#include "platform/shell/XpSpecialFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/shell/XpDisplayPath.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/process/FakeProgramFile.h"

namespace {

namespace fs = std::filesystem;

class XpSpecialFolder : public testsupport::HermeticTest {
 protected:
  std::string Home() const { return (Root() / "home").string(); }

  void WriteUserDirs(const std::string& text) {
    std::ofstream(Root() / "home/.config/user-dirs.dirs") << text;
  }

  void UnsetEnv(const char* name) {
    SetEnv(name, "");  // Saves the value for the end of the test.
    ::unsetenv(name);
  }
};

TEST_F(XpSpecialFolder, TempFolderEndsInSeparator) {
  const std::string tmp = (Root() / "tmp").string();
  struct Case {
    bool set;
    std::string tmpdir;
    std::string folder;
  };
  const Case cases[] = {
      {true, tmp, tmp + "/"},
      {true, tmp + "/", tmp + "/"},
      {true, "relative/tmp", "/tmp/"},
      {true, "", "/tmp/"},
      {false, "", "/tmp/"},
  };
  for (const Case& c : cases) {
    if (c.set) {
      SetEnv("TMPDIR", c.tmpdir);
    } else {
      UnsetEnv("TMPDIR");
    }
    EXPECT_EQ(XpGetSpecialFolder(kXpFolderTemp, false).ToMultiByte().ToStdString(), c.folder)
        << c.set << c.tmpdir;
  }
}

TEST_F(XpSpecialFolder, UserFoldersComeFromUserDirs) {
  const std::string home = Home();
  struct Case {
    int32_t kind;
    std::string folder;
    const char* displayName;
  };
  const Case defaults[] = {
      {kXpFolderPictures, home + "/Pictures", "Pictures"},
      {kXpFolderVideos, home + "/Videos", "Videos"},
      {kXpFolderMusic, home + "/Music", "Music"},
      {kXpFolderDocuments, home + "/Documents", "Documents"},
      {kXpFolderDesktop, home + "/Desktop", "Desktop"},
  };
  for (const Case& c : defaults) {
    EXPECT_EQ(XpGetSpecialFolder(c.kind, false).ToMultiByte().ToStdString(), c.folder) << c.kind;
    EXPECT_EQ(XpGetSpecialFolderDisplayName(c.kind).ToMultiByte().ToStdString(), c.displayName)
        << c.kind;
  }

  WriteUserDirs(
      "# written by xdg-user-dirs-update\n"
      "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
      "XDG_VIDEOS_DIR=\"/media/Filme/\"\n"
      "XDG_MUSIC_DIR=\"Musik\"\n"
      "  XDG_DOCUMENTS_DIR=\"$HOME/Meine \\\"Dokumente\\\"\"\n"
      "XDG_DESKTOP_DIR=\"$HOMEX/Schreibtisch\"\n"
      "#XDG_DESKTOP_DIR=\"$HOME/Kommentar\"\n");
  const Case configured[] = {
      {kXpFolderPictures, home + "/Bilder", "Bilder"},
      {kXpFolderVideos, "/media/Filme", "Filme"},
      // Neither absolute nor below $HOME: the default.
      {kXpFolderMusic, home + "/Music", "Music"},
      {kXpFolderDocuments, home + "/Meine \"Dokumente\"", "Meine \"Dokumente\""},
      {kXpFolderDesktop, home + "/Desktop", "Desktop"},
  };
  for (const Case& c : configured) {
    EXPECT_EQ(XpGetSpecialFolder(c.kind, false).ToMultiByte().ToStdString(), c.folder) << c.kind;
    EXPECT_EQ(XpGetSpecialFolderDisplayName(c.kind).ToMultiByte().ToStdString(), c.displayName)
        << c.kind;
  }
}

TEST_F(XpSpecialFolder, FixedKinds) {
  const std::string home = Home();
  SetEnv("XDG_DATA_HOME", (Root() / "data").string());
  struct Case {
    int32_t kind;
    std::string folder;
  };
  const Case cases[] = {
      {kXpFolderSharedPictures, ""}, {kXpFolderSharedVideos, ""},
      {kXpFolderSharedMusic, ""},    {kXpFolderSharedDocuments, ""},
      {kXpFolderAppData, (Root() / "data").string()},
      {kXpFolderProfile, home},      {17, ""},
      {-1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpGetSpecialFolder(c.kind, false).ToMultiByte().ToStdString(), c.folder) << c.kind;
  }
  EXPECT_EQ(XpGetSpecialFolderDisplayName(kXpFolderSharedPictures).ToMultiByte().ToStdString(), "");
  EXPECT_EQ(XpGetSpecialFolderDisplayName(kXpFolderAppData).ToMultiByte().ToStdString(), "");

  UnsetEnv("XDG_DATA_HOME");
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderAppData, false).ToMultiByte().ToStdString(),
            home + "/.local/share");
}

TEST_F(XpSpecialFolder, MachineFoldersLieBelowTheMachineRoot) {
  const std::string machine = (Root() / "machine").string();
  struct Case {
    int32_t kind;
    std::string folder;
  };
  const Case cases[] = {
      {kXpFolderCommonAppData, "/var/lib/kavo"},
      {kXpFolderProgramFiles, "/opt"},
      {kXpFolderCommonPrograms, "/usr/share/applications"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpGetSpecialFolder(c.kind, false).ToMultiByte().ToStdString(), machine + c.folder)
        << c.kind;
  }
  // Created below the root, never in the real system folder.
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderProgramFiles, true).ToMultiByte().ToStdString(),
            machine + "/opt");
  EXPECT_TRUE(fs::is_directory(machine + "/opt"));

  SetEnv(kXpMachineRootVariable, "relative/root");
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderProgramFiles, false).ToMultiByte().ToStdString(), "/opt");
  UnsetEnv(kXpMachineRootVariable);
  for (const Case& c : cases) {
    EXPECT_EQ(XpGetSpecialFolder(c.kind, false).ToMultiByte().ToStdString(), c.folder) << c.kind;
  }
}

TEST_F(XpSpecialFolder, ProgramFolderAndFile) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderProgramFile, false).ToMultiByte().ToStdString(), self);
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderProgramFolder, false).ToMultiByte().ToStdString(),
            fs::path(self).parent_path().string() + "/");

  // Longer than any fixed buffer.
  const std::string deep = "/" + std::string(200, 'p') + "/" + std::string(200, 'q') + "/" +
                           std::string(200, 'r') + "/" + std::string(200, 's') + "/" +
                           std::string(200, 't') + "/" + std::string(200, 'u') + "/kavo";
  testsupport::FakeProgramFile program(deep);
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderProgramFile, false).ToMultiByte().ToStdString(), deep);
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderProgramFolder, true).ToMultiByte().ToStdString(),
            deep.substr(0, deep.size() - 4));
  EXPECT_FALSE(fs::exists(deep.substr(0, deep.size() - 5))) << "the program folder is never made";
}

TEST_F(XpSpecialFolder, CreateMakesTheFolderTree) {
  const fs::path data = Root() / "a/b/c";
  SetEnv("XDG_DATA_HOME", data.string());
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderAppData, false).ToMultiByte().ToStdString(), data.string());
  EXPECT_FALSE(fs::exists(data));
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderAppData, true).ToMultiByte().ToStdString(), data.string());
  EXPECT_TRUE(fs::is_directory(data));
  // A folder that exists already keeps its path.
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderAppData, true).ToMultiByte().ToStdString(), data.string());

  const fs::path tmp = Root() / "new tmp";
  SetEnv("TMPDIR", tmp.string());
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderTemp, true).ToMultiByte().ToStdString(),
            tmp.string() + "/");
  EXPECT_TRUE(fs::is_directory(tmp));

  // Below a file nothing can be made.
  std::ofstream(Root() / "file") << "x";
  SetEnv("XDG_DATA_HOME", (Root() / "file/sub").string());
  EXPECT_EQ(XpGetSpecialFolder(kXpFolderAppData, true).ToMultiByte().ToStdString(), "");
}

TEST_F(XpSpecialFolder, AppDataPathJoinsItsPartsAndMakesTheFolders) {
  const fs::path data = Root() / "data";
  SetEnv("XDG_DATA_HOME", data.string());

  EXPECT_EQ(XpGetAppDataPath(u"Kavo", u"Accessor", u"", true).ToMultiByte().ToStdString(),
            data.string() + "/Kavo/Accessor");
  EXPECT_TRUE(fs::is_directory(data / "Kavo/Accessor"));
  EXPECT_EQ(XpGetAppDataPath(u"", u"B", u"C", false).ToMultiByte().ToStdString(),
            data.string() + "/B/C");
  EXPECT_FALSE(fs::exists(data / "B"));
  EXPECT_EQ(XpGetAppDataPath(u"A", u"", u"", false).ToMultiByte().ToStdString(),
            data.string() + "/A/");
}

TEST_F(XpSpecialFolder, DisplayPathsReplaceLeadingSpecialFolders) {
  const std::string home = Home();
  WriteUserDirs("XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
  struct Case {
    std::string path;
    std::string display;
  };
  const Case cases[] = {
      {home + "/Pictures/x.jpg", "Pictures/x.jpg"},
      {home + "/Pictures", "Pictures"},
      {home + "/Filme/a/b.mov", "Filme/a/b.mov"},
      {home + "/Documents/", "Documents/"},
      {home + "/Pictures2/x", home + "/Pictures2/x"},
      {home + "/pictures/x", home + "/pictures/x"},
      {home + "/Videos/x", home + "/Videos/x"},
      {"/elsewhere" + home + "/Pictures/x", "/elsewhere" + home + "/Pictures/x"},
      {"", ""},
  };
  XpDisplayPathTable table;
  for (const Case& c : cases) {
    EXPECT_EQ(table.ToDisplayPath(XpString::FromUtf8(c.path)).ToMultiByte().ToStdString(),
              c.display)
        << c.path;
  }
}

TEST_F(XpSpecialFolder, DisplayPathTableIsFilledOnceForAllThreads) {
  const XpString path = XpString::FromUtf8(Home() + "/Music/song.mp3");
  constexpr int kThreads = 8;
  XpDisplayPathTable table;
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back(
        [&, i] { results[i] = table.ToDisplayPath(path).ToMultiByte().ToStdString(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& result : results) EXPECT_EQ(result, "Music/song.mp3");

  // Filled once: later changes of the folders do not reach the table.
  WriteUserDirs("XDG_MUSIC_DIR=\"$HOME/Musik\"\n");
  EXPECT_EQ(table.ToDisplayPath(path).ToMultiByte().ToStdString(), "Music/song.mp3");
  EXPECT_EQ(
      table.ToDisplayPath(XpString::FromUtf8(Home() + "/Musik/x")).ToMultiByte().ToStdString(),
      Home() + "/Musik/x");

  // The process's own table, in a fresh process so that this test fills it.
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([&](testsupport::ChildChannel&) {
    return XpPathToDisplayPath(XpString::FromUtf8(Home() + "/Musik/x")) == u"Musik/x" ? 0 : 1;
  }));
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(XpSpecialFolder, FindsFilesBesideTheProgram) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  EXPECT_EQ(XpFindFileBesideProgram(XpString::FromUtf8(self.filename().string()))
                .ToMultiByte()
                .ToStdString(),
            self.string());

  const fs::path app = Dir("app");
  std::ofstream(app / "Strings.xml") << "<plist/>";
  fs::create_directories(app / "folder");
  testsupport::FakeProgramFile program((app / "kavo").string());
  struct Case {
    const char16_t* name;
    std::string path;
  };
  const Case cases[] = {
      {u"Strings.xml", (app / "Strings.xml").string()},
      {u"Missing.xml", ""},
      {u"folder", ""},
      {u"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpFindFileBesideProgram(c.name).ToMultiByte().ToStdString(), c.path)
        << XpString(c.name).ToMultiByte().ToStdString();
  }
}

}  // namespace
