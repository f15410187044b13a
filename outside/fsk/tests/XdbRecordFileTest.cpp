#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbRecordFile.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/result/XpResult.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Atom = ::XdbRecordFile::Atom;
using Span = ::XdbRecordFile::Span;

constexpr int32_t kContent = 0x434F4E54;  // "CONT"
constexpr int32_t kAlbum = 0x414C424D;    // "ALBM"

Bytes Payload(size_t size, uint8_t fill) { return Bytes(size, fill); }

// Named as the class it tests; the class itself is ::XdbRecordFile here.
class XdbRecordFile : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
    file_ = std::make_unique<::XdbRecordFile>(machine_->Machine());
  }

  void TearDown() override {
    file_.reset();
    machine_.reset();
    HermeticTest::TearDown();
  }

  std::string PathIn(const std::string& folder, const std::string& name) { return (Dir(folder) / name).string(); }
  std::string DataPath() { return PathIn("db", "XDB.DAT"); }
  std::string FreePath() { return PathIn("db", "XDB.FRE"); }

  static ::XdbRecordFile::Head SampleHead() {
    return ::XdbRecordFile::Head{12, 7, {{"date", 0x21, 4}, {"album", 1, 4}}};
  }

  void CreateSample() { ASSERT_EQ(file_->Create(DataPath(), FreePath(), SampleHead()), kXpOk); }

  int64_t Add(int32_t id, const Bytes& payload, int32_t type = kContent) {
    int64_t offset = -1;
    EXPECT_EQ(file_->Add(id, type, payload, &offset), kXpOk) << id;
    return offset;
  }

  ::XdbRecordFile::Record Read(int64_t offset) {
    ::XdbRecordFile::Record record;
    EXPECT_EQ(file_->Read(offset, &record), kXpOk) << offset;
    return record;
  }

  std::vector<Atom> Atoms() {
    std::vector<Atom> atoms;
    EXPECT_EQ(file_->Scan([&](const Atom& atom) {
      atoms.push_back(atom);
      return true;
    }),
              kXpOk);
    return atoms;
  }

  static std::vector<Span> Sorted(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.offset < b.offset; });
    return spans;
  }

  static int64_t FileSize(const std::string& path) { return static_cast<int64_t>(std::filesystem::file_size(path)); }

  std::unique_ptr<fsktest::GrammarMachine> machine_;
  std::unique_ptr<::XdbRecordFile> file_;
  testsupport::FaultInjection faults_;
};

TEST_F(XdbRecordFile, AFreedSpanIsReusedAndItsRemainderStaysFree) {
  CreateSample();
  int64_t start = file_->RecordsStart();
  int64_t first = Add(1, Payload(40, 'a'));
  int64_t middle = Add(2, Payload(40, 'b'));
  int64_t last = Add(3, Payload(40, 'c'));
  EXPECT_EQ(first, start);
  EXPECT_EQ(middle, start + 52);
  EXPECT_EQ(last, start + 104);

  ASSERT_EQ(file_->Free(middle), kXpOk);
  EXPECT_EQ(file_->FreeSpans(), (std::vector<Span>{{middle, 52}}));
  int64_t smaller = Add(4, Payload(10, 'd'), kAlbum);
  EXPECT_EQ(smaller, middle);
  EXPECT_EQ(file_->FreeSpans(), (std::vector<Span>{{middle + 22, 30}}));
  std::vector<Atom> atoms = Atoms();
  ASSERT_EQ(atoms.size(), 4u);
  // A free atom's id word is whatever its span held.
  atoms[2].id = 0;
  EXPECT_EQ(atoms, (std::vector<Atom>{{first, 52, kContent, 1},
                                      {middle, 22, kAlbum, 4},
                                      {middle + 22, 30, ::XdbRecordFile::kFreeAtomType, 0},
                                      {last, 52, kContent, 3}}));

  ::XdbRecordFile::Record record = Read(smaller);
  EXPECT_EQ(record.id, 4);
  EXPECT_EQ(record.type, kAlbum);
  EXPECT_EQ(record.payload, Payload(10, 'd'));
  EXPECT_EQ(Read(last).payload, Payload(40, 'c'));
  EXPECT_EQ(FileSize(DataPath()), start + 156);
}

