#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "imaging/geometry/XpRect.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kQuality = 90;
// Whole blocks of 16, so that a lossless turn keeps every pixel.
constexpr int32_t kWidth = 32;
constexpr int32_t kHeight = 16;

struct ToolRun {
  int status = -1;
  std::string output;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Runs the tool in the working folder with its standard error left out.
ToolRun RunTool(const fs::path& workingFolder, const std::string& arguments) {
  const std::string command = "cd " + Quoted(workingFolder.string()) + " && " +
                              Quoted(KAVO_XPIMAGE_PATH) + " " + arguments + " 2>/dev/null";
  ToolRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[256];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

using XpImageTool = testsupport::HermeticTest;

TEST_F(XpImageTool, RelativePathsCountFromTheWorkingFolder) {
  const fs::path folder = Dir("pictures");
  fs::create_directories(folder / "sub");
  XpImageIoJpeg writer(kQuality, u"test");
  const auto pixmap = SolidBGR(kWidth, kHeight, 10, 20, 30);
  ASSERT_EQ(writer.WriteToPath(pixmap.get(), XpSharedPtr<XpTiffTagManager>(),
                               PathText(folder / "picture.jpg"), nullptr, XpRect(), false, false),
            kXpOk);
  struct Case {
    std::string arguments;
    std::string printed;
    // A file the command writes, relative to the working folder; empty for
    // none.
    std::string written;
  };
  const Case cases[] = {
      {"info picture.jpg", "32 x 16", ""},
      {"info ./sub/../picture.jpg", "32 x 16", ""},
      {"decode picture.jpg sub/decoded.jpg", "32 x 16", "sub/decoded.jpg"},
      {"transform picture.jpg turned.jpg 5", "", "turned.jpg"},
      {"info turned.jpg", "16 x 32", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = RunTool(folder, c.arguments);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(c.printed), std::string::npos) << run.output;
    if (!c.written.empty()) {
      EXPECT_TRUE(fs::is_regular_file(folder / c.written));
    }
  }
  // An answer that cannot be written is a failure.
  EXPECT_EQ(RunTool(folder, "info picture.jpg >/dev/full").status, 1);
}

}  // namespace
