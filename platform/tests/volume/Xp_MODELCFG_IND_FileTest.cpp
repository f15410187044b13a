#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/fs/XpDir.h"
#include "platform/tests/volume/VolumeTestTree.h"
#include "platform/volume/Xp_MODELCFG_IND_File.h"

namespace {

using fstest::ToXp;
using fstest::WriteBytes;

using Xp_MODELCFG_IND_File = volumetest::VolumeFixture;

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

TEST_F(Xp_MODELCFG_IND_File, PathIsAtTheVolumeRoot) {
  const std::filesystem::path card = AddCard();
  const XpDir folder(ToXp(card / "DCIM/100ABCDE"));
  EXPECT_EQ(::Xp_MODELCFG_IND_File::PathForFolder(folder), RootOf(card) + u"MODELCFG.IND");
  EXPECT_EQ(::Xp_MODELCFG_IND_File::PathForFolderName(RootOf(card)),
            RootOf(card) + u"MODELCFG.IND");
}

}  // namespace
