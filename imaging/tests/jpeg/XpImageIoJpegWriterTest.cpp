#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixelops/XpPixmapYCbCrFromBGR.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/fs/XpFile.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using testsupport::Fault;
using testsupport::SysCall;

const std::vector<uint8_t> kOldTarget = {'o', 'l', 'd', ' ', 'p', 'i', 'c'};

class RecordingObserver : public IXpImageProgress {
 public:
  explicit RecordingObserver(bool stop) : stop_(stop) {}
  int32_t OnProgress(int32_t percent) override {
    reported.push_back(percent);
    return stop_ ? 1 : 0;
  }
  std::vector<int32_t> reported;

 private:
  bool stop_;
};

class XpImageIoJpegWriter : public testsupport::HermeticTest {
 protected:
  std::filesystem::path Target(const std::string& name = "out.jpg") { return Dir("out") / name; }

  XpResult WriteTo(const std::filesystem::path& path, const XpPixmapBase& pixmap,
                   XpRect region = XpRect(), IXpImageProgress* observer = nullptr) {
    return writer_.WriteToPath(&pixmap, XpSharedPtr<XpTiffTagManager>(), PathText(path), observer,
                               region, false, true);
  }

  // An old target in place, then a write that must leave it as it was.
  void ExpectOldTargetKept(XpResult expected, XpImageIoJpeg& writer, XpRect region) {
    WriteBytes(Target(), kOldTarget);
    const auto pixmap = SolidBGR(64, 48, 128, 128, 128);
    EXPECT_EQ(writer.WriteToPath(pixmap.get(), XpSharedPtr<XpTiffTagManager>(), PathText(Target()),
                                 nullptr, region, false, true),
              expected);
    EXPECT_EQ(ReadBytes(Target()), kOldTarget);
    EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
  }

  XpImageIoJpeg writer_{70, u"Orvane"};
  testsupport::FaultInjection faults_;
};

TEST_F(XpImageIoJpegWriter, FileStartsWithExifAndHasNoJfifOrAdobeMarker) {
  const auto pixmap = SolidBGR(640, 480, 128, 128, 128);
  ASSERT_EQ(WriteTo(Target(), *pixmap), kXpOk);
  const std::vector<uint8_t> bytes = ReadBytes(Target());
  const std::vector<uint8_t> head = {0xFF, 0xD8, 0xFF, 0xE1};
  ASSERT_GT(bytes.size(), 20u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4), head);
  EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 12), std::string("Exif\0\0", 6));
  const std::vector<uint8_t> tiffHeader = {0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 12, bytes.begin() + 20), tiffHeader);

  std::vector<uint8_t> codes;
  for (const JpegSegment& segment : JpegSegments(bytes)) {
    if (segment.code == 0xC0) {
      break;
    }
    codes.push_back(segment.code);
  }
  for (uint8_t code : codes) {
    EXPECT_NE(code, 0xE0);
    EXPECT_NE(code, 0xEE);
  }
  const DecodedJpeg decoded = DecodeJpeg(bytes);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.width, 640);
  EXPECT_EQ(decoded.height, 480);
  const std::vector<std::vector<int32_t>> components = {{1, 0x21, 0}, {2, 0x11, 1}, {3, 0x11, 1}};
  EXPECT_EQ(decoded.components, components);
  EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
}

TEST_F(XpImageIoJpegWriter, TemporaryFileSkipsTakenNames) {
  std::filesystem::create_directory(Dir("out") / "0.temp");
  WriteBytes(Dir("out") / "1.temp", kOldTarget);
  const auto pixmap = SolidBGR(32, 32, 10, 20, 30);

  const int id = faults_.Add(
      Fault(SysCall::kOpen, (Dir("out") / "2.temp").string()).Errno(EROFS).ForWriting());
  EXPECT_EQ(WriteTo(Target(), *pixmap), kXpErrAccessDenied);
  EXPECT_GT(faults_.Hits(id), 0);
  EXPECT_FALSE(std::filesystem::exists(Target()));
  EXPECT_TRUE(std::filesystem::is_directory(Dir("out") / "0.temp"));
  EXPECT_EQ(ReadBytes(Dir("out") / "1.temp"), kOldTarget);
  EXPECT_EQ(TempNamesIn(Dir("out")).size(), 2u);

  faults_.Clear();
  ASSERT_EQ(WriteTo(Target(), *pixmap), kXpOk);
  EXPECT_TRUE(DecodeJpeg(ReadBytes(Target())).ok);
  EXPECT_TRUE(std::filesystem::is_directory(Dir("out") / "0.temp"));
  EXPECT_EQ(ReadBytes(Dir("out") / "1.temp"), kOldTarget);
  EXPECT_EQ(TempNamesIn(Dir("out")).size(), 2u);
}

