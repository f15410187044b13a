#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/io/XpPixmapOrientation.h"
#include "imaging/jpeg/XpJpegCoefficientTransform.h"
#include "imaging/jpeg/XpJpegLosslessRun.h"
#include "imaging/tests/jpeg/LosslessTestSupport.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr int kBlockSide = 8;

struct Frame {
  const char* name;
  Sampling sampling;
  int32_t width;
  int32_t height;
};

const Frame kFrames[] = {
    {"4:2:0", Sampling::k420, 64, 48},
    {"4:2:2", Sampling::k422, 64, 48},
    {"4:4:4", Sampling::k444, 64, 48},
    {"grey", Sampling::kGrey, 24, 16},
};

int Sign(int power) { return power % 2 == 0 ? 1 : -1; }

// d[v][u] of a destination block from its source block c.
int ExpectedCoefficient(int32_t code, const int16_t* c, int v, int u) {
  const int straight = c[v * kBlockSide + u];
  const int crossed = c[u * kBlockSide + v];
  switch (code) {
    case 1:
      return Sign(u) * straight;
    case 2:
      return Sign(v) * straight;
    case 3:
      return crossed;
    case 4:
      return Sign(u + v) * crossed;
    case 5:
      return Sign(u) * crossed;
    case 6:
      return Sign(u + v) * straight;
    case 7:
      return Sign(v) * crossed;
    default:
      return straight;
  }
}

bool Swaps(int32_t code) { return code == 3 || code == 4 || code == 5 || code == 7; }

// The stream copied through the run with a transform.
std::vector<uint8_t> Transformed(const std::vector<uint8_t>& stream, int32_t code,
                                 XpResult* result = nullptr) {
  XpMemoryFile source;
  XpMemoryFile destination;
  EXPECT_EQ(source.Open(kXpOpenReadWrite), kXpOk);
  EXPECT_EQ(source.Write(stream.data(), stream.size(), nullptr), kXpOk);
  EXPECT_EQ(destination.Open(kXpOpenReadWrite), kXpOk);
  XpJpegLosslessRun run;
  run.source = &source;
  run.destination = &destination;
  run.transform = code;
  const XpResult answer = run.Run();
  if (result != nullptr) {
    *result = answer;
  } else {
    EXPECT_EQ(answer, kXpOk);
  }
  const auto* bytes = static_cast<const uint8_t*>(destination.GetBuffer());
  return std::vector<uint8_t>(bytes, bytes + destination.GetDataSize());
}

std::vector<uint16_t> Transposed(const std::vector<uint16_t>& table) {
  std::vector<uint16_t> result(table.size());
  for (int v = 0; v < kBlockSide; ++v) {
    for (int u = 0; u < kBlockSide; ++u) {
      result[v * kBlockSide + u] = table[u * kBlockSide + v];
    }
  }
  return result;
}

