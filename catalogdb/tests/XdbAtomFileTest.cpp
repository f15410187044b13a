#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/grammar/CatalogFileLayer.h"
#include "catalogdb/tests/XdbNativeFixture.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

using fsk::Value;
using testsupport::Fault;
using testsupport::SysCall;
using xdbtest::Bytes;
using xdbtest::TypeCode;

class XdbAtomFile : public xdbtest::XdbNativeFixture {
 protected:
  int64_t Offset(const Value& file) { return Integer(fsk::Call(the_, file, "getOffset")); }
  int64_t Size(const Value& file) { return Integer(fsk::Call(the_, file, "getSize")); }

  // A 12-byte-header atom in memory: size, type, id, then payload.
  static Bytes MemoryAtom(int32_t size, int32_t type, int32_t id, const std::string& payload) {
    Bytes atom(12 + payload.size());
    CatalogStoreHost32(atom.data(), size);
    CatalogStoreHost32(atom.data() + 4, type);
    CatalogStoreHost32(atom.data() + 8, id);
    std::memcpy(atom.data() + 12, payload.data(), payload.size());
    return atom;
  }

  testsupport::FaultInjection faults_;
};

TEST_F(XdbAtomFile, CreateOpenCloseAndDelete) {
  std::string path = FilePath("file");
  Value file = NewAtomFile();
  // Closing a file that was never opened does nothing.
  fsk::Call(the_, file, "close");
  EXPECT_EQ(Integer(fsk::Get(the_, file, "refnum")), -1);

  fsk::Call(the_, file, "create", path);
  EXPECT_NE(Integer(fsk::Get(the_, file, "refnum")), -1);
  EXPECT_NE(Integer(fsk::Get(the_, file, "refnum")), 0);
  EXPECT_EQ(fsk::ToString(the_, fsk::Get(the_, file, "filename")), path);
  EXPECT_TRUE(std::filesystem::exists(path));
  fsk::Call(the_, file, "close");
  EXPECT_EQ(Integer(fsk::Get(the_, file, "refnum")), 0);
  fsk::Call(the_, file, "close");
  EXPECT_EQ(Integer(fsk::Get(the_, file, "refnum")), 0);
  // A closed file refuses work.
  EXPECT_EQ(Raised([&] { Size(file); }), EBADF);

  // create empties a file that is there.
  WriteFile(path, Bytes(10, 1));
  fsk::Call(the_, file, "create", path);
  EXPECT_EQ(Size(file), 0);
  fsk::Call(the_, file, "close");

  WriteFile(path, Bytes(10, 1));
  fsk::Call(the_, file, "open", path);
  EXPECT_EQ(Size(file), 10);
  fsk::Call(the_, file, "deleteFile");
  EXPECT_FALSE(std::filesystem::exists(path));
  fsk::Call(the_, file, "close");
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "deleteFile"); }), ENOENT);

  Value missing = NewAtomFile();
  EXPECT_EQ(Raised([&] { fsk::Call(the_, missing, "open", FilePath("missing")); }), ENOENT);
  EXPECT_EQ(Integer(fsk::Get(the_, missing, "refnum")), -1);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, missing, "create", FilePath("no/such/folder")); }), ENOENT);
}

TEST_F(XdbAtomFile, OpenAndCreateReportTheSystemError) {
  std::string path = FilePath("refused");
  WriteFile(path, Bytes(4, 0));
  faults_.Add(Fault(SysCall::kOpen, Dir("db").string()).Errno(EROFS).ForWriting());
  EXPECT_EQ(Raised([&] { fsk::Call(the_, NewAtomFile(), "open", path); }), EROFS);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, NewAtomFile(), "create", FilePath("new")); }), EROFS);
}

TEST_F(XdbAtomFile, OnlySetOffsetAndWritesExtendTheFile) {
  std::string path = FilePath("sized");
  Value file = CreateAtomFile(path);
  EXPECT_EQ(Integer(fsk::Call(the_, file, "setOffset", 10000)), 10000);
  EXPECT_EQ(FileSize(path), 10000);
  EXPECT_EQ(Offset(file), 10000);

  unsigned char buffer[16] = {};
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "readDataAt", Address(buffer), 16, 20000); }), EIO);
  EXPECT_EQ(FileSize(path), 10000);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "readDataAt", Address(buffer), 16, 9990); }), EIO);
  EXPECT_EQ(FileSize(path), 10000);

  // getSize leaves the position at the end.
  fsk::Call(the_, file, "setOffset", 100);
  EXPECT_EQ(Size(file), 10000);
  EXPECT_EQ(Offset(file), 10000);

  const char text[] = "tail";
  fsk::Call(the_, file, "writeDataAt", Address(text), 4, 12000);
  EXPECT_EQ(FileSize(path), 12004);
  fsk::Call(the_, file, "readDataAt", Address(buffer), 4, 12000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "tail");
  EXPECT_EQ(Offset(file), 12004);

  fsk::Call(the_, file, "truncate", 50);
  EXPECT_EQ(FileSize(path), 50);
  EXPECT_EQ(Offset(file), 50);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "truncate", -1); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "setOffset", -1); }), EINVAL);
  EXPECT_EQ(FileSize(path), 50);
}