TEST_F(XpImageIoJpegWriter, SearchForAFreeTemporaryNameIsBounded) {
  WriteBytes(Target(), kOldTarget);
  const auto pixmap = SolidBGR(16, 16, 10, 20, 30);
  // Every name is taken.
  const int id = faults_.Add(Fault(SysCall::kOpen, Dir("out").string()).Errno(EEXIST).ForWriting());
  EXPECT_EQ(WriteTo(Target(), *pixmap), kXpErrAlreadyExists);
  EXPECT_EQ(faults_.Hits(id), XpImageIoJpeg::kTempNameAttempts);
  EXPECT_EQ(ReadBytes(Target()), kOldTarget);
  EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
}

TEST_F(XpImageIoJpegWriter, RefusedWriteLeavesOldTarget) {
  XpImageIoJpeg nameless;
  ExpectOldTargetKept(kXpErrImageNoWriterName, nameless, XpRect());
  ExpectOldTargetKept(kXpErrImageBadRegion, writer_, XpRect(10, 10, 5, 5));
  // A region wholly outside the picture is empty too.
  ExpectOldTargetKept(kXpErrImageBadRegion, writer_, XpRect(-20, -20, 0, 0));
}

TEST_F(XpImageIoJpegWriter, FailedReplacementKeepsOldTarget) {
  struct Case {
    SysCall call;
    int error;
    XpResult expected;
  };
  const Case cases[] = {
      {SysCall::kRename, EROFS, kXpErrAccessDenied},
      {SysCall::kFsync, EIO, XpResultFromErrno(EIO)},
  };
  const auto pixmap = SolidBGR(64, 48, 1, 2, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    WriteBytes(Target(), kOldTarget);
    faults_.Clear();
    const int id = faults_.Add(Fault(c.call, Dir("out").string()).Errno(c.error));
    EXPECT_EQ(WriteTo(Target(), *pixmap), c.expected);
    EXPECT_GT(faults_.Hits(id), 0);
    EXPECT_EQ(ReadBytes(Target()), kOldTarget);
    EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
  }
}

TEST_F(XpImageIoJpegWriter, TheFolderIsFlushedAfterTheRename) {
  WriteBytes(Target(), kOldTarget);
  // The first flush is the temporary file's, the second the folder's.
  const int id = faults_.Add(Fault(SysCall::kFsync, Dir("out").string()).FromCall(2).Errno(EIO));
  EXPECT_EQ(WriteTo(Target(), *SolidBGR(64, 48, 1, 2, 3)), XpResultFromErrno(EIO));
  EXPECT_EQ(faults_.Hits(id), 1);
  // The rename came first: the new picture is in place, no temporary is left.
  EXPECT_NE(ReadBytes(Target()), kOldTarget);
  EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
}

TEST_F(XpImageIoJpegWriter, DiskFullMidFileIsReported) {
  WriteBytes(Target(), kOldTarget);
  const auto pixmap = NoiseBGR(640, 480, 7);
  const int id =
      faults_.Add(Fault(SysCall::kWrite, Dir("out").string()).Errno(ENOSPC).AfterBytes(100000));
  EXPECT_EQ(WriteTo(Target(), *pixmap), kXpErrDiskFull);
  EXPECT_GT(faults_.Hits(id), 0);
  EXPECT_EQ(ReadBytes(Target()), kOldTarget);
  EXPECT_TRUE(TempNamesIn(Dir("out")).empty());

  faults_.Clear();
  faults_.Add(Fault(SysCall::kWrite, Dir("out").string()).Errno(ENOSPC).AfterBytes(100000));
  XpFile file;
  ASSERT_EQ(file.OpenPath(PathText(Dir("out") / "direct.jpg"), kXpOpenWrite), kXpOk);
  EXPECT_EQ(writer_.WriteToFile(pixmap.get(), XpSharedPtr<XpTiffTagManager>(), file, nullptr,
                                XpRect(), false, true),
            kXpErrDiskFull);
}