TEST_F(XdbRecordFile, ASmallRemainderStaysInsideTheRecord) {
  CreateSample();
  int64_t first = Add(1, Payload(40, 'a'));
  Add(2, Payload(40, 'b'));
  ASSERT_EQ(file_->Free(first), kXpOk);
  // 12 + 35 bytes leave 5 of the 52: too few for a free atom.
  int64_t placed = Add(3, Payload(35, 'c'));
  EXPECT_EQ(placed, first);
  EXPECT_TRUE(file_->FreeSpans().empty());
  Bytes padded = Payload(35, 'c');
  padded.resize(40, 0);
  EXPECT_EQ(Read(placed).payload, padded);
  EXPECT_EQ(Atoms().front().size, 52);
  // Nothing fits: the end of the file.
  EXPECT_EQ(Add(4, Payload(1, 'd')), file_->RecordsStart() + 104);
}

TEST_F(XdbRecordFile, ReplaceKeepsOrMovesTheRecord) {
  CreateSample();
  int64_t offset = Add(1, Payload(40, 'a'));
  int64_t next = Add(2, Payload(8, 'b'));

  int64_t moved = -1;
  ASSERT_EQ(file_->Replace(offset, 1, kContent, Payload(30, 'x'), &moved), kXpOk);
  EXPECT_EQ(moved, offset);
  // 10 bytes were left: too few for a free atom, so they stay in the record.
  Bytes padded = Payload(30, 'x');
  padded.resize(40, 0);
  EXPECT_EQ(Read(offset).payload, padded);
  EXPECT_TRUE(file_->FreeSpans().empty());

  ASSERT_EQ(file_->Replace(offset, 1, kContent, Payload(10, 'y'), &moved), kXpOk);
  EXPECT_EQ(moved, offset);
  EXPECT_EQ(file_->FreeSpans(), (std::vector<Span>{{offset + 22, 30}}));

  ASSERT_EQ(file_->Replace(next, 2, kContent, Payload(100, 'z'), &moved), kXpOk);
  EXPECT_EQ(moved, next + 20);
  EXPECT_EQ(Read(moved).payload, Payload(100, 'z'));
  EXPECT_EQ(file_->FreeSpans(), (std::vector<Span>{{offset + 22, 30}, {next, 20}}));
}

// The spans that Add and Replace report are the atoms in the file, and a
// Replace given such a span lands where one given the offset alone would.
TEST_F(XdbRecordFile, PlacedSpansAreTheAtomsOfTheFile) {
  CreateSample();
  int64_t start = file_->RecordsStart();
  auto atomAt = [&](int64_t offset) {
    std::vector<Atom> atoms = Atoms();
    auto found = std::find_if(atoms.begin(), atoms.end(), [&](const Atom& atom) { return atom.offset == offset; });
    return found == atoms.end() ? Span{} : Span{found->offset, found->size};
  };
  Span first;
  Span second;
  ASSERT_EQ(file_->Add(1, kContent, Payload(40, 'a'), &first), kXpOk);
  ASSERT_EQ(file_->Add(2, kContent, Payload(8, 'b'), &second), kXpOk);
  EXPECT_EQ(first, (Span{start, 52}));
  EXPECT_EQ(second, (Span{start + 52, 20}));

  struct Step {
    const char* what;
    size_t payload;
    Span placed;
    std::vector<Span> free;
  };
  const Step steps[] = {
      {"10 bytes left stay inside", 30, {start, 52}, {}},
      {"30 bytes left become free", 10, {start, 22}, {{start + 22, 30}}},
      {"the same size again", 10, {start, 22}, {{start + 22, 30}}},
      {"too large: moved to the end", 60, {start + 72, 72}, {{start + 22, 30}, {start, 22}}},
  };
  Span known = first;
  for (const Step& step : steps) {
    Bytes payload = Payload(step.payload, 'x');
    Span placed;
    ASSERT_EQ(file_->Replace(known, 1, kContent, payload, &placed), kXpOk) << step.what;
    EXPECT_EQ(placed, step.placed) << step.what;
    EXPECT_EQ(atomAt(placed.offset), placed) << step.what;
    EXPECT_EQ(file_->FreeSpans(), step.free) << step.what;
    Bytes stored = Read(placed.offset).payload;
    stored.resize(payload.size());
    EXPECT_EQ(stored, payload) << step.what;
    known = placed;
  }

  // A freed span taken whole reports the whole span.
  Span reused;
  ASSERT_EQ(file_->Add(3, kAlbum, Payload(12, 'c'), &reused), kXpOk);
  EXPECT_EQ(reused, (Span{start + 22, 30}));
  EXPECT_EQ(atomAt(reused.offset), reused);
}

