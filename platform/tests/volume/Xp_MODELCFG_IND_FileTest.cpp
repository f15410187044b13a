#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>

#include "platform/fs/XpDir.h"
#include "platform/tests/volume/VolumeTestTree.h"
#include "platform/volume/Xp_MODELCFG_IND_File.h"

namespace {

using fstest::ToXp;
using fstest::WriteBytes;

using Xp_MODELCFG_IND_File = volumetest::VolumeFixture;

// A model file of size bytes, zero but for the magic, the version and the
// bytes given as {index, value}.
std::string ModelBytes(const char* magic, uint8_t major, uint8_t minor,
                       std::initializer_list<std::pair<size_t, uint8_t>> bytes = {},
                       size_t size = ::Xp_MODELCFG_IND_File::kFileSize) {
  std::string text(::Xp_MODELCFG_IND_File::kFileSize, '\0');
  text[0] = magic[0];
  text[1] = magic[1];
  text[2] = static_cast<char>(major);
  text[3] = static_cast<char>(minor);
  for (const auto& [index, value] : bytes) {
    text[index] = static_cast<char>(value);
  }
  text.resize(size);
  return text;
}

// The eleven "clear" queries as '1' (true) and '0', in the order: byte 12
// bits 7, 6, 5, 4; byte 17 bit 7; byte 18 bits 7, 6, 5; byte 19 bits 7, 6, 5.
std::string ClearQueries(const ::Xp_MODELCFG_IND_File& model) {
  const bool answers[] = {
      model.IsByte12Bit7Clear(), model.IsByte12Bit6Clear(), model.IsByte12Bit5Clear(),
      model.IsByte12Bit4Clear(), model.IsByte17Bit7Clear(), model.IsByte18Bit7Clear(),
      model.IsByte18Bit6Clear(), model.IsByte18Bit5Clear(), model.IsByte19Bit7Clear(),
      model.IsByte19Bit6Clear(), model.IsByte19Bit5Clear(),
  };
  std::string text;
  for (const bool answer : answers) {
    text += answer ? '1' : '0';
  }
  return text;
}

TEST_F(Xp_MODELCFG_IND_File, LoadChecksSizeAndMagic) {
  struct Case {
    const char* name;
    std::string bytes;
    XpResult result;
    bool valid;
  };
  const std::string rest(30, '\x7F');
  const Case cases[] = {
      {"exact", "KT" + rest, kXpOk, true},
      {"longer", "KT" + rest + "more", kXpOk, true},
      {"short", "KT" + rest.substr(1), kXpErrEndOfFile, false},
      {"magic", "TK" + rest, kXpOk, false},
      {"empty", "", kXpErrEndOfFile, false},
  };
  for (const Case& c : cases) {
    const std::filesystem::path file = Root() / c.name / "MODELCFG.IND";
    WriteBytes(file, c.bytes);
    ::Xp_MODELCFG_IND_File model(ToXp(file));
    EXPECT_EQ(model.GetLoadResult(), c.result) << c.name;
    EXPECT_EQ(model.IsValid(), c.valid) << c.name;
    EXPECT_FALSE(model.IsOpen()) << c.name;
  }
  ::Xp_MODELCFG_IND_File missing(ToXp(Root() / "missing/MODELCFG.IND"));
  EXPECT_EQ(missing.GetLoadResult(), kXpErrPathNotFound);
  EXPECT_FALSE(missing.IsValid());
  EXPECT_FALSE(::Xp_MODELCFG_IND_File().IsValid());
}

TEST_F(Xp_MODELCFG_IND_File, SetFileLoadsAgain) {
  WriteBytes(Root() / "good/MODELCFG.IND", "KT" + std::string(30, '\0'));
  WriteBytes(Root() / "bad/MODELCFG.IND", "KT");
  ::Xp_MODELCFG_IND_File model(ToXp(Root() / "good/MODELCFG.IND"));
  EXPECT_TRUE(model.IsValid());
  EXPECT_EQ(model.SetFile(ToXp(Root() / "bad/MODELCFG.IND")), kXpErrEndOfFile);
  EXPECT_FALSE(model.IsValid());
}

TEST_F(Xp_MODELCFG_IND_File, FeatureBitsGateTheirBytes) {
  struct Case {
    const char* name;
    std::string bytes;
    bool version11;
    int32_t byte16Bit7;
    const char* clear;
  };
  const Case cases[] = {
      {"byte16 set", ModelBytes("KT", 1, 1, {{12, 0x00}, {16, 0x80}}), true, 1, "11111111111"},
      {"byte16 clear", ModelBytes("KT", 1, 1, {{12, 0x00}, {16, 0x00}}), true, 0, "11111111111"},
      {"byte16 gated", ModelBytes("KT", 1, 1, {{12, 0x80}, {16, 0x80}}), true, 2, "01111111111"},
      {"1.0 zeros", ModelBytes("KT", 1, 0), false, 2, "00000000000"},
      {"1.0 ones",
       ModelBytes("KT", 1, 0, {{12, 0xFF}, {16, 0xFF}, {17, 0xFF}, {18, 0xFF}, {19, 0xFF}}), false,
       2, "00000000000"},
      {"byte17 gated", ModelBytes("KT", 1, 1, {{12, 0x40}, {17, 0x00}}), true, 0, "10110111111"},
      {"byte17 set", ModelBytes("KT", 1, 1, {{12, 0x00}, {17, 0x80}}), true, 0, "11110111111"},
      {"byte18 gated", ModelBytes("KT", 1, 1, {{12, 0x20}}), true, 0, "11011000111"},
      {"byte18 and 19", ModelBytes("KT", 1, 1, {{12, 0x10}, {18, 0x40}, {19, 0x00}}), true, 0,
       "11101101000"},
      {"byte18 bits", ModelBytes("KT", 1, 1, {{18, 0xA0}, {19, 0x40}}), true, 0, "11111010101"},
      {"2.0 all set",
       ModelBytes("KT", 2, 0, {{12, 0xF0}, {16, 0xFF}, {17, 0xFF}, {18, 0xFF}, {19, 0xFF}}), true,
       2, "00000000000"},
      {"2.0 low bits",
       ModelBytes("KT", 2, 0, {{12, 0x0F}, {16, 0x7F}, {17, 0x7F}, {18, 0x1F}, {19, 0x1F}}), true,
       0, "11111111111"},
      // Read as they stand, whatever the magic says.
      {"other magic", ModelBytes("KX", 1, 1, {{12, 0x00}, {16, 0x80}, {17, 0x80}}), true, 1,
       "11110111111"},
  };
  for (const Case& c : cases) {
    const std::filesystem::path file = Root() / "features" / c.name / "MODELCFG.IND";
    WriteBytes(file, c.bytes);
    const ::Xp_MODELCFG_IND_File model(ToXp(file));
    ASSERT_EQ(model.GetLoadResult(), kXpOk) << c.name;
    EXPECT_EQ(model.IsValid(), c.bytes[1] == 'T') << c.name;
    EXPECT_EQ(model.IsVersionAtLeast(1, 1), c.version11) << c.name;
    EXPECT_EQ(model.GetByte16Bit7(), c.byte16Bit7) << c.name;
    EXPECT_EQ(ClearQueries(model), c.clear) << c.name;
  }
}

TEST_F(Xp_MODELCFG_IND_File, VersionComparesMajorThenMinor) {
  struct Case {
    uint8_t major;
    uint8_t minor;
    uint8_t askMajor;
    uint8_t askMinor;
    bool expected;
  };
  const Case cases[] = {
      {0, 9, 1, 1, false}, {1, 0, 1, 1, false}, {1, 1, 1, 1, true},   {1, 2, 1, 1, true},
      {2, 0, 1, 1, true},  {1, 9, 2, 0, false}, {255, 255, 255, 255, true}, {0, 0, 0, 0, true},
      {1, 5, 1, 6, false},
  };
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.major) + "." + std::to_string(c.minor) + "-" +
                             std::to_string(c.askMajor) + "." + std::to_string(c.askMinor);
    const std::filesystem::path file = Root() / "versions" / name / "MODELCFG.IND";
    WriteBytes(file, ModelBytes("KT", c.major, c.minor));
    const ::Xp_MODELCFG_IND_File model(ToXp(file));
    EXPECT_EQ(model.IsVersionAtLeast(c.askMajor, c.askMinor), c.expected) << name;
  }
}

