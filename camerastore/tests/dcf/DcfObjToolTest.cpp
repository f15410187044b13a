#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "camerastore/tests/dcf/DcfObjectFixture.h"

namespace {

namespace fs = std::filesystem;
using DcfObjTool = dcftest::DcfObjectTest;

struct ToolRun {
  int status = -1;
  std::string output;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Runs the tool with arguments (each quoted), standard error left out; in
// the working folder when one is given.
ToolRun RunTool(const std::string& arguments, const fs::path& workingFolder = {}) {
  std::string command = Quoted(KAVO_DCFOBJ_PATH) + " " + arguments + " 2>/dev/null";
  if (!workingFolder.empty()) command = "cd " + Quoted(workingFolder.string()) + " && " + command;
  ToolRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  char buffer[256];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    run.output.append(buffer, got);
  }
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST_F(DcfObjTool, InfoPrintsTheShot) {
  dcftest::ExifFields fields;
  fields.make = "KAVO";
  fields.model = "ZX-1";
  fields.dateTimeOriginal = "2009:03:03 10:20:30";
  fields.gps = true;
  const fs::path jpeg = CamJpeg("DCIM/100ZXDCF/DSC00001.JPG", dcftest::MakeExifTags(fields));
  const ToolRun run = RunTool("info " + Quoted(jpeg.string()));
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char* expected :
       {"100-0001", "0x10000101", "2009-03-03 10:20:30", "KAVO", "ZX-1", "35.658167, 139.741667"}) {
    EXPECT_NE(run.output.find(expected), std::string::npos) << expected << "\n" << run.output;
  }
  EXPECT_NE(run.output.find(jpeg.string()), std::string::npos) << run.output;
}

TEST_F(DcfObjTool, CopyTwiceKeepsBothCopies) {
  const fs::path jpeg = ShotFile("DSC00001.JPG", dcftest::kJpegBytes);
  const fs::path out = Root() / "made" / "out";
  const std::string arguments = "copy " + Quoted(out.string()) + " " + Quoted(jpeg.string());
  const ToolRun first = RunTool(arguments);
  ASSERT_EQ(first.status, 0);
  EXPECT_EQ(first.output, (out / "DSC00001.JPG").string() + "\n");
  const ToolRun second = RunTool(arguments);
  ASSERT_EQ(second.status, 0);
  EXPECT_EQ(second.output, (out / "DSC00001 (1).JPG").string() + "\n");
  EXPECT_EQ(NamesIn(out), (std::set<std::string>{"DSC00001.JPG", "DSC00001 (1).JPG"}));
  EXPECT_EQ(fstest::ReadBytes(out / "DSC00001 (1).JPG"), dcftest::kJpegBytes);
}

TEST_F(DcfObjTool, RelativePathsCountFromTheWorkingFolder) {
  const fs::path jpeg = ShotFile("DSC00001.JPG", dcftest::kJpegBytes);
  const fs::path folder = jpeg.parent_path();
  struct Case {
    std::string arguments;
    std::string printed;
  };
  const Case cases[] = {
      {"info DSC00001.JPG", jpeg.string()},
      {"info ./sub/../DSC00001.JPG", jpeg.string()},
      {"copy copies DSC00001.JPG", (folder / "copies" / "DSC00001.JPG").string()},
  };
  fs::create_directories(folder / "sub");
  for (const Case& test : cases) {
    SCOPED_TRACE(test.arguments);
    const ToolRun run = RunTool(test.arguments, folder);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(test.printed), std::string::npos) << run.output;
  }
  EXPECT_EQ(fstest::ReadBytes(folder / "copies" / "DSC00001.JPG"), dcftest::kJpegBytes);
}

TEST_F(DcfObjTool, ExitStatusTellsFailureFromBadUsage) {
  struct Case {
    std::string arguments;
    int status;
  };
  const std::string missing = Quoted((Cam() / "DCIM/100ZXDCF/DSC00009.JPG").string());
  const Case cases[] = {
      {"", 2},
      {"info", 2},
      {"copy " + Quoted(Out().string()), 2},
      {"list " + missing, 2},
      {"info " + missing, 1},
      {"copy " + Quoted(Out().string()) + " " + missing, 1},
      // An answer that cannot be written is a failure too.
      {"info " + Quoted(ShotFile("DSC00002.JPG", dcftest::kJpegBytes).string()) + " >/dev/full", 1},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(RunTool(test.arguments).status, test.status) << test.arguments;
  }
  EXPECT_TRUE(NamesIn(Out()).empty());
}

}  // namespace
