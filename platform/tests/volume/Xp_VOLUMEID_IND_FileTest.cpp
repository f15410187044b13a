#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/fs/XpDir.h"
#include "platform/tests/volume/VolumeTestTree.h"
#include "platform/volume/Xp_VOLUMEID_IND_File.h"

namespace {

using fstest::ToXp;
using fstest::WriteBytes;

using Xp_VOLUMEID_IND_File = volumetest::VolumeFixture;

TEST_F(Xp_VOLUMEID_IND_File, IdentifierIsNineBytesInHex) {
  struct Case {
    const char* name;
    std::string bytes;
    XpResult result;
    const char16_t* id;
  };
  const Case cases[] = {
      {"counting", std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88", 9), kXpOk,
       u"001122334455667788"},
      {"ones", std::string(9, '\xFF'), kXpOk, u"ffffffffffffffffff"},
      {"longer", std::string("\x01\xAB\x00\x00\x00\x00\x00\x00\x02zz", 11), kXpOk,
       u"01ab00000000000002"},
      {"short", std::string(8, '\x11'), kXpErrEndOfFile, u""},
  };
  for (const Case& c : cases) {
    const std::filesystem::path file = Root() / c.name / "VOLUMEID.IND";
    WriteBytes(file, c.bytes);
    ::Xp_VOLUMEID_IND_File volumeId(ToXp(file));
    EXPECT_EQ(volumeId.GetLoadResult(), c.result) << c.name;
    EXPECT_EQ(volumeId.IsValid(), c.result == kXpOk) << c.name;
    EXPECT_EQ(volumeId.GetIdString(), c.id) << c.name;
    EXPECT_FALSE(volumeId.IsOpen()) << c.name;
  }
  ::Xp_VOLUMEID_IND_File missing(ToXp(Root() / "VOLUMEID.IND"));
  EXPECT_EQ(missing.GetLoadResult(), kXpErrFileNotFound);
  EXPECT_EQ(missing.GetIdString(), u"");
}

TEST_F(Xp_VOLUMEID_IND_File, FailedReloadKeepsTheLastIdentifier) {
  WriteBytes(Root() / "a/VOLUMEID.IND", std::string(9, '\x42'));
  WriteBytes(Root() / "b/VOLUMEID.IND", "x");
  ::Xp_VOLUMEID_IND_File volumeId(ToXp(Root() / "a/VOLUMEID.IND"));
  EXPECT_EQ(volumeId.SetFile(ToXp(Root() / "b/VOLUMEID.IND")), kXpErrEndOfFile);
  EXPECT_FALSE(volumeId.IsValid());
  EXPECT_EQ(volumeId.GetIdString(), u"424242424242424242");
}

TEST_F(Xp_VOLUMEID_IND_File, PathAndHexHelpers) {
  const std::filesystem::path card = AddCard();
  EXPECT_EQ(::Xp_VOLUMEID_IND_File::PathForFolder(ToXp(card / "DCIM")),
            RootOf(card) + u"VOLUMEID.IND");
  const XpDir folder(ToXp(card / "DCIM"));
  EXPECT_EQ(::Xp_VOLUMEID_IND_File::PathForFolderObject(folder), RootOf(card) + u"VOLUMEID.IND");
  const uint8_t bytes[] = {0x0F, 0xA0};
  EXPECT_EQ(::Xp_VOLUMEID_IND_File::BytesToHex(bytes, 2), u"0fa0");
  EXPECT_EQ(::Xp_VOLUMEID_IND_File::BytesToHex(bytes, 0), u"");
  EXPECT_EQ(::Xp_VOLUMEID_IND_File::BytesToHex(nullptr, 2), u"");
}

}  // namespace
