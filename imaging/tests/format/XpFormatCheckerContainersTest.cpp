#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/format/XpByteWindow.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/tests/format/FormatTestSupport.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

using namespace formattest;

class FormatCheckerContainersTest : public FormatTest {
 protected:
  // Whether a date reader gave a date; a failing one must leave it as it
  // was.
  template <typename Reader>
  bool Dated(Reader reader, const XpString& path) {
    const XpDateTime untouched(1999, 1, 2, 3, 4, 5);
    XpDateTime date = untouched;
    const bool found = reader(path, date);
    EXPECT_TRUE(found || date == untouched);
    return found;
  }

  testsupport::FaultInjection faults_;
};
using XpFormatCheckerContainers = FormatCheckerContainersTest;

const std::string kTshvBody("TSHV\x01\x02\x03\x04\x05\x06\x07", 11);
const Bytes kTsDateFields = {0x04, 0x07, 0x10, 0x00, 0x15, 0x14, 0x13};

size_t Find(const Bytes& bytes, const std::string& text) {
  const auto at = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
  EXPECT_NE(at, bytes.end()) << text;
  return static_cast<size_t>(at - bytes.begin());
}

Bytes NamedMjpg() {
  MjpgAvi avi;
  avi.strn = std::string("KAVO DSC MOVIE\0", 15);
  avi.idit = std::string("Tue mar 03 10:20:30 2009\n\0", 26);
  return avi.Build();
}

TEST_F(XpFormatCheckerContainers, AviSizesThatLeaveTheHeadFailTheTest) {
  // avih size so large that a 32-bit sum would wrap back into the head.
  Bytes hugeAvih = NamedMjpg();
  PutLe32(hugeAvih, 28, 0xFFFFFFF0);
  // strh size that puts the stream walk at 996, with "strf" there: its
  // size would be read past the head.
  Bytes walkAtEnd = NamedMjpg();
  PutLe32(walkAtEnd, 104, 996 - 108);
  std::copy_n("strf", 4, walkAtEnd.begin() + 996);
  // strd size wrapping the walk back to the stream name.
  Bytes wrappingStrd = NamedMjpg();
  const size_t strd = Find(wrappingStrd, "strd");
  PutLe32(wrappingStrd, strd + 4, 0xFFFFFFFF - 7);
  // hdrl size wrapping the info list position.
  MjpgAvi tagged;
  tagged.isft = "KAVO DSC MJPEG ";
  Bytes wrappingHdrl = tagged.Build();
  PutLe32(wrappingHdrl, 16, 0xFFFFFFF0);
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {{"huge avih", hugeAvih},
               {"walk at 996", walkAtEnd},
               {"wrapping strd", wrappingStrd},
               {"wrapping hdrl", wrappingHdrl}};
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    const XpString path = WriteFile("a.avi", entry.bytes);
    EXPECT_EQ(XpFormatChecker::DetectFormatKind(path), 0x01000000u);
  }
  EXPECT_FALSE(Dated(XpFormatChecker::ReadAviIditDate, WriteFile("b.avi", hugeAvih)));
}

TEST_F(XpFormatCheckerContainers, IditChunksMustLieInsideTheHead) {
  Bytes farList = NamedMjpg();
  const size_t strl = Find(farList, "strl");
  PutLe32(farList, strl - 4, 0xFFFFFFF0);
  Bytes wrongSize = NamedMjpg();
  PutLe32(wrongSize, Find(wrongSize, "IDIT") + 4, 27);
  for (const Bytes& bytes : {farList, wrongSize}) {
    EXPECT_FALSE(Dated(XpFormatChecker::ReadAviIditDate, WriteFile("a.avi", bytes)));
  }
  EXPECT_TRUE(Dated(XpFormatChecker::ReadAviIditDate, WriteFile("b.avi", NamedMjpg())));
}

TEST_F(XpFormatCheckerContainers, DvWalksThatCannotMoveOnEndWithFalse) {
  const Bytes dated = DvAvi({0x62, 0xFF, 0x25, 0x12, 0x08}, {0x63, 0xFF, 0x30, 0x45, 0x23});
  Bytes hugeChunk = dated;
  PutLe32(hugeChunk, 16, 0xFFFFFFF8);
  const Bytes undated = DvAvi({0x61, 0xFF, 0x25, 0x12, 0x08}, {0x63, 0xFF, 0x30, 0x45, 0x23});
  Bytes videoPastTheEnd = undated;
  PutLe32(videoPastTheEnd, Find(undated, "00db") + 4, 0x7FFFFFF0);
  Bytes zeroChunk = dated;
  PutLe32(zeroChunk, Find(dated, "01wb") + 4, 0);
  Bytes hugeMovieChunk = dated;
  PutLe32(hugeMovieChunk, Find(dated, "01wb") + 4, 0xFFFFFFF8);
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {{"huge top-level chunk", hugeChunk},
               {"00db past the end", videoPastTheEnd},
               {"zero-sized chunk", zeroChunk},
               {"huge chunk in movi", hugeMovieChunk},
               {"no date pack", undated},
               {"cut before movi", Bytes(dated.begin(), dated.begin() + 200)}};
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    EXPECT_FALSE(Dated(XpFormatChecker::ReadDvAviDate, WriteFile("a.avi", entry.bytes)));
  }
  EXPECT_TRUE(Dated(XpFormatChecker::ReadDvAviDate, WriteFile("b.avi", dated)));
}

