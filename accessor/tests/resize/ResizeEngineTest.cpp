#include "accessor/resize/ResizeEngine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "accessor/tests/resize/ResizeTestSupport.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/resample/XpPixmapCrop.h"
#include "imaging/resample/XpPixmapResize.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;
using resizetest::JpegSize;
using resizetest::RecordingReader;
using resizetest::Text;
using resizetest::WriteGradientJpeg;

constexpr uint32_t kQuality = 90;

struct GeometryRow {
  XpSize source;
  int32_t sizeMode;
  bool cutting;
  XpSize output;
  int32_t scale;
};

// The written size and the decoder scale for each kind of picture.
const GeometryRow kGeometryRows[] = {
    {{4000, 3000}, 0, false, {640, 480}, 4},
    {{4000, 3000}, 1, false, {2048, 1536}, 1},
    {{4000, 3000}, 1, true, {1920, 1080}, 2},
    {{1920, 1080}, 1, false, {1920, 1080}, 1},
    {{1920, 1081}, 1, false, {2048, 1153}, 1},
    {{100, 100}, 0, false, {480, 480}, 1},
    {{10000, 1}, 0, false, {640, 1}, 8},
    {{10000, 1}, 0, true, {640, 480}, 8},
};

XpSize ConfiguredSize(int32_t sizeMode) {
  return sizeMode == ::ResizeEngine::kSizeModeLarge
             ? XpSize(::ResizeEngine::kLargeWidth, ::ResizeEngine::kLargeHeight)
             : XpSize(::ResizeEngine::kSmallWidth, ::ResizeEngine::kSmallHeight);
}

std::string Describe(const GeometryRow& row) {
  return std::to_string(row.source.cx) + "x" + std::to_string(row.source.cy) + " mode " +
         std::to_string(row.sizeMode) + (row.cutting ? " cutting" : "");
}

class ResizeEngine : public testsupport::HermeticTest {
 protected:
  std::string PathIn(const std::string& name) const { return (Root() / name).string(); }

  // A gradient JPEG of the size in the test folder.
  std::string Source(const std::string& name, const XpSize& size) const {
    const std::string path = PathIn(name);
    EXPECT_TRUE(WriteGradientJpeg(path, size.cx, size.cy));
    return path;
  }

  // An engine whose reader is recorder.
  static std::unique_ptr<::ResizeEngine> EngineWith(const XpSharedPtr<RecordingReader>& recorder) {
    auto engine = std::make_unique<::ResizeEngine>(
        Text("Orvane"), [recorder](const XpString&) { return XpSharedPtr<XpImageIo>(recorder); });
    EXPECT_EQ(engine->SetQuality(kQuality), kXpOk);
    return engine;
  }

  static XpResult Convert(::ResizeEngine& engine, const std::string& source,
                          const std::string& destination) {
    return engine.Convert(Text(source), Text(destination), XpSharedPtr<XpTiffTagManager>());
  }
};

TEST_F(ResizeEngine, TargetOutputAndScaleFollowTheSourceAndTheSetting) {
  for (const GeometryRow& row : kGeometryRows) {
    SCOPED_TRACE(Describe(row));
    const XpSize target = ::ResizeEngine::TargetFor(row.source, ConfiguredSize(row.sizeMode),
                                                    row.cutting);
    const XpSize fitted = ::ResizeEngine::OutputSizeFor(row.source, target);
    EXPECT_EQ(row.cutting ? target : fitted, row.output);
    EXPECT_EQ(::ResizeEngine::ChooseScaleDenominator(row.source, fitted), row.scale);
  }
}

TEST_F(ResizeEngine, ScaleDenominatorSteps) {
  struct Row {
    XpSize source;
    XpSize output;
    int32_t scale;
  };
  const Row rows[] = {
      {{640, 480}, {640, 480}, 1},  {{1279, 480}, {640, 480}, 1}, {{1280, 480}, {640, 480}, 2},
      {{640, 1919}, {640, 480}, 2}, {{640, 1920}, {640, 480}, 4}, {{5119, 100}, {640, 480}, 4},
      {{5120, 100}, {640, 480}, 8}, {{100000, 1}, {640, 1}, 8},   {{10, 10}, {0, 0}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.source.cx) + "x" + std::to_string(row.source.cy));
    EXPECT_EQ(::ResizeEngine::ChooseScaleDenominator(row.source, row.output), row.scale);
  }
}