// Every coefficient of every destination block against its source block.
void ExpectTransformedCoefficients(const JpegCoefficients& source,
                                   const JpegCoefficients& destination, int32_t code) {
  const bool swap = Swaps(code);
  EXPECT_EQ(destination.width, swap ? source.height : source.width);
  EXPECT_EQ(destination.height, swap ? source.width : source.height);
  ASSERT_EQ(destination.components.size(), source.components.size());
  for (size_t index = 0; index < source.components.size(); ++index) {
    SCOPED_TRACE("component " + std::to_string(index));
    const ComponentCoefficients& from = source.components[index];
    const ComponentCoefficients& to = destination.components[index];
    EXPECT_EQ(to.horizontalSampling, swap ? from.verticalSampling : from.horizontalSampling);
    EXPECT_EQ(to.verticalSampling, swap ? from.horizontalSampling : from.verticalSampling);
    EXPECT_EQ(to.quantisation, swap ? Transposed(from.quantisation) : from.quantisation);
    ASSERT_EQ(to.widthInBlocks, swap ? from.heightInBlocks : from.widthInBlocks);
    ASSERT_EQ(to.heightInBlocks, swap ? from.widthInBlocks : from.heightInBlocks);
    int mismatches = 0;
    for (int32_t y = 0; y < from.heightInBlocks; ++y) {
      for (int32_t x = 0; x < from.widthInBlocks; ++x) {
        const Placement at = TransformPlacement(code, x, y, from.widthInBlocks, from.heightInBlocks);
        const int16_t* c = from.Block(x, y);
        const int16_t* d = to.Block(at.x, at.y);
        for (int v = 0; v < kBlockSide; ++v) {
          for (int u = 0; u < kBlockSide; ++u) {
            mismatches += d[v * kBlockSide + u] != ExpectedCoefficient(code, c, v, u) ? 1 : 0;
          }
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

class XpJpegCoefficientTransform : public testsupport::HermeticTest {};

TEST_F(XpJpegCoefficientTransform, EveryCodeMovesEveryCoefficientByTheTable) {
  for (const Frame& frame : kFrames) {
    const std::vector<uint8_t> stream = BuildSampledFrame(frame.width, frame.height, frame.sampling);
    const JpegCoefficients source = ReadCoefficients(stream);
    ASSERT_TRUE(source.ok);
    for (int32_t code = 1; code <= 7; ++code) {
      SCOPED_TRACE(std::string(frame.name) + " code " + std::to_string(code));
      const JpegCoefficients destination = ReadCoefficients(Transformed(stream, code));
      ASSERT_TRUE(destination.ok);
      ExpectTransformedCoefficients(source, destination, code);
    }
  }
}

TEST_F(XpJpegCoefficientTransform, InverseSequencesGiveTheSourceBack) {
  const std::vector<std::vector<int32_t>> sequences = {
      {5, 5, 5, 5}, {1, 1}, {3, 3}, {5, 7}, {2, 2}, {4, 4}, {6, 6}};
  for (const Frame& frame : kFrames) {
    const std::vector<uint8_t> stream = BuildSampledFrame(frame.width, frame.height, frame.sampling);
    const JpegCoefficients source = ReadCoefficients(stream);
    for (const std::vector<int32_t>& sequence : sequences) {
      SCOPED_TRACE(std::string(frame.name) + " starting with " + std::to_string(sequence[0]) +
                   " x" + std::to_string(sequence.size()));
      std::vector<uint8_t> bytes = stream;
      for (const int32_t code : sequence) {
        bytes = Transformed(bytes, code);
      }
      const JpegCoefficients back = ReadCoefficients(bytes);
      ASSERT_TRUE(back.ok);
      EXPECT_EQ(back.width, source.width);
      EXPECT_EQ(back.height, source.height);
      ASSERT_EQ(back.components.size(), source.components.size());
      for (size_t index = 0; index < source.components.size(); ++index) {
        EXPECT_EQ(back.components[index].blocks, source.components[index].blocks);
        EXPECT_EQ(back.components[index].quantisation, source.components[index].quantisation);
        EXPECT_EQ(back.components[index].horizontalSampling,
                  source.components[index].horizontalSampling);
      }
    }
  }
}

TEST_F(XpJpegCoefficientTransform, QuarterTurnMovesTheRedCornerAndKeepsThePixels) {
  // The decoder's chroma upsampling rounds by column, so a turned 4:2:0
  // picture may differ by one more level than the others.
  const struct {
    Frame frame;
    int tolerance;
  } cases[] = {{kFrames[0], 3}, {kFrames[1], 3}, {kFrames[2], 2}};
  for (const auto& [frame, tolerance] : cases) {
    SCOPED_TRACE(frame.name);
    const std::vector<uint8_t> stream = BuildSampledFrame(frame.width, frame.height, frame.sampling);
    const DecodedJpeg source = DecodeJpeg(stream);
    const DecodedJpeg turned = DecodeJpeg(Transformed(stream, 5));
    ASSERT_TRUE(source.ok);
    ASSERT_TRUE(turned.ok);
    ASSERT_EQ(turned.width, source.height);
    ASSERT_EQ(turned.height, source.width);
    // The top-right corner is the source's red top-left one.
    const uint8_t* corner = turned.Pixel(turned.width - 4, 4);
    EXPECT_GT(corner[0], 200);
    EXPECT_LT(corner[1], 60);
    EXPECT_LT(corner[2], 60);
    const uint8_t* oppositeCorner = turned.Pixel(4, 4);
    EXPECT_LT(oppositeCorner[0], 200);
    int worst = 0;
    for (int32_t y = 0; y < turned.height; ++y) {
      for (int32_t x = 0; x < turned.width; ++x) {
        // Destination (x, y) shows source (y, H - 1 - x).
        const uint8_t* expected = source.Pixel(y, source.height - 1 - x);
        const uint8_t* actual = turned.Pixel(x, y);
        for (int channel = 0; channel < 3; ++channel) {
          worst = std::max(worst, std::abs(expected[channel] - actual[channel]));
        }
      }
    }
    EXPECT_LE(worst, tolerance);
  }
}

TEST_F(XpJpegCoefficientTransform, ComposedCodeUndoesTheOrientationFirst) {
  // Pixel maps of the codes on a w x h picture.
  const auto apply = [](int32_t code, int32_t x, int32_t y, int32_t width, int32_t height,
                        int32_t& outWidth, int32_t& outHeight) {
    const Placement at = TransformPlacement(code, x, y, width, height);
    outWidth = Swaps(code) ? height : width;
    outHeight = Swaps(code) ? width : height;
    return at;
  };
  const int32_t width = 5;
  const int32_t height = 3;
  for (int32_t t = 0; t <= 7; ++t) {
    for (int32_t o = 1; o <= 8; ++o) {
      SCOPED_TRACE("t " + std::to_string(t) + " o " + std::to_string(o));
      const int32_t composed = ::XpJpegCoefficientTransform::ComposeWithOrientation(t, o);
      for (const Placement corner : {Placement{0, 0}, Placement{width - 1, 0}}) {
        int32_t w1 = 0;
        int32_t h1 = 0;
        const Placement upright = apply(UprightCodeOf(o), corner.x, corner.y, width, height, w1, h1);
        int32_t w2 = 0;
        int32_t h2 = 0;
        const Placement twoSteps = apply(t, upright.x, upright.y, w1, h1, w2, h2);
        int32_t w3 = 0;
        int32_t h3 = 0;
        const Placement oneStep = apply(composed, corner.x, corner.y, width, height, w3, h3);
        EXPECT_EQ(oneStep.x, twoSteps.x);
        EXPECT_EQ(oneStep.y, twoSteps.y);
      }
    }
  }
  EXPECT_EQ(::XpJpegCoefficientTransform::ComposeWithOrientation(5, 0), 5);
  EXPECT_EQ(::XpJpegCoefficientTransform::ComposeWithOrientation(5, 9), 5);
}

TEST_F(XpJpegCoefficientTransform, TheOrientationOfACodeMovesPixelsAsTheCodeDoes) {
  const int32_t width = 5;
  const int32_t height = 3;
  XpPixmapBGR24NoHandle source;
  ASSERT_EQ(source.Allocate(width, height), kXpOk);
  // Each pixel's blue byte is its own index.
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      source.GetPlane(0)->Row(y)[x * 3] = static_cast<uint8_t>(y * width + x);
    }
  }
  for (int32_t code = 0; code <= 7; ++code) {
    SCOPED_TRACE("code " + std::to_string(code));
    const int32_t orientation = ::XpJpegCoefficientTransform::OrientationOf(code);
    if (code == 0) {
      EXPECT_EQ(orientation, 1);
      continue;
    }
    const std::unique_ptr<XpPixmapBase> moved(XpPixmapTurnForOrientation(source, orientation));
    ASSERT_NE(moved, nullptr);
    ASSERT_EQ(moved->width, Swaps(code) ? height : width);
    int mismatches = 0;
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        const Placement at = TransformPlacement(code, x, y, width, height);
        mismatches += moved->GetPlane(0)->Row(at.y)[at.x * 3] != y * width + x ? 1 : 0;
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
  EXPECT_EQ(::XpJpegCoefficientTransform::OrientationOf(8), 1);
  EXPECT_EQ(::XpJpegCoefficientTransform::OrientationOf(-1), 1);
}

TEST_F(XpJpegCoefficientTransform, PartialIMCUsAreRefusedBeforeAnyOutput) {
  struct Case {
    Sampling sampling;
    int32_t width;
    int32_t height;
    int32_t code;
    XpResult expected;
  };
  const Case cases[] = {
      {Sampling::k420, 64, 47, 5, kXpErrImageNotSupported},
      {Sampling::k420, 64, 47, 1, kXpErrImageNotSupported},
      {Sampling::k420, 60, 48, 2, kXpErrImageNotSupported},
      {Sampling::k420, 64, 47, 0, kXpOk},
      {Sampling::k420, 64, 48, 5, kXpOk},
      {Sampling::k444, 64, 44, 2, kXpErrImageNotSupported},
      {Sampling::k444, 64, 40, 2, kXpOk},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(std::to_string(row.width) + " x " + std::to_string(row.height) + " code " +
                 std::to_string(row.code));
    XpResult result = kXpOk;
    const std::vector<uint8_t> output =
        Transformed(BuildSampledFrame(row.width, row.height, row.sampling), row.code, &result);
    EXPECT_EQ(result, row.expected);
    EXPECT_EQ(output.empty(), row.expected != kXpOk);
  }
}

}  // namespace
