#include "imaging/format/XpFormatChecker.h"

#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

class FormatCheckerTest : public testsupport::HermeticTest {
 protected:
  XpString PathIn(const std::string& name) {
    return XpStringA((Root() / name).string().c_str()).ToWide();
  }
};
using XpFormatChecker = FormatCheckerTest;

struct KindCase {
  std::vector<const char16_t*> paths;
  XpFormatKind kind;
};

TEST_F(XpFormatChecker, KindFromExtensionFollowsTheNameTable) {
  const KindCase cases[] = {
      {{u"X.JPG", u"a.jpe", u"/p/a.JpEg"}, 0x10000100},
      {{u"a.thm"}, 0x10000105},
      {{u"a.ZK2"}, 0x10010402},
      {{u"a.zkp"}, 0x10010401},
      {{u"a.zkw"}, 0x10030400},
      {{u"a.mrw"}, 0x10020401},
      {{u"a.tif", u"a.TIFF"}, 0x10000201},
      {{u"a.gif"}, 0x10000301},
      {{u"a.mpeg", u"a.mpg"}, 0x20001100},
      {{u"a.M2TS", u"a.m2p", u"a.m2t", u"a.mts"}, 0x20021100},
      {{u"a.mmv"}, 0x20021103},
      {{u"a.mp4"}, 0x20031100},
      {{u"a.avi"}, 0x20001200},
      {{u"a.wmv"}, 0x20001301},
      {{u"a.rodd", u"a.modd"}, 0x80000002},
      {{u"a.moff"}, 0x80000003},
      {{u"a.vmlt"}, 0x80003101},
      {{u"a.vmlf"}, 0x80003102},
      {{u"a.tar.gz", u"noext", u"/d.jpg/x", u"a.jpg.bak", u"a.jpgx"}, 0x01000000},
      {{u""}, 0x80000001},
  };
  for (const KindCase& entry : cases) {
    for (const char16_t* path : entry.paths) {
      SCOPED_TRACE(XpString(path).ToMultiByte().CStr());
      EXPECT_EQ(::XpFormatChecker::KindFromExtension(path), entry.kind);
    }
  }
}

TEST_F(XpFormatChecker, AnExistingFolderIsADirectoryWhateverItsName) {
  std::filesystem::create_directory(Root() / "dir.jpg");
  EXPECT_EQ(::XpFormatChecker::KindFromExtension(PathIn("dir.jpg")), 0x80000001u);
  // A file of that name is judged by its extension.
  EXPECT_EQ(::XpFormatChecker::KindFromExtension(PathIn("other.jpg")), 0x10000100u);
}

TEST_F(XpFormatChecker, IsJpegExtensionOnlyForTheFourJpegNames) {
  for (const char16_t* path : {u"a.jpg", u"a.JPEG", u"/x/a.jpe", u"a.Thm"}) {
    EXPECT_TRUE(::XpFormatChecker::IsJpegExtension(path)) << XpString(path).ToMultiByte().CStr();
  }
  for (const char16_t* path : {u"a.tif", u"a.jp", u"ajpg", u"", u"/d.jpg/x", u"a.jpg.gz"}) {
    EXPECT_FALSE(::XpFormatChecker::IsJpegExtension(path)) << XpString(path).ToMultiByte().CStr();
  }
}

}  // namespace