TEST_F(XdbRecordFile, FlushAndReopenGiveTheSameFile) {
  CreateSample();
  std::map<int64_t, Bytes> records;
  for (int32_t id = 1; id <= 6; ++id) {
    records[Add(id, Payload(static_cast<size_t>(10 * id), static_cast<uint8_t>('a' + id)))] =
        Payload(static_cast<size_t>(10 * id), static_cast<uint8_t>('a' + id));
  }
  auto second = std::next(records.begin());
  auto fourth = std::next(records.begin(), 3);
  ASSERT_EQ(file_->Free(second->first), kXpOk);
  ASSERT_EQ(file_->Free(fourth->first), kXpOk);
  records.erase(second);
  records.erase(fourth);
  ASSERT_EQ(file_->SetHeadWords(8, 99), kXpOk);
  std::vector<Span> spans = file_->FreeSpans();
  std::vector<Atom> atoms = Atoms();
  ASSERT_EQ(file_->Flush(), kXpOk);
  ASSERT_EQ(file_->Close(), kXpOk);

  ::XdbRecordFile reopened(machine_->Machine());
  ASSERT_EQ(reopened.Open(DataPath(), FreePath()), kXpOk);
  ::XdbRecordFile::Head head = SampleHead();
  head.flags = 8;
  head.nextID = 99;
  EXPECT_EQ(reopened.GetHead(), head);
  EXPECT_EQ(reopened.FreeSpans(), spans);
  std::vector<Atom> reopenedAtoms;
  ASSERT_EQ(reopened.Scan([&](const Atom& atom) {
    reopenedAtoms.push_back(atom);
    return true;
  }),
            kXpOk);
  EXPECT_EQ(reopenedAtoms, atoms);
  for (const auto& [offset, payload] : records) {
    ::XdbRecordFile::Record record;
    ASSERT_EQ(reopened.Read(offset, &record), kXpOk);
    EXPECT_EQ(record.payload, payload);
  }
}

TEST_F(XdbRecordFile, AMissingFreeListIsRebuiltByAScan) {
  CreateSample();
  std::vector<int64_t> offsets;
  for (int32_t id = 1; id <= 5; ++id) {
    offsets.push_back(Add(id, Payload(20, 'r')));
  }
  ASSERT_EQ(file_->Free(offsets[3]), kXpOk);
  ASSERT_EQ(file_->Free(offsets[1]), kXpOk);
  std::vector<Span> spans = file_->FreeSpans();
  ASSERT_EQ(file_->Flush(), kXpOk);
  ASSERT_EQ(file_->Close(), kXpOk);
  std::filesystem::remove(FreePath());

  ASSERT_EQ(file_->Open(DataPath(), FreePath()), kXpOk);
  EXPECT_EQ(Sorted(file_->FreeSpans()), Sorted(spans));
  ASSERT_EQ(file_->Flush(), kXpOk);
  EXPECT_TRUE(std::filesystem::exists(FreePath()));
}

TEST_F(XdbRecordFile, AStaleFreeListIsRebuiltByAScan) {
  CreateSample();
  int64_t first = Add(1, Payload(20, 'a'));
  Add(2, Payload(20, 'b'));
  ASSERT_EQ(file_->Free(first), kXpOk);
  ASSERT_EQ(file_->Flush(), kXpOk);
  // The span is taken again after the flush; the free-list file still
  // lists it.
  EXPECT_EQ(Add(3, Payload(20, 'c')), first);
  ASSERT_EQ(file_->Close(), kXpOk);

  ASSERT_EQ(file_->Open(DataPath(), FreePath()), kXpOk);
  EXPECT_TRUE(file_->FreeSpans().empty());
  EXPECT_NE(Add(4, Payload(20, 'd')), first);
  EXPECT_EQ(Read(first).payload, Payload(20, 'c'));
}

