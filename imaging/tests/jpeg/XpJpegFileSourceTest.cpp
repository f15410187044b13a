#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegCheckPrologue.h"
#include "imaging/jpeg/XpJpegError.h"
#include "imaging/jpeg/XpJpegFileSource.h"
#include "imaging/tests/jpeg/JpegBuilder.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using testsupport::Fault;
using testsupport::SysCall;

constexpr XpResult kNotAJpeg = 0x8602;

// A decompress record over a source reading bytes; the source's callbacks
// are driven by hand.
class SourceRun {
 public:
  explicit SourceRun(std::vector<uint8_t> bytes)
      : bytes_(std::move(bytes)), file_(bytes_.data(), bytes_.size(), false) {
    EXPECT_EQ(file_.Open(kXpOpenRead), kXpOk);
    info_.err = XpJpegErrorSetup(error_);
    jpeg_create_decompress(&info_);
    XpJpegFileSourceInstall(&info_, file_);
    info_.src->init_source(&info_);
  }
  ~SourceRun() { jpeg_destroy_decompress(&info_); }
  SourceRun(const SourceRun&) = delete;
  SourceRun& operator=(const SourceRun&) = delete;

  jpeg_decompress_struct& Info() { return info_; }
  std::vector<uint8_t> Fill() {
    EXPECT_TRUE(info_.src->fill_input_buffer(&info_));
    return Buffered();
  }
  std::vector<uint8_t> Buffered() const {
    return std::vector<uint8_t>(info_.src->next_input_byte,
                                info_.src->next_input_byte + info_.src->bytes_in_buffer);
  }
  void Skip(long count) { info_.src->skip_input_data(&info_, count); }

 private:
  std::vector<uint8_t> bytes_;
  XpMemoryFile file_;
  XpJpegError error_{};
  jpeg_decompress_struct info_{};
};

std::vector<uint8_t> Counting(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t index = 0; index < size; ++index) {
    bytes[index] = static_cast<uint8_t>(index % 251);
  }
  return bytes;
}

using XpJpegFileSource = testsupport::HermeticTest;

TEST_F(XpJpegFileSource, ReadsInBlocksOf64KiB) {
  const std::vector<uint8_t> bytes = Counting(70000);
  SourceRun run(bytes);
  const std::vector<uint8_t> first = run.Fill();
  ASSERT_EQ(first.size(), 65536u);
  EXPECT_EQ(first, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 65536));
  run.Skip(static_cast<long>(first.size()));
  EXPECT_EQ(run.Fill(), std::vector<uint8_t>(bytes.begin() + 65536, bytes.end()));
}

TEST_F(XpJpegFileSource, AnEmptyRefillAlwaysSuppliesEndOfImage) {
  const std::vector<uint8_t> endOfImage = {0xFF, 0xD9};
  for (const int unreadMarker : {0, 0xDB, 0xDA}) {
    SCOPED_TRACE(unreadMarker);
    SourceRun run(Counting(3));
    run.Info().unread_marker = unreadMarker;
    EXPECT_EQ(run.Fill().size(), 3u);
    run.Skip(3);
    for (int refill = 0; refill < 3; ++refill) {
      EXPECT_EQ(run.Fill(), endOfImage);
      run.Skip(2);
    }
  }
}

TEST_F(XpJpegFileSource, SkippingPastTheEndFinishes) {
  SourceRun run(Counting(100));
  run.Fill();
  run.Info().unread_marker = 0xE0;
  // 100 bytes of the file, then end-of-image markers two bytes at a time:
  // the skip ends inside one of them.
  run.Skip(200001);
  EXPECT_EQ(run.Buffered(), std::vector<uint8_t>{0xD9});
  EXPECT_EQ(run.Fill(), (std::vector<uint8_t>{0xFF, 0xD9}));
}

TEST_F(XpJpegFileSource, SkipOfNothingOrLessKeepsTheBuffer) {
  SourceRun run(Counting(10));
  const std::vector<uint8_t> buffered = run.Fill();
  run.Skip(0);
  run.Skip(-5);
  EXPECT_EQ(run.Buffered(), buffered);
  run.Skip(4);
  EXPECT_EQ(run.Buffered(), std::vector<uint8_t>(buffered.begin() + 4, buffered.end()));
}

