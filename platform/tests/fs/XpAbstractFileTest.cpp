#include "platform/fs/XpAbstractFile.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs/XpFile.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;
using Units = std::vector<char16_t>;

constexpr XpOpenMode kReadText = kXpOpenRead | kXpOpenText;
constexpr XpOpenMode kWriteText = kXpOpenWrite | kXpOpenText;

// The byte stream operations, run on files.
class XpAbstractFileFixture : public testsupport::HermeticTest {
 protected:
  // A file holding bytes, opened with mode.
  void OpenWith(XpFile& file, const std::string& bytes, XpOpenMode mode) {
    WriteBytes(Root() / "f", bytes);
    ASSERT_EQ(file.OpenPath(ToXp(Root() / "f"), mode), kXpOk);
  }

  // Every character ReadChar gives until the end of the file.
  Units ReadChars(const std::string& bytes, XpOpenMode mode) {
    XpFile file;
    OpenWith(file, bytes, mode);
    Units units;
    char16_t ch = 0;
    while (file.ReadChar(ch) == kXpOk) {
      units.push_back(ch);
    }
    return units;
  }

  // The bytes the characters become.
  std::string WriteChars(const std::u16string& text, XpOpenMode mode) {
    XpFile file(ToXp(Root() / "out"));
    EXPECT_EQ(file.Open(mode), kXpOk);
    for (char16_t ch : text) {
      EXPECT_EQ(file.WriteChar(ch), kXpOk);
    }
    EXPECT_EQ(file.Close(), kXpOk);
    return ReadBytes(Root() / "out");
  }
};
using XpAbstractFile = XpAbstractFileFixture;

TEST_F(XpAbstractFile, MultiByteValuesFollowTheFilesByteOrder) {
  XpFile file;
  OpenWith(file, "\x12\x34", kXpOpenRead);
  uint16_t value = 0;
  EXPECT_EQ(file.ReadUInt16(value, kXpByteOrderBigEndian), kXpOk);
  EXPECT_EQ(value, 0x1234);
  EXPECT_EQ(file.GetByteOrder(), kXpByteOrderBigEndian);
  ASSERT_EQ(file.Seek(0, kXpSeekBegin), kXpOk);
  int16_t signedValue = 0;
  EXPECT_EQ(file.ReadInt16(signedValue, kXpByteOrderLittleEndian), kXpOk);
  EXPECT_EQ(signedValue, 0x3412);

  // An order never set reverses like big-endian.
  XpFile unset;
  OpenWith(unset, "\x01\x02\x03\x04\x05", kXpOpenRead);
  int32_t word = 0;
  EXPECT_EQ(unset.ReadInt32(word, kXpByteOrderKeep), kXpOk);
  EXPECT_EQ(word, 0x01020304);
  EXPECT_EQ(unset.GetByteOrder(), kXpByteOrderNotSet);
  EXPECT_EQ(unset.ReadUInt32(reinterpret_cast<uint32_t&>(word), kXpByteOrderKeep),
            kXpErrEndOfFile);
}