TEST_F(XpFormatCheckerContainers, TsWalksStayInsideTheirPacket) {
  // Program-info length 4095 in a short section, no registration inside.
  const Bytes longInfo = Join({PmtPacket(0x0A, "eng", 4095), NullPacket(), NullPacket(),
                               NullPacket(), NullPacket(), NullPacket()});
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(WriteFile("a.mts", longInfo)), 0x01000000u);
  // A descriptor whose body would run past the program info.
  const Bytes cutDescriptor = Join({PmtPacket(5, kTshvBody, 8), NullPacket(), NullPacket(),
                                    NullPacket(), NullPacket(), NullPacket()});
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(WriteFile("b.mts", cutDescriptor)), 0x01000000u);
  // A section that would run past the packet.
  Bytes longSection = PmtPacket(5, kTshvBody);
  longSection[6] = 0xB0 | 0x0F;
  const Bytes pastPacket = Join({longSection, NullPacket(), NullPacket(), NullPacket(),
                                 NullPacket(), NullPacket()});
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(WriteFile("c.mts", pastPacket)), 0x01000000u);
  // A pointer field past the packet.
  Bytes farPointer = PmtPacket(5, kTshvBody);
  farPointer[4] = 0xF0;
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(WriteFile(
                "d.mts", Join({farPointer, NullPacket(), NullPacket(), NullPacket()}))),
            0x01000000u);
}

TEST_F(XpFormatCheckerContainers, TsDateBytesMustFollowTheAdaptationFieldInsideThePacket) {
  for (const int adaptation : {180, 140, 183}) {
    SCOPED_TRACE(adaptation);
    const Bytes bytes = Join({PmtPacket(5, kTshvBody), TsDatePacket(kTsDateFields, adaptation),
                              NullPacket(), NullPacket(), NullPacket(), NullPacket()});
    EXPECT_FALSE(Dated(XpFormatChecker::ReadTsDate, WriteFile("a.mts", bytes)));
  }
  const Bytes fits = Join({PmtPacket(5, kTshvBody), TsDatePacket(kTsDateFields, 134),
                           NullPacket(), NullPacket(), NullPacket()});
  EXPECT_TRUE(Dated(XpFormatChecker::ReadTsDate, WriteFile("b.mts", fits)));
}

TEST_F(XpFormatCheckerContainers, TheTsPacketSizeComesFromThreeSyncBytes) {
  const Bytes plain = Join({NullPacket(), NullPacket(), NullPacket(), NullPacket(), NullPacket(),
                            NullPacket()});
  const Bytes timed = Timed({NullPacket(), NullPacket(), NullPacket(), NullPacket(),
                             NullPacket(), NullPacket()});
  const struct {
    const char* name;
    Bytes bytes;
    bool found;
    uint64_t size;
    uint64_t start;
  } cases[] = {
      {"188 at 0", plain, true, 188, 0},
      {"192 at 4", timed, true, 192, 4},
      {"188 at 100", Join({Bytes(100, 0), plain}), true, 188, 100},
      {"start at 576 is too late", Join({Bytes(576, 0), plain}), false, 0, 0},
      {"start at 575", Join({Bytes(575, 0), plain}), true, 188, 575},
      {"short file", Bytes(plain.begin(), plain.begin() + 959), false, 0, 0},
      {"no sync", Bytes(1200, 0), false, 0, 0},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    uint64_t size = 0;
    uint64_t start = 0;
    EXPECT_EQ(XpFormatChecker::FindTsPacketSize(WriteFile("a.mts", entry.bytes), size, start),
              entry.found);
    EXPECT_EQ(size, entry.size);
    EXPECT_EQ(start, entry.start);
  }
}