// The library refills only after using every byte, even when the record
// it last stored still counts some: a refill never hands them out again.
TEST_F(XpJpegFileSource, ARefillContinuesAfterTheLastBlockRead) {
  const std::vector<uint8_t> bytes = Counting(70000);
  SourceRun run(bytes);
  run.Fill();
  run.Skip(65530);
  const std::vector<uint8_t> refilled = run.Fill();
  EXPECT_EQ(refilled, std::vector<uint8_t>(bytes.begin() + 65536, bytes.end()));
}

struct PrologueCase {
  const char* name;
  std::vector<uint8_t> bytes;
  XpResult result;
  int64_t position;
};

TEST_F(XpJpegFileSource, PrologueCheck) {
  const PrologueCase cases[] = {
      {"gif", {'G', 'I', 'F', '8', '9', 'a'}, kNotAJpeg, -1},
      {"soi then tables", {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43}, kXpOk, 4},
      {"app chain",
       {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 1, 2, 0xFF, 0xEF, 0x00, 0x02, 0xFF, 0xC0},
       kXpOk,
       14},
      {"not a marker", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0x12, 0x34}, kNotAJpeg, -1},
      {"empty", {}, kXpErrEndOfFile, -1},
      {"one byte", {0xFF}, kXpErrEndOfFile, -1},
      {"cut in an app segment", {0xFF, 0xD8, 0xFF, 0xE1, 0x01, 0x00, 1, 2, 3}, kXpErrEndOfFile, -1},
  };
  for (const PrologueCase& c : cases) {
    std::vector<uint8_t> bytes = c.bytes;
    XpMemoryFile file(bytes.data(), bytes.size(), false);
    ASSERT_EQ(file.Open(kXpOpenRead), kXpOk);
    EXPECT_EQ(XpJpegCheckPrologue(file), c.result) << c.name;
    if (c.position >= 0) {
      EXPECT_EQ(file.Tell(), c.position) << c.name;
    }
  }
}

TEST_F(XpJpegFileSource, ShortReadsOfTheFileDecodeTheSamePicture) {
  const std::vector<uint8_t> stream = BuildFrame(96, 64, FrameModel::kRgb, 30, 60, 90);
  const auto path = Dir("short") / "picture.jpg";
  WriteBytes(path, stream);
  XpImageIoJpeg reader;
  std::unique_ptr<XpPixmapBase> whole(
      reader.ReadPixmapFromPath(PathText(path), 1, nullptr, false, false));
  ASSERT_NE(whole, nullptr);
  testsupport::FaultInjection faults;
  faults.Add(Fault(SysCall::kRead, Dir("short").string()).AtMost(7));
  std::unique_ptr<XpPixmapBase> pieces(
      reader.ReadPixmapFromPath(PathText(path), 1, nullptr, false, false));
  ASSERT_NE(pieces, nullptr);
  ASSERT_EQ(pieces->width, whole->width);
  for (int32_t y = 0; y < whole->height; ++y) {
    ASSERT_EQ(0, std::memcmp(pieces->GetPlane(0)->Row(y), whole->GetPlane(0)->Row(y),
                             static_cast<size_t>(whole->width) * 3))
        << y;
  }
}

TEST_F(XpJpegFileSource, AFailingReadIsPassedOn) {
  const auto path = Dir("failing") / "picture.jpg";
  WriteBytes(path, BuildFrame(32, 32, FrameModel::kRgb, 30, 60, 90));
  testsupport::FaultInjection faults;
  faults.Add(Fault(SysCall::kRead, Dir("failing").string()).Errno(EIO));
  XpImageIoJpeg reader;
  EXPECT_EQ(reader.ReadPixmapFromPath(PathText(path), 1, nullptr, false, false), nullptr);
  const XpResult result = reader.GetLastError();
  EXPECT_NE(result, kXpOk);
  EXPECT_NE(result, kNotAJpeg);
  XpSize size;
  EXPECT_EQ(reader.ReadImageSizeFlag1FromPath(PathText(path), &size), result);
}

}  // namespace