TEST_F(XdbAtomFile, DataTransfersAndTheirFailures) {
  std::string path = FilePath("data");
  Value file = CreateAtomFile(path);
  const char text[] = "0123456789";
  fsk::Call(the_, file, "writeData", Address(text), 10);
  fsk::Call(the_, file, "writeData", Address(text), 0);
  EXPECT_EQ(FileBytes(path), Bytes(text, text + 10));
  fsk::Call(the_, file, "setOffset", 2);
  char buffer[8] = {};
  fsk::Call(the_, file, "readData", Address(buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "23456");
  EXPECT_EQ(Offset(file), 7);

  // Past the end: a short read.
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "readData", Address(buffer), 8); }), EIO);
  // A negative count, or bytes at address 0.
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "readData", Address(buffer), -1); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "writeData", 0, 4); }), EINVAL);

  faults_.Add(Fault(SysCall::kWrite, Dir("db").string()).Errno(ENOSPC).AfterBytes(3));
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "writeDataAt", Address(text), 10, 0); }), ENOSPC);
  faults_.Clear();
  faults_.Add(Fault(SysCall::kRead, Dir("db").string()).Errno(EIO));
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "readDataAt", Address(buffer), 4, 0); }), EIO);
}

TEST_F(XdbAtomFile, WriteAtomConvertsACopyOfTheHeader) {
  std::string path = FilePath("atom");
  Value file = CreateAtomFile(path);
  Bytes atom = MemoryAtom(16, TypeCode("RAW@"), 7, "abcd");
  const Bytes before = atom;
  fsk::Call(the_, file, "writeAtom", Address(atom.data()));
  fsk::Call(the_, file, "writeAtom", Address(atom.data()));
  EXPECT_EQ(atom, before);
  const Bytes once = {0x00, 0x00, 0x00, 0x10, 0x52, 0x41, 0x57, 0x40, 0x07, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x64};
  Bytes twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(FileBytes(path), twice);

  Bytes broken = MemoryAtom(7, TypeCode("RAW@"), 7, "");
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "writeAtom", Address(broken.data())); }), EINVAL);
  EXPECT_EQ(FileSize(path), 32);
}

struct ReadAtomCase {
  const char* what;
  int32_t storedSize;
  int32_t storedType;
  int32_t capacity;
  int64_t raised;
};

TEST_F(XdbAtomFile, ReadAtomChecksSizeAndTypeBeforeThePayload) {
  const int32_t kType = TypeCode("HEAD");
  const ReadAtomCase cases[] = {
      {"fits", 16, kType, 16, 0},
      {"smaller than the capacity", 12, kType, 16, 0},
      {"larger than the capacity", 20, kType, 16, EINVAL},
      {"another type", 16, TypeCode("FREE"), 16, EINVAL},
      {"below the header", 4, kType, 16, EINVAL},
      {"beyond the file", 24, kType, 64, EINVAL},
      {"huge", 0x7FFFFFF0, kType, 0x7FFFFFFF, EINVAL},
  };
  for (const ReadAtomCase& test : cases) {
    // On disk: the header, then 12 bytes 'p' (20 bytes in all).
    Bytes disk(8, 0);
    CatalogStoreBigEndian32(disk.data(), static_cast<uint32_t>(test.storedSize));
    CatalogStoreBigEndian32(disk.data() + 4, static_cast<uint32_t>(test.storedType));
    disk.insert(disk.end(), 12, 'p');
    Value file = AtomFileWith("read", disk);

    Bytes buffer(24, 0xEE);
    CatalogStoreHost32(buffer.data(), test.capacity);
    CatalogStoreHost32(buffer.data() + 4, kType);
    EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "readAtom", Address(buffer.data())); }), test.raised) << test.what;
    if (test.raised != 0) {
      // Nothing was stored and no payload was read.
      EXPECT_EQ(CatalogLoadHost32(buffer.data()), test.capacity) << test.what;
      EXPECT_EQ(Bytes(buffer.begin() + 8, buffer.end()), Bytes(16, 0xEE)) << test.what;
    } else {
      EXPECT_EQ(CatalogLoadHost32(buffer.data()), test.storedSize) << test.what;
      EXPECT_EQ(Bytes(buffer.begin() + 8, buffer.begin() + test.storedSize), Bytes(test.storedSize - 8, 'p'))
          << test.what;
      EXPECT_EQ(Offset(file), test.storedSize) << test.what;
    }
    fsk::Call(the_, file, "close");
  }
}

