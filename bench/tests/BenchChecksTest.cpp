#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchAlbumDatabaseCase.h"
#include "bench/BenchConversionCase.h"
#include "bench/BenchExportCase.h"
#include "bench/BenchInputs.h"
#include "bench/BenchTool.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "outside/fsk/k2xdb/K2xdbTool.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kWidth = 1280;
constexpr int32_t kHeight = 960;

// Writes a JPEG of width x height without any tag.
bool WritePlainJpeg(const std::string& path, int32_t width, int32_t height) {
  XpPixmapBGR24NoHandle pixmap;
  XpMemoryFile memory;
  XpImageIoJpeg writer;
  if (pixmap.Allocate(width, height) != kXpOk || memory.Open(kXpOpenReadWrite) != kXpOk ||
      writer.EncodePlain(&pixmap, memory, XpImageIoJpeg::kDefaultQuality) != kXpOk) {
    return false;
  }
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(memory.GetBuffer()),
            static_cast<std::streamsize>(memory.GetDataSize()));
  return static_cast<bool>(out);
}

class BenchChecks : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SetEnv("TMPDIR", Dir("tmp").string());
    picture_.path = (Dir("inputs") / "IMG_0001.JPG").string();
    picture_.width = kWidth;
    picture_.height = kHeight;
    ASSERT_TRUE(BenchInputs::MakePicture(picture_, 1));
    // Made once the test's own folder exists: each test logs into its own.
    tool_.emplace((Root() / "tools.log").string());
  }

  BenchPicture picture_;
  std::optional<BenchTool> tool_;
};

// The project's converted picture, spoilt in turn; the check must notice
// each spoiling and accept the untouched output.
TEST_F(BenchChecks, ConversionCheckRejectsWrongOutput) {
  BenchConversionCase conversion({"fit", XpSize(640, 480), false, false}, {picture_},
                                 K2BENCH_JOB, Dir("out").string(), *tool_);
  BenchCase benchCase = conversion.MakeCase();
  const std::string output = (Dir("out") / "project" / "IMG_0001.JPG").string();
  struct Spoil {
    const char* name;
    std::function<bool()> apply;
  };
  const Spoil spoils[] = {
      {"the source instead of the conversion",
       [&] { return fs::copy_file(picture_.path, output, fs::copy_options::overwrite_existing); }},
      {"the right size without tags", [&] { return WritePlainJpeg(output, 640, 480); }},
      {"not a JPEG", [&] { return static_cast<bool>(std::ofstream(output) << "not a picture"); }},
      {"no file", [&] { return fs::remove(output); }},
  };
  for (const Spoil& spoil : spoils) {
    BenchSample sample;
    std::string error;
    ASSERT_TRUE(benchCase.contenders.front().run(sample, error)) << error;
    std::string fault;
    ASSERT_TRUE(benchCase.verify(fault)) << spoil.name << ": " << fault;
    ASSERT_TRUE(spoil.apply()) << spoil.name;
    EXPECT_FALSE(benchCase.verify(fault)) << spoil.name;
    EXPECT_NE(fault.find(output), std::string::npos) << spoil.name << ": " << fault;
  }
}

TEST_F(BenchChecks, ExpectedSizesFollowTheEngineBoxes) {
  struct SizeCase {
    XpSize size;
    bool cutting;
    int32_t width;
    int32_t height;
    XpSize expected;
  };
  const SizeCase cases[] = {
      {XpSize(640, 480), false, 4000, 3000, XpSize(640, 480)},
      {XpSize(640, 480), false, 3000, 4000, XpSize(360, 480)},
      {XpSize(1920, 1080), false, 4000, 3000, XpSize(2048, 1536)},
      {XpSize(1920, 1080), false, 3840, 2160, XpSize(1920, 1080)},
      {XpSize(1920, 1080), true, 3000, 4000, XpSize(1920, 1080)},
      {XpSize(640, 480), false, 10000, 1, XpSize(640, 1)},
  };
  for (const SizeCase& c : cases) {
    BenchConversionCase conversion({"size", c.size, c.cutting, false}, {}, K2BENCH_JOB,
                                   Dir("sizes").string(), *tool_);
    BenchPicture picture;
    picture.width = c.width;
    picture.height = c.height;
    const XpSize got = conversion.ExpectedSize(picture);
    EXPECT_EQ(got.cx, c.expected.cx) << c.width << "x" << c.height;
    EXPECT_EQ(got.cy, c.expected.cy) << c.width << "x" << c.height;
  }
}

