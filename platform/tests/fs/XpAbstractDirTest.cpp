#include "platform/fs/XpAbstractDir.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/XpDir.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

using fstest::ToXp;
using fstest::WriteBytes;

class XpAbstractDirFixture : public testsupport::HermeticTest {
 protected:
  XpString PathOf(const std::string& name) const { return ToXp(Root() / name); }
};
using XpAbstractDir = XpAbstractDirFixture;

TEST_F(XpAbstractDir, CountsAndSizesWalkTheChildren) {
  WriteBytes(Root() / "t" / "one", "abc");
  WriteBytes(Root() / "t" / "sub" / "two", "abcde");
  WriteBytes(Root() / "t" / "sub" / "three", "abcdefg");
  XpDir dir(PathOf("t"));
  EXPECT_EQ(dir.CountChildren(true), 4);
  EXPECT_EQ(dir.CountChildren(false), 2);
  EXPECT_EQ(dir.GetSize(), 15);
  EXPECT_FALSE(dir.IsEmpty());

  XpDir empty(PathOf("t/empty"));
  std::filesystem::create_directory(Root() / "t" / "empty");
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.GetSize(), 0);
  EXPECT_EQ(empty.CountChildren(true), 0);
}

TEST_F(XpAbstractDir, AMissingFolderIsNotEmptyAndHasNoSize) {
  XpDir missing(PathOf("missing"));
  EXPECT_FALSE(missing.IsEmpty());
  EXPECT_EQ(missing.CountChildren(true), 0);
  EXPECT_EQ(missing.GetSize(), -1);
  EXPECT_EQ(missing.EndEnum(), kXpErrWrongState);
}

TEST_F(XpAbstractDir, WalksNeverFollowALinkBackUpTheTree) {
  WriteBytes(Root() / "t" / "f", "abc");
  WriteBytes(Root() / "t" / "d" / "g", "abcde");
  std::filesystem::create_directory_symlink("..", Root() / "t" / "d" / "l");
  XpDir dir(PathOf("t"));
  // f, d, g and the link once.
  EXPECT_EQ(dir.CountChildren(true), 4);
  // A link to a folder has no file size.
  EXPECT_EQ(dir.GetSize(), 8);
}

TEST_F(XpAbstractDir, AWalkEndsTheCallersEnumerationOnTheSameObject) {
  WriteBytes(Root() / "t" / "a", "1");
  WriteBytes(Root() / "t" / "b", "2");
  XpDir dir(PathOf("t"));
  ASSERT_EQ(dir.BeginEnum(kXpEnumAll, XpString()), kXpOk);
  ASSERT_TRUE(dir.GetNext());
  EXPECT_EQ(dir.CountChildren(false), 2);
  EXPECT_FALSE(dir.GetNext());
  EXPECT_EQ(dir.EndEnum(), kXpErrWrongState);
}

}  // namespace