TEST_F(XpFormatCheckerContainers, PsPacketsShorterThanTheirPrivateBlockMoveOnByTheirLength) {
  const Bytes ari = AriPacket({0x1F, 0x69, 0xC8, 0xD3, 0x8F});
  const Bytes afterShort = Join({PackHeader(), PesPacket(0xBD, Bytes(10, 0x20)), ari});
  EXPECT_TRUE(Dated(XpFormatChecker::ReadPsDate, WriteFile("a.m2p", afterShort)));
  const Bytes shortLast = Join({PackHeader(), PesPacket(0xBD, Bytes(10, 0x20))});
  EXPECT_FALSE(Dated(XpFormatChecker::ReadPsDate, WriteFile("b.m2p", shortLast)));
  const Bytes brokenStart = Join({PackHeader(), Bytes{0x00, 0x00, 0x02, 0xBD, 0x00, 0x00}, ari});
  EXPECT_FALSE(Dated(XpFormatChecker::ReadPsDate, WriteFile("c.m2p", brokenStart)));
  Bytes laterVersion = ari;
  laterVersion[6 + 60 + 9] = 16;
  EXPECT_FALSE(Dated(XpFormatChecker::ReadPsDate,
                     WriteFile("d.m2p", Join({PackHeader(), laterVersion}))));
  // The date lies beyond the search limit.
  const Bytes filler = PesPacket(0xE0, Bytes(60000, 0));
  std::vector<Bytes> parts = {PackHeader()};
  parts.insert(parts.end(), 34, filler);
  parts.push_back(ari);
  EXPECT_FALSE(Dated(XpFormatChecker::ReadPsDate, WriteFile("e.m2p", Join(parts))));
}

TEST_F(XpFormatCheckerContainers, FailingReadsGiveTheDefaultAnswers) {
  MjpgAvi named;
  named.strn = std::string("KAVO DSC MOVIE\0", 15);
  const XpString avi = WriteFile("a.avi", named.Build());
  const XpString dv =
      WriteFile("b.avi", DvAvi({0x62, 0xFF, 0x25, 0x12, 0x08}, {0x63, 0xFF, 0x30, 0x45, 0x23}));
  const XpString mts = WriteFile("a.mts", Join({PmtPacket(5, kTshvBody), NullPacket(),
                                                TsDatePacket(kTsDateFields), NullPacket(),
                                                NullPacket(), NullPacket()}));
  const XpString m2p =
      WriteFile("a.m2p", Join({PackHeader(), AriPacket({0x1F, 0x69, 0xC8, 0xD3, 0x8F})}));
  const XpString mpg = WriteFile("a.mpg", Join({PackHeader(), PesPacket(0xE0, Bytes(8, 0))}));
  const std::string root = Root().string();
  // Each read from the second on fails.
  faults_.Add(testsupport::Fault(testsupport::SysCall::kRead, root).Errno(EIO).FromCall(2));
  EXPECT_FALSE(Dated(XpFormatChecker::ReadDvAviDate, dv));
  faults_.Clear();
  faults_.Add(testsupport::Fault(testsupport::SysCall::kRead, root).Errno(EIO));
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(avi), 0x01000000u);
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(dv), 0x01000000u);
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(mts), 0x01000000u);
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(mpg), 0x01000000u);
  EXPECT_FALSE(Dated(XpFormatChecker::ReadAviIditDate, avi));
  EXPECT_FALSE(Dated(XpFormatChecker::ReadTsDate, mts));
  EXPECT_FALSE(Dated(XpFormatChecker::ReadPsDate, m2p));
  faults_.Clear();
  // Reads cut into pieces still see every byte.
  faults_.Add(testsupport::Fault(testsupport::SysCall::kRead, root).AtMost(7));
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(avi), 0x20001203u);
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(mts), 0x20021102u);
  EXPECT_TRUE(Dated(XpFormatChecker::ReadDvAviDate, dv));
  EXPECT_TRUE(Dated(XpFormatChecker::ReadPsDate, m2p));
}

TEST_F(XpFormatCheckerContainers, ByteWindowReadsLieWhollyInside) {
  const uint8_t bytes[8] = {'R', 'I', 'F', 'F', 0x78, 0x56, 0x34, 0x12};
  const XpByteWindow window(bytes, sizeof bytes);
  uint32_t value = 0;
  EXPECT_TRUE(window.Le32(4, value));
  EXPECT_EQ(value, 0x12345678u);
  uint16_t half = 0;
  EXPECT_TRUE(window.Be16(6, half));
  EXPECT_EQ(half, 0x3412u);
  EXPECT_TRUE(window.Matches(0, "RIFF"));
  value = 7;
  for (const uint64_t position : {uint64_t{5}, uint64_t{8}, ~uint64_t{0} - 1, ~uint64_t{0}}) {
    EXPECT_FALSE(window.Le32(position, value)) << position;
  }
  EXPECT_EQ(value, 7u);
  EXPECT_FALSE(window.Be16(7, half));
  EXPECT_FALSE(window.Matches(6, "RIFF"));
  EXPECT_EQ(window.At(0, ~uint64_t{0}), nullptr);
  EXPECT_EQ(window.Sub(4, 4).Size(), 4u);
  EXPECT_EQ(window.Sub(5, 4).Size(), 0u);
}

}  // namespace
