#include "platform/shell/XpSystemFolders.h"

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

using XpSystemFolders = testsupport::HermeticTest;

TEST_F(XpSystemFolders, ListsTheOperatingSystemFoldersUnprefixed) {
  SetEnv("KAVO_MACHINE_ROOT", (Root() / "machine").string());
  const std::vector<XpString>& folders = ::XpSystemFolders();
  ASSERT_EQ(folders.size(), 10u);
  EXPECT_EQ(folders.front(), u"/bin");
  EXPECT_EQ(folders.back(), u"/usr");
  for (const XpString& folder : folders) {
    EXPECT_EQ(folder.CStr()[0], u'/');
    EXPECT_NE(folder.CStr()[folder.GetLength() - 1], u'/');
  }
}

TEST_F(XpSystemFolders, TellsSameOrInsideCaseSensitively) {
  struct Case {
    const char16_t* path;
    bool system;
  } const cases[] = {
      {u"/usr", true},        {u"/usr/", true},     {u"/usr/share/x", true}, {u"/etc/kavo", true},
      {u"/usrlocal", false},  {u"/USR/x", false},   {u"/opt/x", false},      {u"/", false},
      {u"usr/x", false},      {u"", false},         {u"/home/u/usr", false}, {u"/sys", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpIsSystemFolder(c.path), c.system) << XpString(c.path).ToMultiByte().CStr();
  }
}

}  // namespace