// The copying export's output, spoilt in turn: a changed byte, a missing
// file, a database without the records.
TEST_F(BenchChecks, ExportCheckRejectsWrongCopies) {
  BenchExportCase exportCase({"export", false}, {picture_}, K2BENCH_ACCESSOR, Dir("export").string(),
                             *tool_);
  BenchCase benchCase = exportCase.MakeCase();
  const fs::path camera = Dir("export") / "demo" / "cam";
  const auto exported = [&] {
    for (const auto& entry : fs::recursive_directory_iterator(camera / "DCIM")) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name.rfind(BenchExportCase::kCameraPicturePrefix, 0) != 0) {
        return entry.path();
      }
    }
    return fs::path();
  };
  struct Spoil {
    const char* name;
    const char* fault;
    std::function<bool()> apply;
  };
  const Spoil spoils[] = {
      {"a changed byte", "no byte-identical copy",
       [&] {
         std::fstream file(exported(), std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(100);
         return static_cast<bool>(file.put('\x5a'));
       }},
      {"no file", "0 exported files", [&] { return fs::remove(exported()); }},
      {"an empty database", "reads back 0 contents",
       [&] {
         fs::remove_all(camera / "DBFILES");
         std::ostringstream out;
         std::ostringstream err;
         K2xdbTool k2xdb(out, err);
         return k2xdb.Run({"init", (camera / "DBFILES").string()}) == K2xdbTool::kDone;
       }},
  };
  for (const Spoil& spoil : spoils) {
    BenchSample sample;
    std::string error;
    ASSERT_TRUE(benchCase.contenders.front().run(sample, error)) << error;
    std::string fault;
    ASSERT_TRUE(benchCase.verify(fault)) << spoil.name << ": " << fault;
    ASSERT_TRUE(spoil.apply()) << spoil.name;
    EXPECT_FALSE(benchCase.verify(fault)) << spoil.name;
    EXPECT_NE(fault.find(spoil.fault), std::string::npos) << spoil.name << ": " << fault;
  }
}

TEST_F(BenchChecks, AlbumDatabaseCheckNeedsTheCommittedContents) {
  BenchAlbumDatabaseCase database({"database", {0}, 250}, K2BENCH_JOB, Dir("database").string(),
                                  *tool_);
  std::string error;
  ASSERT_TRUE(database.Prepare(error)) << error;
  BenchCase benchCase = database.MakeCase();
  std::string fault;
  EXPECT_FALSE(benchCase.verify(fault)) << "a card without a database";
  EXPECT_FALSE(fault.empty());

  BenchSample sample;
  ASSERT_TRUE(benchCase.contenders.front().run(sample, error)) << error;
  fault.clear();
  EXPECT_TRUE(benchCase.verify(fault)) << fault;

  // A database emptied again reads back no contents.
  fs::remove_all(Dir("database") / "card" / "DBFILES");
  fs::copy(Dir("database") / "empty" / "DBFILES", Dir("database") / "card" / "DBFILES",
           fs::copy_options::recursive);
  fault.clear();
  EXPECT_FALSE(benchCase.verify(fault));
  EXPECT_NE(fault.find("reads back 0 contents"), std::string::npos) << fault;
}

// Added to a database already holding contents, the check wants both.
TEST_F(BenchChecks, AlbumDatabaseCheckCountsTheHeldContents) {
  BenchAlbumDatabaseCase growth({"growth", {200, 300}, 10}, K2BENCH_JOB, Dir("growth").string(),
                                *tool_);
  std::string error;
  ASSERT_TRUE(growth.Prepare(error)) << error;
  BenchCase benchCase = growth.MakeCase();
  ASSERT_EQ(benchCase.contenders.size(), 4u);
  EXPECT_EQ(growth.SqliteIndex(false), 2u);
  EXPECT_EQ(growth.SqliteIndex(true), 3u);
  BenchSample sample;
  // The larger database on the card: the check wants the smaller one's.
  ASSERT_TRUE(benchCase.contenders[1].run(sample, error)) << error;
  std::string fault;
  EXPECT_FALSE(benchCase.verify(fault));
  EXPECT_NE(fault.find("reads back 310 contents in 4 albums instead of 210 in 3"),
            std::string::npos)
      << fault;
  ASSERT_TRUE(benchCase.contenders[0].run(sample, error)) << error;
  fault.clear();
  EXPECT_TRUE(benchCase.verify(fault)) << fault;
  EXPECT_GT(sample.seconds, 0);
  EXPECT_GT(sample.cpuSeconds, 0);
}

}  // namespace