TEST_F(XdbRecordFile, ACopiedFileOpensInItsNewFolder) {
  CreateSample();
  int64_t offset = Add(1, Payload(16, 'q'));
  ASSERT_EQ(file_->Free(Add(2, Payload(16, 'w'))), kXpOk);
  ASSERT_EQ(file_->Flush(), kXpOk);
  ASSERT_EQ(file_->Close(), kXpOk);
  std::filesystem::copy_file(DataPath(), PathIn("copy", "XDB.DAT"));
  std::filesystem::copy_file(FreePath(), PathIn("copy", "XDB.FRE"));
  std::filesystem::remove_all(Dir("db"));

  ASSERT_EQ(file_->Open(PathIn("copy", "XDB.DAT"), PathIn("copy", "XDB.FRE")), kXpOk);
  EXPECT_EQ(file_->GetHead(), SampleHead());
  EXPECT_EQ(Read(offset).payload, Payload(16, 'q'));
  EXPECT_EQ(file_->FreeSpans().size(), 1u);
  EXPECT_EQ(Add(3, Payload(4, 'e')), offset + 28);
}

TEST_F(XdbRecordFile, RefusalsAndFailures) {
  ::XdbRecordFile::Record record;
  int64_t offset = 0;
  EXPECT_EQ(file_->Read(0, &record), kXpErrNotOpen);
  EXPECT_EQ(file_->Flush(), kXpErrNotOpen);
  EXPECT_EQ(file_->Close(), kXpErrNotOpen);
  EXPECT_EQ(file_->Open(DataPath(), FreePath()), kXpErrFileNotFound);
  EXPECT_FALSE(file_->IsOpen());

  CreateSample();
  EXPECT_EQ(file_->Create(DataPath(), FreePath(), SampleHead()), kXpErrAlreadyOpen);
  int64_t record1 = Add(1, Payload(8, 'a'));
  int64_t size = FileSize(DataPath());
  EXPECT_EQ(file_->Add(2, ::XdbRecordFile::kFreeAtomType, Payload(8, 'a'), &offset), kXpErrBadArgument);
  // Offsets that name no record; none of them grows the file.
  for (int64_t bad : {int64_t{0}, record1 - 1, size, size + 5000, int64_t{-12}}) {
    EXPECT_NE(file_->Read(bad, &record), kXpOk) << bad;
  }
  EXPECT_EQ(file_->Read(size + 5000, &record), kXpErrBadArgument);
  EXPECT_EQ(FileSize(DataPath()), size);
  ASSERT_EQ(file_->Free(record1), kXpOk);
  EXPECT_EQ(file_->Free(record1), kXpErrBadArgument);
  EXPECT_EQ(file_->Read(record1, &record), kXpErrBadArgument);

  faults_.Add(testsupport::Fault(testsupport::SysCall::kWrite, Dir("db").string()).Errno(ENOSPC));
  EXPECT_EQ(file_->Flush(), kXpErrDiskFull);
  EXPECT_EQ(file_->Add(3, kContent, Payload(100, 'z'), &offset), kXpErrDiskFull);
  faults_.Clear();
  // Still usable.
  EXPECT_EQ(file_->Flush(), kXpOk);
  EXPECT_EQ(Read(Add(4, Payload(20, 'k'))).payload, Payload(20, 'k'));
}

// What a scan of the file's bytes visits: each record atom with its
// payload.
struct Visited {
  Atom atom;
  Bytes payload;
  bool operator==(const Visited& other) const = default;
};

std::vector<Visited> VisitBytes(const ::XdbRecordFile& file, const Bytes& bytes, XpResult* result,
                                size_t stopAfter = SIZE_MAX) {
  std::vector<Visited> visited;
  *result = file.ScanRecordBytes(bytes, [&](const Atom& atom, std::span<const uint8_t> payload) {
    visited.push_back({atom, Bytes(payload.begin(), payload.end())});
    return visited.size() < stopAfter;
  });
  return visited;
}