TEST_F(ResizeEngine, CutRegionIsTheCentredTargetMappedIntoTheDecode) {
  struct Row {
    XpSize source;
    XpSize target;
    XpSize decoded;
    XpRect region;
  };
  const Row rows[] = {
      {{4000, 3000}, {1920, 1080}, {2000, 1500}, {0, 187, 2000, 1312}},
      {{4000, 3000}, {1920, 1080}, {4000, 3000}, {0, 375, 4000, 2625}},
      {{3000, 4000}, {640, 480}, {750, 1000}, {0, 218, 750, 780}},
      {{1920, 1080}, {640, 480}, {1920, 1080}, {238, 0, 1679, 1080}},
      // Very long pictures keep at least one pixel each way.
      {{10000, 1}, {640, 480}, {1250, 1}, {624, 0, 625, 1}},
      {{1, 10000}, {640, 480}, {1, 1250}, {0, 624, 1, 625}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.source.cx) + "x" + std::to_string(row.source.cy));
    EXPECT_EQ(::ResizeEngine::CutRegionFor(row.source, row.target, row.decoded), row.region);
  }
}

// Cutting first and then resizing gives nearly the picture that resizing to
// the covering size and cutting afterwards gives: a 4000 x 3000 picture
// decoded at half size and cut to 1920 x 1080.
TEST_F(ResizeEngine, CutFirstIsCloseToResizeFirst) {
  const XpSize source(4000, 3000);
  const XpSize decoded(2000, 1500);
  const XpSize target(1920, 1080);
  const XpSize covering(1920, 1440);
  const std::string path = Source("gradient.jpg", decoded);
  XpImageIoJpeg reader;
  std::unique_ptr<XpPixmapBase> cutFirst(
      reader.ReadPixmapFromPath(Text(path), 1, nullptr, true, false));
  ASSERT_TRUE(cutFirst);
  std::unique_ptr<XpPixmapBase> resizeFirst(cutFirst->Clone());
  ASSERT_TRUE(resizeFirst);

  ASSERT_EQ(XpPixmapCrop(*cutFirst, ::ResizeEngine::CutRegionFor(source, target, decoded)), kXpOk);
  ASSERT_EQ(XpPixmapResize(*cutFirst, target.cx, target.cy), kXpOk);
  ASSERT_EQ(XpPixmapResize(*resizeFirst, covering.cx, covering.cy), kXpOk);
  const int32_t top = (covering.cy - target.cy) / 2;
  ASSERT_EQ(XpPixmapCrop(*resizeFirst, XpRect(0, top, target.cx, top + target.cy)), kXpOk);

  int32_t largest = 0;
  int64_t sum = 0;
  for (int32_t y = 0; y < target.cy; ++y) {
    const uint8_t* a = cutFirst->GetPlane(0)->Row(y);
    const uint8_t* b = resizeFirst->GetPlane(0)->Row(y);
    for (int32_t i = 0; i < target.cx * 3; ++i) {
      const int32_t difference = std::abs(a[i] - b[i]);
      largest = std::max(largest, difference);
      sum += difference;
    }
  }
  RecordProperty("largestDifference", largest);
  RecordProperty("differenceSumPerMillion",
                 static_cast<int>(sum * 1000000 / (int64_t{target.cx} * target.cy * 3)));
  EXPECT_LE(largest, 4);
}

TEST_F(ResizeEngine, WritesTheSizeOfEachRowFromTheScaleItAskedFor) {
  for (const GeometryRow& row : kGeometryRows) {
    SCOPED_TRACE(Describe(row));
    const std::string source = Source("source.jpg", row.source);
    const std::string destination = PathIn("out/converted.jpg");
    fs::remove(destination);
    XpSharedPtr<RecordingReader> recorder(new RecordingReader());
    auto engine = EngineWith(recorder);
    engine->SetSizeMode(row.sizeMode);
    engine->SetCutting(row.cutting);

    ASSERT_EQ(Convert(*engine, source, destination), kXpOk);
    EXPECT_EQ(JpegSize(destination), row.output);
    EXPECT_EQ(recorder->scales, std::vector<int32_t>{row.scale});
  }
}