TEST_F(Xp_MODELCFG_IND_File, WordAndCopiedBytesFollowTheLoad) {
  struct Case {
    const char* name;
    std::string bytes;
    XpResult result;
    bool valid;
    uint16_t word;
    std::array<uint8_t, 4> copied;
  };
  const std::initializer_list<std::pair<size_t, uint8_t>> fields = {
      {4, 0x34}, {5, 0x12}, {8, 0x01}, {9, 0x02}, {10, 0x03}, {11, 0xFE}};
  constexpr std::array<uint8_t, 4> kUntouched = {0xEE, 0xEE, 0xEE, 0xEE};
  const Case cases[] = {
      {"valid", ModelBytes("KT", 1, 1, fields), kXpOk, true, 0x1234, {0x01, 0x02, 0x03, 0xFE}},
      {"other magic", ModelBytes("KX", 1, 1, fields), kXpOk, false, 0, {0x01, 0x02, 0x03, 0xFE}},
      {"short", ModelBytes("KT", 1, 1, fields, 31), kXpErrEndOfFile, false, 0, kUntouched},
  };
  for (const Case& c : cases) {
    const std::filesystem::path file = Root() / "fields" / c.name / "MODELCFG.IND";
    WriteBytes(file, c.bytes);
    const ::Xp_MODELCFG_IND_File model(ToXp(file));
    EXPECT_EQ(model.GetLoadResult(), c.result) << c.name;
    EXPECT_EQ(model.IsValid(), c.valid) << c.name;
    EXPECT_EQ(model.GetWord4(), c.word) << c.name;
    std::array<uint8_t, 4> copied = kUntouched;
    EXPECT_EQ(model.CopyBytes8To11(copied.data()), c.result) << c.name;
    EXPECT_EQ(copied, c.copied) << c.name;
    EXPECT_EQ(model.CopyBytes8To11(nullptr), kXpErrBadArgument) << c.name;
  }
}

TEST_F(Xp_MODELCFG_IND_File, PathIsAtTheVolumeRoot) {
  const std::filesystem::path card = AddCard();
  const XpDir folder(ToXp(card / "DCIM/100ABCDE"));
  EXPECT_EQ(::Xp_MODELCFG_IND_File::PathForFolder(folder), RootOf(card) + u"MODELCFG.IND");
  EXPECT_EQ(::Xp_MODELCFG_IND_File::PathForFolderName(RootOf(card)),
            RootOf(card) + u"MODELCFG.IND");
}

}  // namespace