TEST_F(XpAbstractFile, WritesSetTheOrderForLaterCallsAndEightBitsNeverTouchIt) {
  XpFile file(ToXp(Root() / "out"));
  ASSERT_EQ(file.Open(kXpOpenWrite), kXpOk);
  EXPECT_EQ(file.WriteUInt8(0xAB, kXpByteOrderLittleEndian), kXpOk);
  EXPECT_EQ(file.GetByteOrder(), kXpByteOrderNotSet);
  EXPECT_EQ(file.WriteUInt16(0x1234, kXpByteOrderBigEndian), kXpOk);
  EXPECT_EQ(file.WriteUInt32(0x01020304, kXpByteOrderKeep), kXpOk);
  EXPECT_EQ(file.WriteInt8(-1, kXpByteOrderLittleEndian), kXpOk);
  EXPECT_EQ(file.GetByteOrder(), kXpByteOrderBigEndian);
  EXPECT_EQ(file.WriteInt64(-2, kXpByteOrderLittleEndian), kXpOk);
  EXPECT_EQ(file.WriteUInt64(0x0102030405060708, kXpByteOrderBigEndian), kXpOk);
  EXPECT_EQ(file.WriteInt16(-2, kXpByteOrderKeep), kXpOk);
  EXPECT_EQ(file.WriteInt32(-2, kXpByteOrderKeep), kXpOk);
  EXPECT_EQ(file.Close(), kXpOk);
  EXPECT_EQ(ReadBytes(Root() / "out"),
            std::string("\xAB\x12\x34\x01\x02\x03\x04\xFF"
                        "\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
                        "\x01\x02\x03\x04\x05\x06\x07\x08"
                        "\xFF\xFE\xFF\xFF\xFF\xFE",
                        30));

  XpFile back(ToXp(Root() / "out"), kXpByteOrderBigEndian);
  ASSERT_EQ(back.Open(kXpOpenRead), kXpOk);
  ASSERT_EQ(back.Seek(16, kXpSeekBegin), kXpOk);
  uint64_t big = 0;
  EXPECT_EQ(back.ReadUInt64(big, kXpByteOrderKeep), kXpOk);
  EXPECT_EQ(big, 0x0102030405060708u);
  int64_t negative = 0;
  ASSERT_EQ(back.Seek(8, kXpSeekBegin), kXpOk);
  EXPECT_EQ(back.ReadInt64(negative, kXpByteOrderLittleEndian), kXpOk);
  EXPECT_EQ(negative, -2);
}

TEST_F(XpAbstractFile, SetByteOrderAcceptsTheTwoOrdersAndKeep) {
  XpFile file;
  EXPECT_EQ(file.SetByteOrder(kXpByteOrderLittleEndian), kXpOk);
  EXPECT_EQ(file.SetByteOrder(kXpByteOrderKeep), kXpOk);
  EXPECT_EQ(file.GetByteOrder(), kXpByteOrderLittleEndian);
  EXPECT_EQ(file.SetByteOrder(kXpByteOrderNotSet), kXpErrGeneric);
  EXPECT_EQ(file.SetByteOrder(4), kXpErrGeneric);
  EXPECT_EQ(file.GetByteOrder(), kXpByteOrderLittleEndian);
  EXPECT_EQ(file.SetByteOrder(kXpByteOrderBigEndian), kXpOk);
  file.SetHostByteOrder();
  EXPECT_EQ(file.GetByteOrder(), kXpByteOrderLittleEndian);
}

// An order that is none of the known ones is refused before any byte moves,
// rather than read or written in whatever order the file had before.
TEST_F(XpAbstractFile, AnUnknownOrderIsRefusedAndMovesNothing) {
  XpFile file;
  OpenWith(file, "\x12\x34", kXpOpenReadWrite);
  uint16_t value = 0;
  EXPECT_EQ(file.ReadUInt16(value, 4), kXpErrGeneric);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(file.WriteUInt16(0xABCD, kXpByteOrderNotSet), kXpErrGeneric);
  EXPECT_EQ(file.Tell(), 0);
  EXPECT_EQ(file.ReadUInt16(value, kXpByteOrderBigEndian), kXpOk);
  EXPECT_EQ(value, 0x1234);
}

struct ReadCase {
  std::string bytes;
  XpOpenMode mode;
  Units expected;
};

TEST_F(XpAbstractFile, ReadCharDecodesUtf8AndJoinsLineEndsInTextMode) {
  const ReadCase cases[] = {
      {"a\r\nb", kReadText, {u'a', u'\n', u'b'}},
      {"\rx", kReadText, {u'\r', u'x'}},
      {"a\r\xC3\xA9", kReadText, {u'a', u'\r', 0x00E9}},
      {"\r\xF0\x9F\x98\x80", kReadText, {u'\r', 0xD83D, 0xDE00}},
      {"\xFF", kReadText, {0xDCFF}},
      // Only the lead byte of a broken sequence is consumed.
      {"\xE2\x82" "A", kReadText, {0xDCE2, 0xDC82, u'A'}},
      {"\xED\xA0\x80", kReadText, {0xDCED, 0xDCA0, 0xDC80}},
      {"\xC3", kReadText, {0xDCC3}},
      {"a\r\nb", kXpOpenRead, {u'a', u'\r', u'\n', u'b'}},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(ReadChars(c.bytes, c.mode), c.expected) << c.bytes;
  }
}

