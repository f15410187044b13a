#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "accessor/dialogs/K2ProgressTexts.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/strings/XfStringsManager.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

class K2ProgressTexts : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    testsupport::HermeticTest::SetUp();
    XpSharedPtr<XfStringsManager> manager(new XfStringsManager());
    ASSERT_EQ(manager->Load(XpStringA(KAVO_ACCESSOR_TEST_STRINGS).ToWide()), kXpOk);
    ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
  }
  void TearDown() override {
    EXPECT_EQ(XfSetStringsManagers({}), kXpOk);
    testsupport::HermeticTest::TearDown();
  }
};

// The model's started minutes for an estimate in seconds.
int64_t MinutesOf(int64_t seconds) { return seconds <= 0 ? -1 : (seconds + 59) / 60; }

TEST_F(K2ProgressTexts, RemainingTimeWorksOnTheStartedMinutesLessOne) {
  struct Case {
    int64_t seconds;
    const char* expected;
  };
  const Case cases[] = {
      {-1, "[Format/Duration/Calculating]"},
      {0, "[Format/Duration/SecL] 1"},
      {1, "[Format/Duration/SecL] 1"},
      {45, "[Format/Duration/SecL] 45"},
      {60, "[Format/Duration/SecL] 60"},
      {61, "[Format/Duration/MinL] 1"},
      {120, "[Format/Duration/MinL] 1"},
      {121, "[Format/Duration/MinL] 2"},
      {601, "[Format/Duration/MinMinL] 10"},
      {3570, "[Format/Duration/MinMinL] 50"},
      {126 * 60, "[Format/Duration/HourL] 2"},
      {136 * 60, "[Format/Duration/HourMinL] 2 10"},
      {61 * 60, "[Format/Duration/HourL] 1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(K2FormatRemainingTime(c.seconds, MinutesOf(c.seconds)).ToMultiByte().ToStdString(),
              c.expected)
        << c.seconds;
  }
}

TEST_F(K2ProgressTexts, EveryErrorCodeHasItsMessageAndStyle) {
  struct Case {
    uint32_t code;
    const char* key;
    uint32_t style;
  };
  const Case cases[] = {
      {0x8112, "Messages/Errors/CannotCreateFolderBecauseReadOnly", 0x30},
      {0x8113, "Messages/Errors/CannotCopyBecauseDiskFull", 0x30},
      {0xC000, "Messages/Errors/XdbAccessError", 0x30},
      {0xC001, "Messages/Errors/XdbCopyError", 0x30},
      {0xC002, "Messages/Errors/ProcessingWasDiscontinuedByTheReadingAttribute", 0x30},
      {0xC003, "Messages/Errors/CameraDisconnected", 0x10},
      {0xC004, "Messages/Errors/NotEnoughSpaceOnCamera", 0x30},
      {0xC005, "Messages/Errors/UnableToStartOperationBecauseOfTemporaryFolderWasNotFound",
       0x30},
      {0xC006, "Messages/Warnings/NoNewImages", 0x40},
      {0xC007, "Messages/Errors/DiskFull", 0x30},
      {0xC008, "Messages/Errors/UnkownError", 0x30},
      {0xC009, "Messages/Errors/NotEnoughSpaceOnCamera", 0x30},
      {0xC00A, "Messages/Errors/UnkownError", 0x30},
      {0xC00B, "Messages/Errors/UnableToStartOperationBecauseOfTemporaryFolderWasNotFound",
       0x30},
      {0xC00C, "Messages/Errors/UnkownError", 0x30},
      {0xC00D, "Messages/Errors/CannotExportBecauseDCFError", 0x30},
      {0xC00E, "Messages/Errors/AbortOperationBecauseOfFreeSpaceSizeDetail", 0x30},
      {0xC00F, "Messages/Errors/DiskFull", 0x30},
      {0, "Messages/Errors/UnkownError", 0x30},
      {0xFFFFFFFF, "Messages/Errors/UnkownError", 0x30},
  };
  for (const Case& c : cases) {
    const K2ProgressError error = K2ProgressErrorFor(c.code);
    EXPECT_EQ(XpString(error.key).ToMultiByte().ToStdString(), c.key) << c.code;
    EXPECT_EQ(error.style, c.style) << c.code;
    // Every key has a text in the strings files.
    EXPECT_EQ(
        XfGetString(error.key).ToMultiByte().ToStdString().rfind(std::string("[") + c.key + "]", 0),
        0u)
        << c.key;
  }
}

TEST_F(K2ProgressTexts, FreeSpaceDetailNamesRootTitleAndNeededSpace) {
  struct Case {
    const char16_t* root;
    uint64_t count;
    bool fullSize;
    const char* expected;
  };
  const char* key = "[Messages/Errors/AbortOperationBecauseOfFreeSpaceSizeDetail] ";
  const Case cases[] = {
      {u"/mnt/fake", 7, false, "/mnt/fake [UI/ExportProgress/0-0] 700 KB"},
      {u"/mnt/fake", 7, true, "/mnt/fake [UI/ExportProgress/0-0] 3.41 MB"},
      {u"/mnt/fake", 0, true, "/mnt/fake [UI/ExportProgress/0-0] 0 bytes"},
      {u"/mnt/100%2", 1, false, "/mnt/100%2 [UI/ExportProgress/0-0] 100 KB"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        K2FreeSpaceDetailText(XpString(c.root), c.count, c.fullSize).ToMultiByte().ToStdString(),
        std::string(key) + c.expected)
        << c.expected;
  }
}

}  // namespace
