#include "platform/memory/XpMemoryFile.h"

#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/tests/text/XpStringPrinters.h"

namespace {

constexpr int64_t kMaxPosition = std::numeric_limits<int64_t>::max();

std::vector<uint8_t> Bytes(size_t count, uint8_t first) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<uint8_t>(first + i);
  }
  return bytes;
}

std::vector<uint8_t> Contents(XpMemoryFile& file) {
  const auto* data = static_cast<const uint8_t*>(file.GetBuffer());
  if (data == nullptr) {
    return {};
  }
  return std::vector<uint8_t>(data, data + file.GetSize());
}

void WriteAll(XpMemoryFile& file, const std::vector<uint8_t>& bytes) {
  uint64_t done = 0;
  ASSERT_EQ(file.Write(bytes.data(), bytes.size(), &done), kXpOk);
  ASSERT_EQ(done, bytes.size());
}

TEST(XpMemoryFile, CapacityIsTheNextWholeBlockAboveTheSize) {
  const struct {
    uint64_t size;
    uint64_t capacity;
  } cases[] = {{0, 65536}, {1, 65536}, {65535, 65536}, {65536, 131072}, {131071, 131072}};
  XpMemoryFile file;
  for (const auto& c : cases) {
    EXPECT_EQ(file.GetCapacityFor(c.size), c.capacity) << c.size;
  }
}

TEST(XpMemoryFile, WriteGrowsTheFileAndReadReturnsTheBytes) {
  XpMemoryFile file;
  const std::vector<uint8_t> bytes = Bytes(70000, 3);  // more than one block
  WriteAll(file, bytes);
  EXPECT_EQ(file.GetSize(), 70000);
  EXPECT_EQ(file.Tell(), 70000);
  EXPECT_TRUE(file.OwnsBufferForTest());
  EXPECT_EQ(Contents(file), bytes);

  ASSERT_EQ(file.Seek(69990, kXpSeekBegin), kXpOk);
  std::array<uint8_t, 32> read{};
  uint64_t done = 99;
  // A short read is not an error for a memory file.
  EXPECT_EQ(file.Read(read.data(), read.size(), &done), kXpOk);
  EXPECT_EQ(done, 10u);
  EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.begin() + 10),
            std::vector<uint8_t>(bytes.end() - 10, bytes.end()));
  EXPECT_EQ(file.Tell(), 70000);
  // At the end there is nothing left.
  EXPECT_EQ(file.Read(read.data(), read.size(), &done), kXpErrEndOfFile);
  EXPECT_EQ(done, 0u);
}

TEST(XpMemoryFile, GapBeforeAWritePastTheEndIsZeroFilled) {
  XpMemoryFile fresh;
  ASSERT_EQ(fresh.Seek(100, kXpSeekBegin), kXpOk);
  WriteAll(fresh, Bytes(10, 1));
  ASSERT_EQ(fresh.GetSize(), 110);
  std::vector<uint8_t> expected(100, 0);
  const std::vector<uint8_t> tail = Bytes(10, 1);
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(Contents(fresh), expected);

  // A buffer that held other bytes before: the gap is zero all the same.
  XpMemoryFile reused;
  WriteAll(reused, std::vector<uint8_t>(200, 0xAA));
  ASSERT_EQ(reused.SetLength(20), kXpOk);
  ASSERT_EQ(reused.Seek(100, kXpSeekBegin), kXpOk);
  WriteAll(reused, Bytes(10, 1));
  std::vector<uint8_t> reusedExpected(20, 0xAA);
  reusedExpected.resize(100, 0);
  reusedExpected.insert(reusedExpected.end(), tail.begin(), tail.end());
  EXPECT_EQ(Contents(reused), reusedExpected);

  // SetLength growing the file adds zeros too.
  ASSERT_EQ(reused.SetLength(5), kXpOk);
  ASSERT_EQ(reused.SetLength(50), kXpOk);
  std::vector<uint8_t> grown(5, 0xAA);
  grown.resize(50, 0);
  EXPECT_EQ(Contents(reused), grown);
}

TEST(XpMemoryFile, SeekRefusesPositionsBeforeTheStartOrPastTheLargest) {
  XpMemoryFile file;
  WriteAll(file, Bytes(10, 0));
  const struct {
    int64_t offset;
    int32_t origin;
    XpResult result;
    int64_t position;
  } cases[] = {
      {-5, kXpSeekBegin, kXpErrBadArgument, 10},
      {-11, kXpSeekCurrent, kXpErrBadArgument, 10},
      {-11, kXpSeekEnd, kXpErrBadArgument, 10},
      {kMaxPosition, kXpSeekCurrent, kXpErrBadArgument, 10},
      {3, 7, kXpErrBadArgument, 10},
      {-10, kXpSeekEnd, kXpOk, 0},
      {25, kXpSeekEnd, kXpOk, 35},
      {-4, kXpSeekCurrent, kXpOk, 6},
      {kMaxPosition, kXpSeekBegin, kXpOk, kMaxPosition},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(file.Seek(10, kXpSeekBegin), kXpOk);
    EXPECT_EQ(file.Seek(c.offset, c.origin), c.result) << c.offset << " from " << c.origin;
    EXPECT_EQ(file.Tell(), c.position) << c.offset << " from " << c.origin;
  }
}

