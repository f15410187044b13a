#include "imaging/movie/XpMoviePluginManager.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpString.h"

namespace {

namespace fs = std::filesystem;

constexpr XpFormatKind kMpeg1 = 0x20011101;
constexpr XpFormatKind kMp4 = 0x20031101;
constexpr XpFormatKind kWmv = 0x20001301;
constexpr intptr_t kNoArgument = 0;

// A fake plug-in variant and the name it gets in the plug-in folder.
struct Plugin {
  const char* variant;
  const char* fileName;
};

enum class Call { kIsSupported, kIsAnalyzable, kOpenReader, kOpenPlayer, kOpenWrapper };

enum class Folder { kPlugins, kMissing, kEmptyText };

struct ManagerCase {
  const char* name;
  Folder folder;
  std::vector<Plugin> plugins;
  Call call;
  XpFormatKind kind;
  int32_t expected;  // the open's result, or 1 / 0 for a query
  const char* opener;  // whose object was handed out, "" for none
  const char* logFilter;  // the log lines that must match expectedLog
  std::vector<std::string> expectedLog;  // "M" stands for the movie's path
};

const Plugin kLow{"Low", "MPLow.so"};
const Plugin kHigh{"High", "MPHigh.so"};
const Plugin kNoAnalyze{"NoAnalyze", "MPNoAnalyze.so"};
const Plugin kRefuse{"Refuse", "MPRefuse.so"};
const Plugin kError{"Error", "MPError.so"};

class XpMoviePluginManager : public testsupport::HermeticTest {
 protected:
  // A fresh plug-in folder holding copies of the variants, and a fresh log.
  fs::path MakeFolder(const std::string& name, const std::vector<Plugin>& plugins) {
    const fs::path folder = Dir(name);
    for (const Plugin& plugin : plugins) {
      fs::copy_file(fs::path(KAVO_FAKE_PLUGIN_DIR) / (std::string("MPFake") + plugin.variant + ".so"),
                    folder / plugin.fileName);
    }
    logPath_ = Root() / (name + ".log");
    SetEnv("KAVO_FAKE_PLUGIN_LOG", logPath_.string());
    return folder;
  }

  std::vector<std::string> Log(const std::string& pattern = ".") const {
    std::vector<std::string> lines;
    std::ifstream in(logPath_);
    const std::regex filter(pattern);
    for (std::string line; std::getline(in, line);) {
      if (std::regex_search(line, filter)) {
        lines.push_back(line);
      }
    }
    return lines;
  }

  // The name of the plug-in that logged the last line.
  std::string LastLogger() const {
    const std::vector<std::string> lines = Log();
    if (lines.empty()) {
      return "";
    }
    return lines.back().substr(0, lines.back().find(' '));
  }