TEST_F(XpImageIoJpegWriter, FourThreadsWriteOneFolder) {
  const auto pixmap = NoiseBGR(320, 240, 3);
  XpResult results[4] = {};
  std::vector<std::thread> threads;
  for (int index = 0; index < 4; ++index) {
    threads.emplace_back([&, index] {
      XpImageIoJpeg writer(70, u"Orvane");
      results[index] =
          writer.WriteToPath(pixmap.get(), XpSharedPtr<XpTiffTagManager>(),
                             PathText(Target("t" + std::to_string(index) + ".jpg")), nullptr,
                             XpRect(), false, true);
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (int index = 0; index < 4; ++index) {
    EXPECT_EQ(results[index], kXpOk);
    const DecodedJpeg decoded = DecodeJpeg(ReadBytes(Target("t" + std::to_string(index) + ".jpg")));
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 320);
  }
  EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
}

TEST_F(XpImageIoJpegWriter, ProgressInStepsOfFiveAndStop) {
  const auto pixmap = SolidBGR(40, 100, 50, 60, 70);
  RecordingObserver observer(false);
  ASSERT_EQ(WriteTo(Target(), *pixmap, XpRect(), &observer), kXpOk);
  std::vector<int32_t> expected;
  for (int32_t percent = 5; percent <= 95; percent += 5) {
    expected.push_back(percent);
  }
  EXPECT_EQ(observer.reported, expected);

  WriteBytes(Target(), kOldTarget);
  RecordingObserver stopper(true);
  EXPECT_EQ(WriteTo(Target(), *pixmap, XpRect(), &stopper), kXpErrImageStopped);
  EXPECT_EQ(stopper.reported, std::vector<int32_t>{5});
  EXPECT_EQ(ReadBytes(Target()), kOldTarget);
  EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
}

TEST_F(XpImageIoJpegWriter, LibraryErrorIsSilentFailure) {
  const auto pixmap = SolidBGR(70000, 1, 9, 9, 9);
  testing::internal::CaptureStderr();
  const XpResult result = WriteTo(Target(), *pixmap);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, kXpErrImaging);
  EXPECT_EQ(printed, "");
  EXPECT_FALSE(std::filesystem::exists(Target()));
  EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
}

TEST_F(XpImageIoJpegWriter, RelativeTargetIsRefused) {
  const auto pixmap = SolidBGR(8, 8, 9, 9, 9);
  EXPECT_EQ(writer_.WriteToPath(pixmap.get(), XpSharedPtr<XpTiffTagManager>(), u"out.jpg",
                                nullptr, XpRect(), false, true),
            kXpErrPathNotFound);
}

TEST_F(XpImageIoJpegWriter, PureRedDecodesRed) {
  const auto pixmap = SolidBGR(64, 64, 0x00, 0x00, 0xFF);
  ASSERT_EQ(WriteTo(Target(), *pixmap), kXpOk);
  const DecodedJpeg decoded = DecodeJpeg(ReadBytes(Target()));
  ASSERT_TRUE(decoded.ok);
  const uint8_t* pixel = decoded.Pixel(32, 32);
  EXPECT_GT(pixel[0], 240);
  EXPECT_LT(pixel[1], 16);
  EXPECT_LT(pixel[2], 16);
}

TEST_F(XpImageIoJpegWriter, RegionsAreClampedAndCut) {
  const auto pixmap = GradientBGR(64, 48);
  ASSERT_EQ(WriteTo(Target("whole.jpg"), *pixmap), kXpOk);
  const DecodedJpeg whole = DecodeJpeg(ReadBytes(Target("whole.jpg")));
  ASSERT_TRUE(whole.ok);
  const XpRect sameAsWhole[] = {XpRect(0, 0, 64, 48), XpRect(-5, -5, 69, 53)};
  for (const XpRect& region : sameAsWhole) {
    ASSERT_EQ(WriteTo(Target("region.jpg"), *pixmap, region), kXpOk);
    const DecodedJpeg decoded = DecodeJpeg(ReadBytes(Target("region.jpg")));
    EXPECT_EQ(decoded.width, 64);
    EXPECT_EQ(decoded.rgb, whole.rgb) << region.left;
  }

  ASSERT_EQ(WriteTo(Target("cut.jpg"), *pixmap, XpRect(16, 8, 48, 40)), kXpOk);
  const DecodedJpeg cut = DecodeJpeg(ReadBytes(Target("cut.jpg")));
  ASSERT_TRUE(cut.ok);
  ASSERT_EQ(cut.width, 32);
  ASSERT_EQ(cut.height, 32);
  const XpPlaneBase& plane = *pixmap->GetPlane(0);
  for (int32_t y = 0; y < 32; y += 5) {
    for (int32_t x = 0; x < 32; x += 5) {
      const uint8_t* source = plane.Row(y + 8) + (x + 16) * 3;
      const uint8_t* decoded = cut.Pixel(x, y);
      EXPECT_NEAR(decoded[2], source[0], 6) << x << "," << y;
      EXPECT_NEAR(decoded[1], source[1], 6) << x << "," << y;
    }
  }
}

TEST_F(XpImageIoJpegWriter, YCbCrPixmapsAreWritten) {
  const auto grey = SolidBGR(48, 32, 90, 90, 90);
  const std::unique_ptr<XpPixmapYCbCr444> ycbcr(XpPixmapYCbCrFromBGR(*grey));
  ASSERT_NE(ycbcr, nullptr);
  ASSERT_EQ(writer_.WriteYCbCrToPath(ycbcr.get(), XpSharedPtr<XpTiffTagManager>(),
                                     PathText(Target()), nullptr, XpRect(), false, true),
            kXpOk);
  const DecodedJpeg decoded = DecodeJpeg(ReadBytes(Target()));
  ASSERT_TRUE(decoded.ok);
  for (size_t index = 0; index < decoded.rgb.size(); index += 97) {
    EXPECT_NEAR(decoded.rgb[index], 90, 2);
  }
  const std::optional<JpegSegment> app1 = FindSegment(JpegSegments(ReadBytes(Target())), 0xE1);
  ASSERT_TRUE(app1.has_value());
  const auto tags = ParseExifPayload(app1->payload);
  ASSERT_NE(tags, nullptr);
  // The thumbnail comes from the pixels taken back to BGR.
  const size_t offset = 6 + tags->GetIFD(1)->GetLong(513);
  ASSERT_LT(offset, app1->payload.size());
  const DecodedJpeg thumbnail = DecodeJpeg(std::vector<uint8_t>(
      app1->payload.begin() + static_cast<std::ptrdiff_t>(offset), app1->payload.end()));
  ASSERT_TRUE(thumbnail.ok);
  EXPECT_NEAR(thumbnail.Pixel(80, 60)[0], 90, 3);

  XpMemoryFile memory;
  ASSERT_EQ(memory.Open(kXpOpenReadWrite), kXpOk);
  ASSERT_EQ(writer_.WriteToFileAsYCbCr(grey.get(), XpSharedPtr<XpTiffTagManager>(), memory,
                                       nullptr, XpRect(4, 4, 20, 12), false, true),
            kXpOk);
  const auto* begin = static_cast<const uint8_t*>(memory.GetBuffer());
  const DecodedJpeg region = DecodeJpeg(std::vector<uint8_t>(begin, begin + memory.GetDataSize()));
  ASSERT_TRUE(region.ok);
  EXPECT_EQ(region.width, 16);
  EXPECT_EQ(region.height, 8);
  EXPECT_NEAR(region.Pixel(8, 4)[1], 90, 2);
}

TEST_F(XpImageIoJpegWriter, FailedYCbCrConversionIsOutOfMemory) {
  const auto pixmap = SolidBGR(16, 16, 1, 2, 3);
  XpScopedPixmapAllocationFailure failure(1);
  EXPECT_EQ(writer_.WriteToPathAsYCbCr(pixmap.get(), XpSharedPtr<XpTiffTagManager>(),
                                       PathText(Target()), nullptr, XpRect(), false, true),
            kXpErrOutOfMemory);
  EXPECT_FALSE(std::filesystem::exists(Target()));
}

TEST_F(XpImageIoJpegWriter, PlainJpegHasNoAppMarker) {
  const auto pixmap = SolidBGR(40, 30, 200, 100, 50);
  XpMemoryFile memory;
  ASSERT_EQ(memory.Open(kXpOpenReadWrite), kXpOk);
  ASSERT_EQ(writer_.EncodePlain(pixmap.get(), memory, 90), kXpOk);
  const auto* begin = static_cast<const uint8_t*>(memory.GetBuffer());
  const std::vector<uint8_t> bytes(begin, begin + memory.GetDataSize());
  for (const JpegSegment& segment : JpegSegments(bytes)) {
    EXPECT_FALSE(segment.code >= 0xE0 && segment.code <= 0xEF) << int(segment.code);
  }
  const DecodedJpeg decoded = DecodeJpeg(bytes);
  ASSERT_TRUE(decoded.ok);
  EXPECT_NEAR(decoded.Pixel(20, 15)[0], 50, 3);
  EXPECT_NEAR(decoded.Pixel(20, 15)[2], 200, 3);
}

TEST_F(XpImageIoJpegWriter, MissingOrForeignPixmapIsRefused) {
  XpMemoryFile memory;
  XpPixmapYCbCr444 ycbcr;
  ASSERT_EQ(ycbcr.Allocate(4, 4), kXpOk);
  EXPECT_EQ(writer_.WriteToFile(nullptr, XpSharedPtr<XpTiffTagManager>(), memory, nullptr,
                                XpRect(), false, true),
            kXpErrBadArgument);
  EXPECT_EQ(writer_.WriteToFile(&ycbcr, XpSharedPtr<XpTiffTagManager>(), memory, nullptr,
                                XpRect(), false, true),
            kXpErrBadArgument);
}

}  // namespace