TEST_F(ResizeEngine, CutDecodesAtHalfAndCutsTheMiddle) {
  const std::string source = Source("source.jpg", XpSize(4000, 3000));
  XpSharedPtr<RecordingReader> recorder(new RecordingReader());
  auto engine = EngineWith(recorder);
  engine->SetSizeMode(1);
  engine->SetCutting(true);

  ASSERT_EQ(Convert(*engine, source, PathIn("cut.jpg")), kXpOk);
  ASSERT_EQ(recorder->decodedSizes.size(), 1u);
  EXPECT_EQ(recorder->decodedSizes[0], XpSize(2000, 1500));
  EXPECT_EQ(::ResizeEngine::CutRegionFor(XpSize(4000, 3000), XpSize(1920, 1080),
                                         recorder->decodedSizes[0]),
            XpRect(0, 187, 2000, 1312));
}

// A kept part that already has the target size is only cut: the written
// rows are the middle rows of the source (green follows the row).
TEST_F(ResizeEngine, CutOfTheTargetSizeKeepsTheMiddleRows) {
  const XpSize size(1920, 1440);
  const std::string source = Source("source.jpg", size);
  XpSharedPtr<RecordingReader> recorder(new RecordingReader());
  auto engine = EngineWith(recorder);
  engine->SetSizeMode(1);
  engine->SetCutting(true);
  const std::string destination = PathIn("cut.jpg");
  ASSERT_EQ(Convert(*engine, source, destination), kXpOk);
  EXPECT_EQ(recorder->decodedSizes, std::vector<XpSize>{size});

  XpImageIoJpeg reader;
  std::unique_ptr<XpPixmapBase> written(
      reader.ReadPixmapFromPath(Text(destination), 1, nullptr, false, false));
  ASSERT_TRUE(written);
  ASSERT_EQ(XpSize(written->width, written->height), XpSize(1920, 1080));
  const int32_t top = (size.cy - 1080) / 2;
  for (const int32_t row : {0, 539, 1079}) {
    const int32_t expected = (top + row) * 255 / (size.cy - 1);
    const int32_t green = written->GetPlane(0)->Row(row)[960 * 3 + 1];
    EXPECT_NEAR(green, expected, 4) << "row " << row;
  }
}

TEST_F(ResizeEngine, FailedResizeOrCutWritesNothing) {
  struct Row {
    bool cutting;
    int32_t failingAllocation;
  };
  // Without cutting the resize fails; with cutting the cut, then the resize.
  const Row rows[] = {{false, 1}, {true, 1}, {true, 2}};
  const std::string source = Source("source.jpg", XpSize(400, 300));
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.failingAllocation) + (row.cutting ? " cutting" : ""));
    const std::string destination = PathIn("failed.jpg");
    XpScopedPixmapAllocationFailure disarmAtEnd(0);
    XpSharedPtr<RecordingReader> recorder(new RecordingReader());
    recorder->afterDecode = [&] { XpPixmapFailNthAllocation(row.failingAllocation); };
    auto engine = EngineWith(recorder);
    engine->SetCutting(row.cutting);

    EXPECT_EQ(Convert(*engine, source, destination), kXpErrOutOfMemory);
    EXPECT_FALSE(fs::exists(destination));
  }
}

TEST_F(ResizeEngine, QualityAbove100IsRefusedAndKeepsTheOldOne) {
  ::ResizeEngine engine(Text("Orvane"));
  EXPECT_EQ(engine.GetQuality(), 0u);
  EXPECT_EQ(engine.SetQuality(101), kXpErrGeneric);
  EXPECT_EQ(engine.GetQuality(), 0u);
  EXPECT_EQ(engine.SetQuality(100), kXpOk);
  EXPECT_EQ(engine.GetQuality(), 100u);
  EXPECT_EQ(engine.SetQuality(0xFFFFFFFFu), kXpErrGeneric);
  EXPECT_EQ(engine.GetQuality(), 100u);
}