  fs::path logPath_;
};

// Runs the call. When an object comes out, probe makes it log a line, which
// names its plug-in.
int32_t RunCall(::XpMoviePluginManager& manager, Call call, XpFormatKind kind, const XpString& movie,
            std::function<void()>* probe, bool* outputCleared) {
  *probe = nullptr;
  *outputCleared = true;
  // A value the manager must overwrite.
  auto* const garbage = reinterpret_cast<void*>(uintptr_t{0x1});
  switch (call) {
    case Call::kIsSupported:
      return manager.IsSupportedType(kind) ? 1 : 0;
    case Call::kIsAnalyzable:
      return manager.IsAnalyzableType(kind) ? 1 : 0;
    case Call::kOpenReader: {
      auto* reader = static_cast<IMoviePluginReader*>(garbage);
      const int32_t result = manager.OpenPropertyReader(movie, kind, &reader);
      *outputCleared = result == kMoviePluginOk || reader == nullptr;
      if (result == kMoviePluginOk && reader != nullptr) {
        *probe = [reader] { reader->Prepare(0, false); };
      }
      return result;
    }
    case Call::kOpenPlayer: {
      auto* player = static_cast<IMoviePluginPlayer*>(garbage);
      const int32_t result = manager.OpenPlayer(movie, kind, 1, 2, 3, &player);
      *outputCleared = result == kMoviePluginOk || player == nullptr;
      if (result == kMoviePluginOk && player != nullptr) {
        *probe = [player] { player->Open("probe", 0, 0, 0); };
      }
      return result;
    }
    case Call::kOpenWrapper: {
      auto* wrapper = static_cast<IMoviePluginVMLibWrapper*>(garbage);
      const int32_t result = manager.OpenVMLibWrapper(movie, kind, kNoArgument, &wrapper);
      *outputCleared = result == kMoviePluginOk || wrapper == nullptr;
      if (result == kMoviePluginOk && wrapper != nullptr) {
        *probe = [wrapper] { wrapper->Open("probe", 0); };
      }
      return result;
    }
  }
  return -1;
}

std::string ReplaceMovie(std::string line, const std::string& movie) {
  const std::string::size_type at = line.find(" M");
  if (at != std::string::npos && (at + 2 == line.size() || line[at + 2] == ' ')) {
    line.replace(at + 1, 1, movie);
  }
  return line;
}

TEST_F(XpMoviePluginManager, QueriesAndOpensFollowMeritKindAndFallback) {
  const std::vector<ManagerCase> cases = {
      {"highest merit opens", Folder::kPlugins, {kLow, kHigh}, Call::kOpenReader, kMpeg1, 0,
       "High", "Open", {"High ReaderOpen M"}},
      {"first true answer ends the query", Folder::kPlugins, {kLow, kHigh}, Call::kIsSupported,
       kMpeg1, 1, "", "Type", {"High IsSupportedType 0x20011101"}},
      {"no analysable export, never asked", Folder::kPlugins, {kNoAnalyze}, Call::kIsAnalyzable,
       kMp4, 0, "", "Type|Open", {}},
      {"wrapper opens in the fallback only", Folder::kPlugins, {kNoAnalyze}, Call::kOpenWrapper,
       kMp4, 0, "NoAnalyze", "Type|Open", {"NoAnalyze WrapperOpen M 0"}},
      {"player for an unsupported kind falls back", Folder::kPlugins, {kLow, kHigh},
       Call::kOpenPlayer, kWmv, 0, "High", "Type|Open",
       {"High IsSupportedType 0x20001301", "Low IsSupportedType 0x20001301",
        "High PlayerOpen M 1 2 3"}},
      {"errors outlast refusals in both tries", Folder::kPlugins, {kRefuse, kError},
       Call::kOpenReader, kMpeg1, 7, "", "Type|Open",
       {"Refuse IsSupportedType 0x20011101", "Refuse ReaderOpen M",
        "Error IsSupportedType 0x20011101", "Error ReaderOpen M", "Refuse ReaderOpen M",
        "Error ReaderOpen M"}},
      {"unknown kind tries once", Folder::kPlugins, {kRefuse, kError}, Call::kOpenReader,
       kXpKindUnknown, 7, "", "Type|Open", {"Refuse ReaderOpen M", "Error ReaderOpen M"}},
      {"only refusals give not handled", Folder::kPlugins, {kRefuse}, Call::kOpenReader, kMpeg1,
       kMoviePluginNotHandled, "", "Open", {"Refuse ReaderOpen M", "Refuse ReaderOpen M"}},
      {"equal merits rank by name", Folder::kPlugins,
       {{"B", "MPB.so"}, {"A", "MPA.so"}}, Call::kOpenReader, kMpeg1, 0, "A", "Open",
       {"A ReaderOpen M"}},
      {"a null factory takes no part", Folder::kPlugins, {{"Bare", "MPBare.so"}},
       Call::kOpenPlayer, kMpeg1, kMoviePluginNotHandled, "", "Open", {}},
  };
  const std::vector<std::pair<Folder, Call>> emptyCalls = {
      {Folder::kMissing, Call::kIsSupported},  {Folder::kMissing, Call::kIsAnalyzable},
      {Folder::kMissing, Call::kOpenReader},   {Folder::kMissing, Call::kOpenPlayer},
      {Folder::kMissing, Call::kOpenWrapper},  {Folder::kEmptyText, Call::kIsSupported},
      {Folder::kEmptyText, Call::kIsAnalyzable}, {Folder::kEmptyText, Call::kOpenReader},
      {Folder::kEmptyText, Call::kOpenPlayer},  {Folder::kEmptyText, Call::kOpenWrapper},
  };
  std::vector<ManagerCase> all = cases;
  for (const auto& [folder, call] : emptyCalls) {
    const bool query = call == Call::kIsSupported || call == Call::kIsAnalyzable;
    all.push_back({"empty manager", folder, {}, call, kMpeg1,
                   query ? 0 : kMoviePluginNotHandled, "", ".", {}});
  }

  int index = 0;
  for (const ManagerCase& c : all) {
    SCOPED_TRACE(std::string(c.name) + " #" + std::to_string(index));
    const fs::path folder = MakeFolder("case" + std::to_string(index++), c.plugins);
    const std::string movie = (Root() / "movie.mpg").string();
    XpString folderText = XpString::FromUtf8(folder.string());
    if (c.folder == Folder::kMissing) {
      folderText = XpString::FromUtf8((Root() / "no such folder").string());
    } else if (c.folder == Folder::kEmptyText) {
      folderText = XpString();
    }
    std::function<void()> probe;
    bool outputCleared = false;
    {
      ::XpMoviePluginManager manager(folderText);
      const int32_t result =
          RunCall(manager, c.call, c.kind, XpString::FromUtf8(movie), &probe, &outputCleared);
      EXPECT_EQ(result, c.expected);
      EXPECT_TRUE(outputCleared);
      std::vector<std::string> expected;
      for (const std::string& line : c.expectedLog) {
        expected.push_back(ReplaceMovie(line, movie));
      }
      EXPECT_EQ(Log(c.logFilter), expected);
      EXPECT_EQ(probe != nullptr, std::string(c.opener) != "");
      if (probe) {
        probe();
        EXPECT_EQ(LastLogger(), c.opener);
      }
    }
  }
}

TEST_F(XpMoviePluginManager, SkipsWhatIsNotAPlugin) {
  const fs::path folder =
      MakeFolder("junk", {kLow, {"NoMerit", "MPNoMerit.so"}, {"High", "mpHigh.so"}});
  fs::create_directory(folder / "MPdir.so");
  std::ofstream(folder / "MPjunk.so") << "not a shared object\n";
  {
    ::XpMoviePluginManager manager(XpString::FromUtf8(folder.string()));
    EXPECT_TRUE(manager.IsSupportedType(kMpeg1));
    EXPECT_EQ(manager.Entries().size(), 1u);
    EXPECT_EQ(Log("Merit|unload|Type"),
              (std::vector<std::string>{"Low GetMeritValue", "NoMerit unload",
                                        "Low IsSupportedType 0x20011101"}));
  }
  EXPECT_EQ(Log("unload"), (std::vector<std::string>{"NoMerit unload", "Low unload"}));
}

TEST_F(XpMoviePluginManager, ScansOnceAndCreatesEachObjectKindOnce) {
  const fs::path folder = MakeFolder("once", {kLow, kHigh});
  ::XpMoviePluginManager manager(XpString::FromUtf8(folder.string()));
  const XpString movie = XpString::FromUtf8((Root() / "a.mpg").string());
  IMoviePluginReader* reader = nullptr;
  EXPECT_EQ(manager.OpenPropertyReader(movie, kMpeg1, &reader), kMoviePluginOk);
  EXPECT_EQ(manager.OpenPropertyReader(movie, kMpeg1, &reader), kMoviePluginOk);
  EXPECT_EQ(Log("CreatePropertyReaderInstance").size(), 2u);
  EXPECT_EQ(Log("GetMeritValue").size(), 2u);

  // A plug-in added after the scan is not seen.
  fs::copy_file(fs::path(KAVO_FAKE_PLUGIN_DIR) / "MPFakeNoAnalyze.so", folder / "MPLate.so");
  EXPECT_FALSE(manager.IsSupportedType(kMp4));
  EXPECT_EQ(manager.Entries().size(), 2u);
}

TEST_F(XpMoviePluginManager, DestructorReleasesObjectsThenUnloadsInMeritOrder) {
  const fs::path folder = MakeFolder("release", {kLow, kHigh, {"Bare", "MPBare.so"}});
  {
    ::XpMoviePluginManager manager(XpString::FromUtf8(folder.string()));
    const XpString movie = XpString::FromUtf8((Root() / "a.mpg").string());
    IMoviePluginReader* reader = nullptr;
    IMoviePluginPlayer* player = nullptr;
    IMoviePluginVMLibWrapper* wrapper = nullptr;
    EXPECT_EQ(manager.OpenPropertyReader(movie, kMpeg1, &reader), kMoviePluginOk);
    EXPECT_EQ(manager.OpenPlayer(movie, kMpeg1, 0, 0, 0, &player), kMoviePluginOk);
    EXPECT_EQ(manager.OpenVMLibWrapper(movie, kMpeg1, 0, &wrapper), kMoviePluginOk);
    EXPECT_TRUE(Log("Release|unload").empty());
  }
  EXPECT_EQ(Log("Release|unload"),
            (std::vector<std::string>{"High ReaderRelease", "High PlayerRelease",
                                      "High WrapperRelease", "High unload", "Low ReaderRelease",
                                      "Low PlayerRelease", "Low WrapperRelease", "Low unload",
                                      "Bare ReaderRelease", "Bare unload"}));
}

TEST_F(XpMoviePluginManager, PathsCrossAsTheBytesOfTheName) {
  const fs::path folder = MakeFolder("bytes", {kLow});
  ::XpMoviePluginManager manager(XpString::FromUtf8(folder.string()));
  // A name that is not UTF-8 travels through the surrogate escape and back.
  const std::string movie = (Root() / "movie\xff\xc3\xa9.mpg").string();
  IMoviePluginReader* reader = nullptr;
  EXPECT_EQ(manager.OpenPropertyReader(XpString::FromUtf8(movie), kMpeg1, &reader), kMoviePluginOk);
  EXPECT_EQ(Log("ReaderOpen"), (std::vector<std::string>{"Low ReaderOpen " + movie}));
}

TEST_F(XpMoviePluginManager, NullOutputOpensNothing) {
  const fs::path folder = MakeFolder("null", {kLow});
  ::XpMoviePluginManager manager(XpString::FromUtf8(folder.string()));
  const XpString movie = XpString::FromUtf8((Root() / "a.mpg").string());
  EXPECT_EQ(manager.OpenPropertyReader(movie, kMpeg1, nullptr), kMoviePluginNotHandled);
  EXPECT_EQ(manager.OpenPlayer(movie, kMpeg1, 0, 0, 0, nullptr), kMoviePluginNotHandled);
  EXPECT_EQ(manager.OpenVMLibWrapper(movie, kMpeg1, 0, nullptr), kMoviePluginNotHandled);
  EXPECT_TRUE(Log("Open").empty());
}

TEST_F(XpMoviePluginManager, FakeReaderFrameIsBottomUpWithPositionInRed) {
  const fs::path folder = MakeFolder("frame", {kLow});
  ::XpMoviePluginManager manager(XpString::FromUtf8(folder.string()));
  IMoviePluginReader* reader = nullptr;
  ASSERT_EQ(
      manager.OpenPropertyReader(XpString::FromUtf8((Root() / "a.mpg").string()), kMpeg1, &reader),
      kMoviePluginOk);
  int32_t width = 0;
  int32_t height = 0;
  ASSERT_TRUE(reader->GetFrameSize(&width, &height));
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  std::vector<uint8_t> frame(stride * height);
  ASSERT_TRUE(reader->GetFrame(300, static_cast<uint32_t>(frame.size()), frame.data()));
  // Row 0 of the buffer is the bottom row, y = height - 1.
  const uint8_t* pixel = &frame[3 * 5];
  EXPECT_EQ(pixel[0], 5);
  EXPECT_EQ(pixel[1], height - 1);
  EXPECT_EQ(pixel[2], 300 % 256);
  EXPECT_FALSE(reader->GetFrame(300, static_cast<uint32_t>(frame.size() - 1), frame.data()));
}

}  // namespace