TEST_F(XpAbstractFile, ACarriageReturnAtTheEndComesWithTheEndOfFile) {
  XpFile file;
  OpenWith(file, "a\r", kReadText);
  char16_t ch = 0;
  EXPECT_EQ(file.ReadChar(ch), kXpOk);
  EXPECT_EQ(file.ReadChar(ch), kXpErrEndOfFile);
  EXPECT_EQ(ch, u'\r');
}

struct WriteCase {
  std::u16string text;
  XpOpenMode mode;
  std::string expected;
};

TEST_F(XpAbstractFile, WriteCharEncodesUtf8AndWritesLineEndsAsCrLfInTextMode) {
  const WriteCase cases[] = {
      {u"a\nb", kWriteText, "a\r\nb"},
      {u"a\nb", kXpOpenWrite, "a\nb"},
      {u"\u00E9", kWriteText, "\xC3\xA9"},
      {u"\U0001F600", kWriteText, "\xF0\x9F\x98\x80"},
      {u"\xDCFF\xDC80", kWriteText, "\xFF\x80"},
      // A high surrogate without its low one becomes U+FFFD.
      {u"\xD83Dx", kWriteText, "\xEF\xBF\xBDx"},
  };
  for (const WriteCase& c : cases) {
    EXPECT_EQ(WriteChars(c.text, c.mode), c.expected);
  }
}

TEST_F(XpAbstractFile, WriteStringStopsAtTheTerminator) {
  XpFile file(ToXp(Root() / "out"));
  ASSERT_EQ(file.Open(kWriteText), kXpOk);
  EXPECT_EQ(file.WriteString(u"one\ntwo\n"), kXpOk);
  EXPECT_EQ(file.WriteString(nullptr), kXpErrBadArgument);
  EXPECT_EQ(file.Close(), kXpOk);
  EXPECT_EQ(ReadBytes(Root() / "out"), "one\r\ntwo\r\n");
}

TEST_F(XpAbstractFile, ReadLineGrowsItsBufferForLongLines) {
  const std::string longLine(600, 'x');
  XpFile file;
  OpenWith(file, longLine + "\r\nend", kReadText);
  XpString line;
  EXPECT_EQ(file.ReadLine(line), kXpOk);
  EXPECT_EQ(line.GetLength(), 600);
  EXPECT_EQ(line, ToXp(longLine));
  EXPECT_EQ(file.ReadLine(line), kXpOk);
  EXPECT_EQ(line, u"end");
  // At the end ReadLine still succeeds, with an empty line.
  EXPECT_EQ(file.ReadLine(line), kXpOk);
  EXPECT_EQ(line, u"");
  EXPECT_GE(file.Tell(), file.GetSize());
}

TEST_F(XpAbstractFile, ReadLineRestartsCleanlyAfterASplitSurrogatePair) {
  // The first buffer of 511 characters ends between the two halves.
  const std::string bytes = std::string(510, 'x') + "\xF0\x9F\x98\x80" + "yz\n";
  XpFile file;
  OpenWith(file, bytes, kReadText);
  XpString line;
  EXPECT_EQ(file.ReadLine(line), kXpOk);
  EXPECT_EQ(line, ToXp(bytes.substr(0, bytes.size() - 1)));
}

TEST_F(XpAbstractFile, ReadLineBufferTerminatesAFullBuffer) {
  XpFile file;
  OpenWith(file, "abcdef\n", kReadText);
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(file.ReadLineBuffer(buffer, 4), kXpErrBufferTooSmall);
  EXPECT_EQ(std::u16string(buffer, 4), std::u16string(u"abc\0", 4));
  char16_t rest[8] = {};
  EXPECT_EQ(file.ReadLineBuffer(rest, 8), kXpOk);
  EXPECT_EQ(std::u16string(rest), u"def");
  EXPECT_EQ(file.ReadLineBuffer(nullptr, 4), kXpErrBadArgument);
  EXPECT_EQ(file.ReadLineBuffer(rest, 1), kXpErrBadArgument);
}

}  // namespace