Bytes ReadDisk(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteDisk(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The one-pass scan of the bytes visits what Scan and Read give, free atoms
// and padding inside records included.
TEST_F(XdbRecordFile, AScanOfTheBytesFindsWhatScanAndReadFind) {
  CreateSample();
  int64_t first = Add(1, Payload(40, 'a'));
  Add(2, Payload(20, 'b'), kAlbum);
  int64_t third = Add(3, Payload(40, 'c'));
  Add(4, Payload(1, 'd'));
  ASSERT_EQ(file_->Free(third), kXpOk);
  ASSERT_EQ(file_->Free(first), kXpOk);
  // 12 + 35 of 52 bytes: the record keeps 5 zero bytes.
  Add(5, Payload(35, 'e'));
  std::vector<Visited> expected;
  for (const Atom& atom : Atoms()) {
    if (atom.type != ::XdbRecordFile::kFreeAtomType) {
      ::XdbRecordFile::Record record = Read(atom.offset);
      expected.push_back({Atom{atom.offset, atom.size, record.type, record.id}, record.payload});
    }
  }
  ASSERT_EQ(expected.size(), 3u);
  XpResult result = kXpErrInvalidFile;
  Bytes bytes = ReadDisk(DataPath());
  EXPECT_EQ(VisitBytes(*file_, bytes, &result), expected);
  EXPECT_EQ(result, kXpOk);
  std::vector<Visited> firstOnly = VisitBytes(*file_, bytes, &result, 1);
  EXPECT_EQ(result, kXpOk);
  EXPECT_EQ(firstOnly, std::vector<Visited>(expected.begin(), expected.begin() + 1));
}

// Each damage that Scan and Read refuse, the scan of the bytes refuses too.
TEST_F(XdbRecordFile, AScanOfDamagedBytesRefusesWhatScanRefuses) {
  CreateSample();
  int64_t first = Add(1, Payload(8, 'a'));
  int64_t second = Add(2, Payload(8, 'b'));
  ASSERT_EQ(file_->Flush(), kXpOk);
  ASSERT_EQ(file_->Close(), kXpOk);
  const Bytes sound = ReadDisk(DataPath());
  auto sizeWord = [](Bytes bytes, int64_t offset, uint32_t size) {
    for (int i = 0; i < 4; ++i) {
      bytes[static_cast<size_t>(offset) + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (24 - 8 * i));
    }
    return bytes;
  };
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"a size past the end", sizeWord(sound, second, 0x1000)},
      {"a size below a header", sizeWord(sound, first, 11)},
      {"a negative size", sizeWord(sound, first, 0x80000000u)},
      {"a tail shorter than a header", Bytes(sound.begin(), sound.end() - 10)},
  };
  for (const Case& c : cases) {
    WriteDisk(DataPath(), c.bytes);
    ASSERT_EQ(file_->Open(DataPath(), FreePath()), kXpOk) << c.what;
    EXPECT_EQ(file_->Scan([](const Atom&) { return true; }), kXpErrInvalidFile) << c.what;
    XpResult result = kXpOk;
    VisitBytes(*file_, c.bytes, &result);
    EXPECT_EQ(result, kXpErrInvalidFile) << c.what;
    ASSERT_EQ(file_->Close(), kXpOk);
  }
  XpResult result = kXpOk;
  EXPECT_TRUE(VisitBytes(*file_, sound, &result).empty());
  EXPECT_EQ(result, kXpErrNotOpen);
}

TEST_F(XdbRecordFile, DamagedFilesAreRefused) {
  CreateSample();
  int64_t offset = Add(1, Payload(8, 'a'));
  ASSERT_EQ(file_->Flush(), kXpOk);
  ASSERT_EQ(file_->Close(), kXpOk);

  // A record whose size runs past the end.
  {
    std::fstream data(DataPath(), std::ios::binary | std::ios::in | std::ios::out);
    data.seekp(offset);
    const char huge[] = {0x00, 0x10, 0x00, 0x00};
    data.write(huge, sizeof huge);
  }
  ASSERT_EQ(file_->Open(DataPath(), FreePath()), kXpOk);
  ::XdbRecordFile::Record record;
  EXPECT_EQ(file_->Read(offset, &record), kXpErrInvalidFile);
  EXPECT_EQ(file_->Scan([](const Atom&) { return true; }), kXpErrInvalidFile);
  ASSERT_EQ(file_->Close(), kXpOk);

  // Not a record file at all.
  std::ofstream(PathIn("db", "OTHER"), std::ios::binary) << "not a database, just text";
  EXPECT_EQ(file_->Open(PathIn("db", "OTHER"), FreePath()), kXpErrInvalidFile);
  EXPECT_FALSE(file_->IsOpen());
}

}  // namespace