TEST_F(ResizeEngine, OnlyModesZeroAndOneChangeTheSize) {
  ::ResizeEngine engine(Text("Orvane"));
  EXPECT_EQ(engine.GetSize(), XpSize(640, 480));
  engine.SetSizeMode(1);
  EXPECT_EQ(engine.GetSize(), XpSize(1920, 1080));
  engine.SetSizeMode(2);
  EXPECT_EQ(engine.GetSizeMode(), 2);
  EXPECT_EQ(engine.GetSize(), XpSize(1920, 1080));
  engine.SetSizeMode(0);
  EXPECT_EQ(engine.GetSize(), XpSize(640, 480));
  engine.SetSizeMode(-1);
  EXPECT_EQ(engine.GetSize(), XpSize(640, 480));
}

TEST_F(ResizeEngine, CancelledEngineStopsAfterReadingTheSize) {
  const std::string source = Source("source.jpg", XpSize(64, 48));
  XpSharedPtr<RecordingReader> recorder(new RecordingReader());
  auto engine = EngineWith(recorder);
  engine->Cancel();

  const std::string destination = PathIn("cancelled.jpg");
  EXPECT_EQ(Convert(*engine, source, destination), kXpErrCancelled);
  EXPECT_TRUE(recorder->scales.empty());
  EXPECT_FALSE(fs::exists(destination));

  // The size is read first: a source without a size keeps its own error.
  XpSize ignored;
  const XpResult missing =
      XpImageIoJpeg().ReadImageSizeFlag1FromPath(Text(PathIn("no.jpg")), &ignored);
  ASSERT_NE(missing, kXpOk);
  EXPECT_EQ(Convert(*engine, PathIn("no.jpg"), destination), missing);

  // A cancel is final.
  EXPECT_EQ(Convert(*engine, source, destination), kXpErrCancelled);
  EXPECT_FALSE(fs::exists(destination));
}

TEST_F(ResizeEngine, CancelDuringTheDecodeEndsAtTheNextCheck) {
  const std::string source = Source("source.jpg", XpSize(64, 48));
  const std::string destination = PathIn("cancelled.jpg");
  resizetest::DecodeGate gate;
  XpSharedPtr<RecordingReader> recorder(new RecordingReader());
  recorder->gate = &gate;
  auto engine = EngineWith(recorder);

  XpResult result = kXpOk;
  std::thread worker([&] { result = Convert(*engine, source, destination); });
  const bool arrived = gate.WaitForArrival();
  engine->Cancel();
  gate.Release();
  worker.join();

  ASSERT_TRUE(arrived);
  EXPECT_EQ(result, kXpErrCancelled);
  EXPECT_FALSE(fs::exists(destination));
}

TEST_F(ResizeEngine, UnreadableSourcesGiveTheirCodes) {
  const std::string whole = Source("whole.jpg", XpSize(256, 192));
  std::string bytes;
  {
    std::ifstream in(whole, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The main scan's header (the last SOS: the thumbnail's comes first)
  // names Huffman tables that the file does not define: the header and its
  // size read well, the picture cannot be decoded.
  const size_t scan = bytes.rfind("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  constexpr size_t kFirstTableSelector = 6;
  std::string undecodable = bytes;
  undecodable[scan + kFirstTableSelector] = '\x33';
  const std::string broken = PathIn("broken.jpg");
  std::ofstream(broken, std::ios::binary) << undecodable;
  const std::string unknown = PathIn("picture.xyz");
  fs::copy_file(whole, unknown);

  ::ResizeEngine engine(Text("Orvane"));
  ASSERT_EQ(engine.SetQuality(kQuality), kXpOk);
  struct Row {
    std::string source;
    XpResult result;
  };
  const Row rows[] = {{unknown, kXpErrBadArgument}, {broken, kXpErrImageBadRegion}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    const std::string destination = PathIn("out.jpg");
    EXPECT_EQ(Convert(engine, row.source, destination), row.result);
    EXPECT_FALSE(fs::exists(destination));
  }
  EXPECT_EQ(JpegSize(broken), XpSize(256, 192));
}

}  // namespace