TEST(XpMemoryFile, WriteWhoseEndPassesTheLargestPositionIsRefused) {
  XpMemoryFile file;
  WriteAll(file, Bytes(10, 0));
  ASSERT_EQ(file.Seek(kMaxPosition, kXpSeekBegin), kXpOk);
  const std::vector<uint8_t> bytes = Bytes(10, 0);
  uint64_t done = 99;
  EXPECT_EQ(file.Write(bytes.data(), bytes.size(), &done), kXpErrBadArgument);
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(file.GetSize(), 10);
  EXPECT_EQ(Contents(file), Bytes(10, 0));

  // Reading from there finds the end.
  std::array<uint8_t, 4> read{};
  EXPECT_EQ(file.Read(read.data(), read.size(), &done), kXpErrEndOfFile);
  EXPECT_EQ(file.SetLength(static_cast<uint64_t>(kMaxPosition) + 1), kXpErrBadArgument);
}

TEST(XpMemoryFile, BorrowedBufferIsWrittenInPlaceWhileTheDataFits) {
  std::array<uint8_t, 16> callers{};
  XpMemoryFile file(callers.data(), callers.size(), false);
  EXPECT_EQ(file.GetSize(), 16);
  WriteAll(file, {9, 8, 7, 6});
  EXPECT_EQ(file.GetBuffer(), callers.data());
  EXPECT_FALSE(file.OwnsBufferForTest());
  EXPECT_EQ(callers[0], 9);
  EXPECT_EQ(callers[3], 6);
}

TEST(XpMemoryFile, BorrowedBufferThatIsOutgrownIsCopiedNeverReallocated) {
  // On the stack: reallocating or freeing it would be caught at once.
  std::array<uint8_t, 16> callers;
  callers.fill(0x5C);
  const std::array<uint8_t, 16> original = callers;
  XpMemoryFile file(callers.data(), callers.size(), false);

  const std::vector<uint8_t> bytes = Bytes(100, 40);
  WriteAll(file, bytes);
  EXPECT_NE(file.GetBuffer(), callers.data());
  EXPECT_TRUE(file.OwnsBufferForTest());
  EXPECT_EQ(callers, original);
  EXPECT_EQ(Contents(file), bytes);
  // The buffer is the file's now.
  EXPECT_EQ(file.Detach(), nullptr);
}

TEST(XpMemoryFile, GrowingABorrowedBufferKeepsItsBytes) {
  std::array<uint8_t, 4> callers = {1, 2, 3, 4};
  XpMemoryFile file(callers.data(), callers.size(), false);
  ASSERT_EQ(file.Seek(0, kXpSeekEnd), kXpOk);
  WriteAll(file, {5, 6});
  EXPECT_EQ(Contents(file), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));

  std::array<uint8_t, 4> other = {7, 7, 7, 7};
  XpMemoryFile lengthened(other.data(), other.size(), false);
  ASSERT_EQ(lengthened.SetLength(6), kXpOk);
  EXPECT_NE(lengthened.GetBuffer(), other.data());
  EXPECT_EQ(Contents(lengthened), (std::vector<uint8_t>{7, 7, 7, 7, 0, 0}));
  EXPECT_EQ(other, (std::array<uint8_t, 4>{7, 7, 7, 7}));
}

TEST(XpMemoryFile, DetachReturnsOnlyABorrowedBuffer) {
  std::array<uint8_t, 8> callers{};
  XpMemoryFile borrowed(callers.data(), callers.size(), false);
  EXPECT_EQ(borrowed.Detach(), callers.data());
  EXPECT_EQ(borrowed.GetBuffer(), nullptr);
  EXPECT_EQ(borrowed.GetSize(), 0);
  EXPECT_EQ(borrowed.Tell(), 0);

  // Handed over: the file frees it (a leak would show in the sanitizer build).
  void* handed = std::malloc(8);
  ASSERT_NE(handed, nullptr);
  XpMemoryFile owned(handed, 8, true);
  EXPECT_TRUE(owned.OwnsBufferForTest());
  EXPECT_EQ(owned.Detach(), nullptr);
  EXPECT_EQ(owned.GetBuffer(), nullptr);
  EXPECT_EQ(owned.GetSize(), 0);

  XpMemoryFile grown;
  WriteAll(grown, Bytes(5, 0));
  EXPECT_EQ(grown.Detach(), nullptr);
  EXPECT_EQ(grown.GetSize(), 0);
}

