#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "imaging/geometry/XpRect.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "imaging/tests/jpeg/LosslessTestSupport.h"
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

constexpr const char* kStandardOutput = " 2>/dev/null";
constexpr const char* kStandardError = " 2>&1 >/dev/null";

// Runs the tool in the working folder and collects one of its streams,
// standard output unless told.
ToolRun RunTool(const fs::path& workingFolder, const std::string& arguments,
                const char* collected = kStandardOutput) {
  const std::string command = "cd " + Quoted(workingFolder.string()) + " && " +
                              Quoted(KAVO_XPIMAGE_PATH) + " " + arguments + collected;
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

// An Intel-order TIFF block: IFD 0 with the Exif IFD, whose maker note of
// 8 bytes lies over the TIFF header, a place no rebuilt block can keep.
std::vector<uint8_t> MakerNoteOverHeaderPayload() {
  return {'E',  'x', 'i', 'f', 0, 0,
          // Header, IFD 0 at 8.
          'I',  'I', 42,  0,   8, 0, 0, 0,
          // IFD 0: ExifIFDPointer (34665, LONG) = 26.
          1,    0,   0x69, 0x87, 4, 0, 1, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0,
          // Exif IFD: MakerNote (37500, UNDEFINED), 8 bytes at 0.
          1,    0,   0x7C, 0x92, 7, 0, 8, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0};
}

TEST_F(XpImageTool, ARefusedRewriteSaysWhy) {
  const fs::path folder = Dir("pictures");
  fs::create_directories(folder);
  const std::vector<uint8_t> pinned =
      WithSegments(BuildSampledFrame(64, 48, Sampling::k422),
                   {JpegSegment{0xE1, 0, MakerNoteOverHeaderPayload()}});
  WriteBytes(folder / "pinned.jpg", pinned);
  // Not whole blocks: a turn is refused for another reason.
  WriteBytes(folder / "partial.jpg", BuildSampledFrame(40, 20, Sampling::k422));
  const std::string makerNote =
      ": the maker note cannot stay at its place, so the file is not rewritten";
  struct Case {
    std::string arguments;
    std::string line;
  };
  const Case cases[] = {
      {"transform pinned.jpg out.jpg 5", "xpimage: transform failed: 0x8605" + makerNote},
      {"transform pinned.jpg out.jpg 0 --apply-orientation",
       "xpimage: transform failed: 0x8605" + makerNote},
      {"set-maker-2002 pinned.jpg 7", "xpimage: set-maker-2002 failed: 0x8605" + makerNote},
      {"transform partial.jpg out.jpg 5", "xpimage: transform failed: 0x8605"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = RunTool(folder, c.arguments, kStandardError);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, c.line + "\n");
    EXPECT_FALSE(fs::exists(folder / "out.jpg"));
    EXPECT_EQ(ReadBytes(folder / "pinned.jpg"), pinned);
  }
}

}  // namespace
