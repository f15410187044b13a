#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "accessor/dialogs/K2CompactPath.h"
#include "accessor/dialogs/K2FormatByteSize.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

class K2FormatByteSize : public testsupport::HermeticTest {};

TEST_F(K2FormatByteSize, FormatsByTheLargestUnitWithThreeDigits) {
  struct Case {
    uint64_t bytes;
    const char* expected;
  };
  const Case cases[] = {
      {0, "0 bytes"},
      {1023, "1023 bytes"},
      {1024, "1.00 KB"},
      {1535, "1.49 KB"},
      {10 * 1024 + 1023, "10.9 KB"},
      {716800, "700 KB"},
      {1000 * 1024, "1000 KB"},
      {1048575, "1023 KB"},
      {1048576, "1.00 MB"},
      {5000000, "4.76 MB"},
      {7 * 512000ULL, "3.41 MB"},
      {uint64_t{1} << 40, "1.00 TB"},
      {uint64_t{1} << 60, "1.00 EB"},
      {UINT64_MAX, "15.9 EB"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(::K2FormatByteSize(c.bytes).ToMultiByte().ToStdString(), c.expected) << c.bytes;
  }
}

class K2CompactPath : public testsupport::HermeticTest {};

TEST_F(K2CompactPath, KeepsTheFirstComponentAndTheLongestTailThatFits) {
  struct Case {
    const char16_t* path;
    int32_t maxUnits;
    const char* expected;
  };
  const Case cases[] = {
      {u"/media/IMG_0010.JPG", 60, "/media/IMG_0010.JPG"},
      {u"/media/user/CAMERA/DCIM/Trip/IMG_0010.JPG", 41, "/media/user/CAMERA/DCIM/Trip/IMG_0010.JPG"},
      {u"/media/user/CAMERA/DCIM/Trip/IMG_0010.JPG", 30, "/media/.../Trip/IMG_0010.JPG"},
      {u"/media/user/CAMERA/DCIM/Trip/IMG_0010.JPG", 27, "/media/.../IMG_0010.JPG"},
      {u"/media/user/CAMERA/DCIM/Trip/IMG_0010.JPG", 22, "...IMG_0010.JPG"},
      {u"/media/user/CAMERA/DCIM/Trip/IMG_0010.JPG", 8, "...0.JPG"},
      {u"Pictures/Trip/IMG_0010.JPG", 25, "Pictures/.../IMG_0010.JPG"},
      {u"AVeryLongFileNameWithoutFolders.JPG", 10, "...ers.JPG"},
      {u"/media/abc", 2, ".."},
  };
  for (const Case& c : cases) {
    const std::string result =
        ::K2CompactPath(XpString(c.path), c.maxUnits).ToMultiByte().ToStdString();
    EXPECT_EQ(result, c.expected) << XpString(c.path).ToMultiByte().ToStdString() << " in "
                                  << c.maxUnits;
    EXPECT_LE(static_cast<int32_t>(result.size()), c.maxUnits);
  }
}

}  // namespace