TEST(XpMemoryFile, ResetForgetsTheBufferWithoutFreeingIt) {
  void* handed = std::malloc(8);
  ASSERT_NE(handed, nullptr);
  std::memset(handed, 0x31, 8);
  {
    XpMemoryFile file(handed, 8, true);
    file.Reset();
    EXPECT_EQ(file.GetBuffer(), nullptr);
    EXPECT_EQ(file.GetSize(), 0);
  }
  // Still ours after the file is gone.
  EXPECT_EQ(static_cast<uint8_t*>(handed)[7], 0x31);
  std::free(handed);
}

TEST(XpMemoryFile, AttachReplacesTheBufferAndFreesAnOwnedOne) {
  XpMemoryFile file;
  WriteAll(file, Bytes(30, 0));
  std::array<uint8_t, 3> callers = {4, 5, 6};
  file.Attach(callers.data(), callers.size(), false);
  EXPECT_EQ(file.GetBuffer(), callers.data());
  EXPECT_EQ(file.GetSize(), 3);
  EXPECT_EQ(file.Tell(), 0);
  EXPECT_FALSE(file.OwnsBufferForTest());
  file.Attach(nullptr, 10, false);
  EXPECT_EQ(file.GetBuffer(), nullptr);
  EXPECT_EQ(file.GetSize(), 0);
}

TEST(XpMemoryFile, OpenWithTheWriteBitEmptiesAndAFreshFileAccepts) {
  XpMemoryFile fresh;
  EXPECT_EQ(fresh.Open(kXpOpenWrite), kXpOk);
  EXPECT_EQ(fresh.GetSize(), 0);

  XpMemoryFile filled;
  WriteAll(filled, Bytes(12, 0));
  EXPECT_EQ(filled.Open(kXpOpenRead), kXpOk);
  EXPECT_EQ(filled.GetSize(), 12);
  EXPECT_EQ(filled.Open(kXpOpenReadWrite), kXpOk);
  EXPECT_EQ(filled.GetSize(), 0);
  EXPECT_EQ(filled.Tell(), 0);
  EXPECT_EQ(filled.Close(), kXpOk);
}

TEST(XpMemoryFile, SetLengthWithoutABufferAcceptsOnlyZero) {
  XpMemoryFile file;
  EXPECT_EQ(file.SetLength(0), kXpOk);
  EXPECT_EQ(file.SetLength(1), kXpErrWrongState);
  EXPECT_EQ(file.GetSize(), 0);

  WriteAll(file, Bytes(10, 0));
  EXPECT_EQ(file.SetLength(4), kXpOk);
  EXPECT_EQ(file.GetSize(), 4);
  EXPECT_EQ(file.Tell(), 4);  // clamped
  EXPECT_EQ(Contents(file), Bytes(4, 0));
}

TEST(XpMemoryFile, TypedValuesAndLinesGoThroughTheFileInterface) {
  XpMemoryFile file(kXpByteOrderBigEndian);
  ASSERT_EQ(file.WriteUInt32(0x01020304u, kXpByteOrderKeep), kXpOk);
  ASSERT_EQ(file.WriteString(u"ab\nc"), kXpOk);
  EXPECT_EQ(Contents(file), (std::vector<uint8_t>{1, 2, 3, 4, 'a', 'b', '\n', 'c'}));

  ASSERT_EQ(file.Seek(0, kXpSeekBegin), kXpOk);
  uint32_t value = 0;
  ASSERT_EQ(file.ReadUInt32(value, kXpByteOrderLittleEndian), kXpOk);
  EXPECT_EQ(value, 0x04030201u);
  XpString line;
  ASSERT_EQ(file.ReadLine(line), kXpOk);
  EXPECT_EQ(line, u"ab");
}

TEST(XpMemoryFile, NameCarriesTheBufferAddress) {
  XpMemoryFile file;
  WriteAll(file, Bytes(1, 0));
  char digits[32];
  std::snprintf(digits, sizeof(digits), "%016" PRIXPTR, reinterpret_cast<uintptr_t>(file.GetBuffer()));
  const std::string expected = "Memory File(" + std::string(16, ' ') + digits + ")";
  EXPECT_EQ(file.GetName().ToMultiByte().CStr(), expected);
  EXPECT_FALSE(file.IsReadOnly());
  EXPECT_FALSE(file.IsHidden());
}

TEST(XpMemoryFile, TimesAreSetAtCreationAndMovedByWrites) {
  const XpDateTime before = XpDateTime::Now();
  XpMemoryFile file;
  XpDateTime created;
  XpDateTime modified;
  XpDateTime accessed;
  ASSERT_EQ(file.GetTimes(&created, &modified, &accessed), kXpOk);
  for (const XpDateTime* time : {&created, &modified, &accessed}) {
    EXPECT_TRUE(time->IsValid());
    EXPECT_GE(time->GetValue(), before.GetValue());
  }
  WriteAll(file, Bytes(3, 0));
  const XpDateTime after = XpDateTime::Now();
  ASSERT_EQ(file.GetTimes(nullptr, &modified, nullptr), kXpOk);
  EXPECT_GE(modified.GetValue(), created.GetValue());
  EXPECT_LE(modified.GetValue(), after.GetValue());
}

}  // namespace
