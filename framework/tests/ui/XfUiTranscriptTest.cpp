#include "framework/ui/backend/XfUiTranscript.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/XpSysCalls.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpString.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string NamesIn(const fs::path& folder) {
  std::string names;
  for (const auto& entry : fs::directory_iterator(folder)) names += entry.path().filename().string() + " ";
  return names;
}

class TranscriptFixture : public testsupport::HermeticTest {
 protected:
  testsupport::FaultInjection faults_;
};
using XfUiTranscript = TranscriptFixture;

TEST_F(XfUiTranscript, AFileTranscriptReplacesTheOldOneOnlyWhenItEnds) {
  const fs::path folder = Dir("run");
  const fs::path path = folder / "transcript.txt";
  std::ofstream(path) << "box \"old run\"\n";
  std::string error;
  std::unique_ptr<::XfUiTranscript> transcript =
      ::XfUiTranscript::ForFile(XpString::FromUtf8(path.string()), &error);
  ASSERT_NE(transcript, nullptr) << error;
  transcript->Line("box \"Demo\" \"hello\"");
  transcript->Line("box answer No");
  // A run killed now leaves the previous transcript whole.
  EXPECT_EQ(ReadFile(path), "box \"old run\"\n");
  transcript.reset();
  EXPECT_EQ(ReadFile(path), "box \"Demo\" \"hello\"\nbox answer No\n");
  EXPECT_EQ(NamesIn(folder), "transcript.txt ");
}

TEST_F(XfUiTranscript, AFileThatCannotBeMadeIsRefusedWithItsName) {
  const fs::path path = Root() / "missing" / "transcript.txt";
  std::string error;
  EXPECT_EQ(::XfUiTranscript::ForFile(XpString::FromUtf8(path.string()), &error), nullptr);
  EXPECT_NE(error.find(path.string()), std::string::npos) << error;
}

TEST_F(XfUiTranscript, ADescriptorGetsEveryByteOfShortWrites) {
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
  // Descriptors opened outside the file layer match an empty prefix.
  faults_.Add(testsupport::Fault(testsupport::SysCall::kWrite, "").AtMost(3));
  {
    std::unique_ptr<::XfUiTranscript> transcript = ::XfUiTranscript::ForDescriptor(pipe[1], true);
    transcript->Line("form 132 progress 1007 40 %");
  }
  faults_.Clear();
  std::string received(64, '\0');
  const ssize_t got = XpSysCalls::Posix().Read(pipe[0], received.data(), received.size());
  ASSERT_GT(got, 0);
  received.resize(static_cast<size_t>(got));
  EXPECT_EQ(received, "form 132 progress 1007 40 %\n");
  EXPECT_EQ(XpSysCalls::Posix().Close(pipe[0]), 0);
}

TEST_F(XfUiTranscript, ADescriptorThatCannotBeWrittenIsToldOnce) {
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  testing::internal::CaptureStderr();
  {
    std::unique_ptr<::XfUiTranscript> transcript = ::XfUiTranscript::ForDescriptor(full, true);
    transcript->Line("box \"one\"");
    transcript->Line("box \"two\"");
  }
  const std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(told.find("cannot write the transcript to descriptor " + std::to_string(full) + ": 0x"), 0u) << told;
  EXPECT_NE(told.find("No space left on device"), std::string::npos) << told;
  EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
}

}  // namespace