TEST_F(XdbAtomFile, MoleculesAreSizedAndReadBack) {
  std::string path = FilePath("molecule");
  Value file = CreateAtomFile(path);
  const char padding[] = "0123456789";
  fsk::Call(the_, file, "writeData", Address(padding), 10);
  const int32_t kMole = TypeCode("MOLE");
  int64_t start = Integer(fsk::Call(the_, file, "writeMolecule", kMole));
  EXPECT_EQ(start, 10);
  Bytes small = MemoryAtom(12, TypeCode("RAW@"), 1, "");
  Bytes large = MemoryAtom(20, TypeCode("RAW@"), 2, "payload!");
  fsk::Call(the_, file, "writeAtom", Address(small.data()));
  fsk::Call(the_, file, "writeAtom", Address(large.data()));
  fsk::Call(the_, file, "sizeMolecule", start);
  EXPECT_EQ(Offset(file), 50);

  Bytes bytes = FileBytes(path);
  ASSERT_EQ(bytes.size(), 50u);
  EXPECT_EQ(CatalogLoadBigEndian32(bytes.data() + 10), 40u);
  EXPECT_EQ(CatalogLoadBigEndian32(bytes.data() + 14), static_cast<uint32_t>(kMole));

  fsk::Call(the_, file, "setOffset", start);
  EXPECT_EQ(Integer(fsk::Call(the_, file, "readMoleculeSignature")), kMole);
  EXPECT_EQ(Offset(file), start);
  EXPECT_EQ(Integer(fsk::Call(the_, file, "readMolecule", kMole)), start + 40);
  EXPECT_EQ(Offset(file), start + 8);

  fsk::Call(the_, file, "setOffset", start);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "readMolecule", TypeCode("HEAD")); }), EINVAL);
  // A molecule that claims more than the file holds.
  fsk::Call(the_, file, "truncate", 45);
  fsk::Call(the_, file, "setOffset", start);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "readMolecule", kMole); }), EINVAL);
  // At the end there is no signature to read; the position stays.
  fsk::Call(the_, file, "setOffset", 41);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "readMoleculeSignature"); }), EIO);
  EXPECT_EQ(Offset(file), 41);
  // sizeMolecule needs a whole header behind the position.
  EXPECT_EQ(Raised([&] { fsk::Call(the_, file, "sizeMolecule", 40); }), EINVAL);
}

struct SeekCase {
  int64_t offset;
  int32_t whence;
  int64_t position;
  int error;
};

TEST_F(XdbAtomFile, FileLayerSeekCodesAndFlags) {
  std::string path = FilePath("layer");
  EXPECT_EQ(CatalogFileOpen(path.c_str(), kCatalogFileOpenFlags), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(CatalogFileOpen(path.c_str(), kCatalogFileCreate), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(std::filesystem::exists(path));

  FskFile file = CatalogFileOpen(path.c_str(), kCatalogFileWrite | kCatalogFileCreate);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(CatalogFileWrite(file, "0123456789", 10), 10);
  ASSERT_EQ(CatalogFileClose(file), 0);
  // Without truncation the content stays; with it the file is emptied.
  file = CatalogFileOpen(path.c_str(), kCatalogFileRead | kCatalogFileCreate);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(CatalogFileSize(file), 10);

  const SeekCase cases[] = {
      {4, kCatalogSeekSet, 4, 0},       {3, kCatalogSeekCurrent, 7, 0},  {-2, kCatalogSeekCurrent, 5, 0},
      {0, kCatalogSeekFromEnd, 10, 0},  {4, kCatalogSeekFromEnd, 6, 0},  {11, kCatalogSeekFromEnd, -1, EINVAL},
      {-1, kCatalogSeekSet, -1, EINVAL}, {0, 3, -1, EINVAL},            {INT64_MAX, kCatalogSeekCurrent, -1, EINVAL},
  };
  for (const SeekCase& test : cases) {
    errno = 0;
    EXPECT_EQ(CatalogFileSeek(file, test.offset, test.whence, CatalogSeekBeyondEnd::kKeepSize), test.position)
        << test.offset << " " << test.whence;
    if (test.error != 0) {
      EXPECT_EQ(errno, test.error) << test.offset << " " << test.whence;
    }
  }
  EXPECT_EQ(CatalogFileSeek(file, -5, kCatalogSeekFromEnd, CatalogSeekBeyondEnd::kKeepSize), 15);
  EXPECT_EQ(CatalogFileSize(file), 10);
  EXPECT_EQ(CatalogFileSeek(file, -5, kCatalogSeekFromEnd, CatalogSeekBeyondEnd::kExtend), 15);
  EXPECT_EQ(CatalogFileSize(file), 15);
  ASSERT_EQ(CatalogFileClose(file), 0);

  file = CatalogFileOpen(path.c_str(), kCatalogFileCreateFlags);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(CatalogFileSize(file), 0);
  ASSERT_EQ(CatalogFileClose(file), 0);
  EXPECT_EQ(CatalogFileDelete(path.c_str()), 0);
  EXPECT_EQ(CatalogFileDelete(path.c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
