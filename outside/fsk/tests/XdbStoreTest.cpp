#include "outside/fsk/dbmanager/XdbStore.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbDataRows.h"
#include "outside/fsk/tests/XdbStoreSearch.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using xdbtest::Found;

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Snapshot = std::map<std::string, Bytes>;
using IDs = std::vector<int32_t>;
using Kind = ::XdbStore::Kind;

constexpr double kDate = 1237075200000.0;
const char* const kDerived[] = {"XDB.FRE", "XDB.IND", "OAI.IND", "GUID.IND", "DATA.BLK"};

Bytes ReadDisk(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteDisk(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

Snapshot SnapshotOf(const fs::path& folder) {
  Snapshot snapshot;
  for (const auto& entry : fs::directory_iterator(folder)) {
    snapshot[entry.path().filename().string()] = ReadDisk(entry.path());
  }
  return snapshot;
}

// Named as the class it tests; the class itself is ::XdbStore here.
class XdbStore : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
    store_ = std::make_unique<::XdbStore>(machine_->Machine());
    folder_ = Dir("DBFILES");
  }

  void TearDown() override {
    store_.reset();
    machine_.reset();
    HermeticTest::TearDown();
  }

  int OpenAt(::XdbStore& store, const fs::path& folder) {
    int status = 0;
    EXPECT_EQ(store.Open(folder.string(), &status), kXpOk);
    return status;
  }
  int Open(const fs::path& folder) { return OpenAt(*store_, folder); }
  void Reopen() {
    ASSERT_EQ(store_->Close(), kXpOk);
    ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  }

  int32_t AddAlbum(const std::string& title = "album") {
    int32_t id = 0;
    EXPECT_EQ(store_->AddAlbum({0, 3, title}, &id), kXpOk);
    return id;
  }
  int32_t AddContent(int32_t album, int32_t fileID = 1) {
    int32_t id = 0;
    EXPECT_EQ(store_->AddContent({kDate, 100, fileID, album, 1, 0, 0, 0}, &id), kXpOk);
    return id;
  }
  int32_t GuidOf(int32_t id) {
    auto record = store_->GetRecord(id);
    return record ? record->content.guid : -1;
  }
  void ExpectSound() { EXPECT_EQ(store_->Check(), std::vector<std::string>{}); }

  // Every search's answer, to compare two states of one database.
  std::vector<IDs> Searches() {
    std::vector<IDs> all = {Found(*store_, &::XdbStore::AllAlbums),
                            Found(*store_, &::XdbStore::AllContents),
                            Found(*store_, &::XdbStore::GuidRange, 1, 2147483647.0),
                            Found(*store_, &::XdbStore::ShareAny, -1),
                            Found(*store_, &::XdbStore::FavoriteEqual, 0),
                            Found(*store_, &::XdbStore::InMonth, 2009, 3)};
    for (int32_t album : Found(*store_, &::XdbStore::AllAlbums)) {
      all.push_back(Found(*store_, &::XdbStore::ContentsOfAlbum, album));
    }
    return all;
  }

  std::unique_ptr<fsktest::GrammarMachine> machine_;
  std::unique_ptr<::XdbStore> store_;
  fs::path folder_;
};

TEST_F(XdbStore, RoundTripThroughTheStore) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  for (const auto& entry : fs::directory_iterator(folder_)) {
    EXPECT_TRUE(entry.is_regular_file()) << entry.path();
  }
  EXPECT_FALSE(fs::exists(folder_ / "XDB.JNL"));
  int32_t album = 0;
  ASSERT_EQ(store_->AddAlbum({0, 3, "\xC3\x89t\xC3\xA9"}, &album), kXpOk);
  EXPECT_EQ(album, 1);
  int32_t content = 0;
  ASSERT_EQ(store_->AddContent({kDate, 100, 1, 1, 1, 0, 0, 0}, &content), kXpOk);
  EXPECT_EQ(content, 2);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "open" : "reopened");
    auto record = store_->GetRecord(2);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->kind, Kind::kContent);
    EXPECT_EQ(record->content, (XdbContent{kDate, 100, 1, 1, 1, 0, 0, 1}));
    auto albumRecord = store_->GetRecord(1);
    ASSERT_TRUE(albumRecord.has_value());
    EXPECT_EQ(albumRecord->album, (XdbAlbum{0, 3, "\xC3\x89t\xC3\xA9"}));
    EXPECT_EQ(Found(*store_, &::XdbStore::ContentsOfAlbum, 1), IDs{2});
    EXPECT_EQ(Found(*store_, &::XdbStore::AllAlbums), IDs{1});
    EXPECT_EQ(Found(*store_, &::XdbStore::AllContents), IDs{2});
    EXPECT_EQ(Found(*store_, &::XdbStore::GuidRange, 1, 2147483647.0), IDs{2});
    EXPECT_EQ(Found(*store_, &::XdbStore::Dcf, 100, 1), IDs{2});
    EXPECT_EQ(Found(*store_, &::XdbStore::InMonth, 2009, 3), IDs{2});
    EXPECT_EQ(Found(*store_, &::XdbStore::InMonth, 2009, 4), IDs{});
    ExpectSound();
    Reopen();
  }
  EXPECT_EQ(Found(*store_, &::XdbStore::ShareAny, 2), IDs{});
  ASSERT_EQ(store_->SetShare(2, 2, true), kXpOk);
  EXPECT_EQ(Found(*store_, &::XdbStore::ShareAny, 2), IDs{2});
  ASSERT_EQ(store_->SetFavorite(2, 6, true), kXpOk);
  EXPECT_EQ(store_->GetRecord(2)->content.favoriteFlag, 6);
  EXPECT_EQ(Found(*store_, &::XdbStore::FavoriteEqual, 6), IDs{2});
  ASSERT_EQ(store_->SetShare(2, 2, false), kXpOk);
  ASSERT_EQ(store_->SetFavorite(2, 6, false), kXpOk);
  EXPECT_EQ(store_->GetRecord(2)->content.favoriteFlag, 0);
  EXPECT_EQ(Found(*store_, &::XdbStore::ShareAny, 2), IDs{});
  ExpectSound();
}

TEST_F(XdbStore, CallerFaultsAreRefused) {
  int32_t id = -1;
  EXPECT_EQ(store_->Flush(), kXpErrNotOpen);
  EXPECT_EQ(store_->AddAlbum({}, &id), kXpErrNotOpen);
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum();
  int32_t content = AddContent(album);
  EXPECT_EQ(store_->AddContent({kDate, 1, 1, content, 0, 0, 0, 0}, &id), kXpErrBadArgument);
  EXPECT_EQ(store_->AddContent({kDate, 1, 1, 99, 0, 0, 0, 0}, &id), kXpErrBadArgument);
  EXPECT_EQ(store_->SetShare(album, 1, true), kXpErrBadArgument);
  EXPECT_EQ(store_->SetFavorite(99, 1, true), kXpErrBadArgument);
  EXPECT_EQ(store_->Delete(album, Kind::kContent), kXpErrBadArgument);
  EXPECT_EQ(store_->Delete(content, Kind::kAlbum), kXpErrBadArgument);
  EXPECT_EQ(store_->UpdateAlbum(content, {}), kXpErrBadArgument);
  EXPECT_FALSE(store_->GetRecord(99).has_value());
  // Dates without a day are kept, and found by no month.
  for (double date : {std::nan(""), 1e300, -1e300}) {
    ASSERT_EQ(store_->AddContent({date, 1, 1, album, 0, 0, 0, 0}, &id), kXpOk);
    EXPECT_TRUE(std::isnan(date) ? std::isnan(store_->GetRecord(id)->content.date)
                                 : store_->GetRecord(id)->content.date == date);
  }
  EXPECT_EQ(Found(*store_, &::XdbStore::InMonth, 1970, 1), IDs{});
  ExpectSound();
}

TEST_F(XdbStore, GuidsOnlyGrowAcrossDeletesAndReopen) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum();
  IDs contents = {AddContent(album), AddContent(album), AddContent(album)};
  EXPECT_EQ(GuidOf(contents[0]), 1);
  EXPECT_EQ(GuidOf(contents[1]), 2);
  EXPECT_EQ(GuidOf(contents[2]), 3);
  ASSERT_EQ(store_->Delete(contents[2], Kind::kContent), kXpOk);
  ASSERT_EQ(store_->Flush(), kXpOk);
  Reopen();
  int32_t next = AddContent(album);
  EXPECT_EQ(next, contents[2]);
  EXPECT_EQ(GuidOf(next), 4);
  EXPECT_EQ(Found(*store_, &::XdbStore::GuidRange, 2147483648.0, 2147483647.0), IDs{});
  EXPECT_EQ(Found(*store_, &::XdbStore::GuidEqual, 4), IDs{next});
  ExpectSound();
}

TEST_F(XdbStore, LimitEndsIDsAndFreedIDsComeBack) {
  store_->SetLimit(5);
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  EXPECT_EQ(AddAlbum(), 1);
  for (int32_t expected = 2; expected <= 5; ++expected) {
    EXPECT_EQ(AddContent(1), expected);
  }
  EXPECT_EQ(AddContent(1), 0);
  EXPECT_EQ(AddAlbum(), 0);
  ASSERT_EQ(store_->Delete(3, Kind::kContent), kXpOk);
  EXPECT_EQ(AddContent(1), 3);
  EXPECT_EQ(GuidOf(3), 5);
  ExpectSound();
}

TEST_F(XdbStore, UpdatesKeepFlagsAndGuid) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t first = AddAlbum("first");
  int32_t second = AddAlbum("second");
  int32_t content = AddContent(first);
  ASSERT_EQ(store_->SetShare(content, 5, true), kXpOk);
  ASSERT_EQ(store_->UpdateContent(content, {kDate + 1, 101, 7, second, 9, 0, 0, 0}), kXpOk);
  ASSERT_EQ(store_->UpdateAlbum(first, {2.5, 4, std::string(200, 'x')}), kXpOk);
  Reopen();
  EXPECT_EQ(store_->GetRecord(content)->content, (XdbContent{kDate + 1, 101, 7, second, 9, 5, 0, 1}));
  EXPECT_EQ(store_->GetRecord(first)->album, (XdbAlbum{2.5, 4, std::string(200, 'x')}));
  EXPECT_EQ(Found(*store_, &::XdbStore::ContentsOfAlbum, first), IDs{});
  EXPECT_EQ(Found(*store_, &::XdbStore::ContentsOfAlbum, second), IDs{content});
  ExpectSound();
}

// Updates of an album read back at once; the record file takes the album
// once, at the flush: a title that grows with each update moves the record
// to the end of the file once, not at each update.
TEST_F(XdbStore, AnAlbumUpdatedManyTimesIsWrittenOnceAtTheFlush) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum("a");
  int32_t gone = AddAlbum("gone");
  ASSERT_EQ(store_->Flush(), kXpOk);
  const auto before = static_cast<int64_t>(fs::file_size(folder_ / "XDB.DAT"));
  constexpr int kUpdates = 8;
  constexpr size_t kTitleStep = 20;
  XdbAlbum latest;
  std::vector<int32_t> contents;
  for (int update = 1; update <= kUpdates; ++update) {
    latest = {kDate + update, 3, std::string(kTitleStep * static_cast<size_t>(update), 't')};
    ASSERT_EQ(store_->UpdateAlbum(album, latest), kXpOk);
    ASSERT_EQ(store_->UpdateAlbum(gone, latest), kXpOk);
    EXPECT_EQ(store_->GetRecord(album)->album, latest) << update;
    if (update == 1) {
      contents.push_back(AddContent(album));
    }
  }
  ASSERT_EQ(store_->Delete(gone, Kind::kAlbum), kXpOk);
  ASSERT_EQ(store_->Flush(), kXpOk);
  // One content atom and one album atom: header, date, preference, title
  // and its NUL.
  const int64_t contentAtom = 12 + 36;
  const int64_t albumAtom = 12 + 8 + 4 + static_cast<int64_t>(latest.title.size()) + 1;
  EXPECT_EQ(static_cast<int64_t>(fs::file_size(folder_ / "XDB.DAT")), before + contentAtom + albumAtom);
  ExpectSound();
  Reopen();
  EXPECT_EQ(store_->GetRecord(album)->album, latest);
  EXPECT_FALSE(store_->GetRecord(gone).has_value());
  EXPECT_EQ(Found(*store_, &::XdbStore::ContentsOfAlbum, album), contents);
  ExpectSound();
}

// Flush and Close write an album update; a store dropped without either
// keeps none of it.
TEST_F(XdbStore, AnAlbumUpdateReachesTheFileByFlushOrClose) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum("first");
  struct Step {
    const char* title;
    bool (*end)(::XdbStore&);
    const char* found;
  };
  const Step steps[] = {
      {"flushed", [](::XdbStore& store) { return store.Flush() == kXpOk; }, "flushed"},
      {"closed", [](::XdbStore& store) { return store.Close() == kXpOk; }, "closed"},
      {"dropped", [](::XdbStore&) { return true; }, "closed"},
  };
  for (const Step& step : steps) {
    ASSERT_EQ(store_->UpdateAlbum(album, {kDate, 3, step.title}), kXpOk) << step.title;
    ExpectSound();
    ASSERT_TRUE(step.end(*store_)) << step.title;
    store_ = std::make_unique<::XdbStore>(machine_->Machine());
    ASSERT_EQ(Open(folder_), ::XdbStore::kOpened) << step.title;
    EXPECT_EQ(store_->GetRecord(album)->album.title, step.found) << step.title;
    ExpectSound();
  }
}

TEST_F(XdbStore, DerivedFilesAreRebuiltWithoutTouchingTheRecords) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum();
  for (int i = 0; i < 6; ++i) {
    AddContent(album, i);
  }
  ASSERT_EQ(store_->Delete(3, Kind::kContent), kXpOk);
  ASSERT_EQ(store_->SetShare(4, 1, true), kXpOk);
  std::vector<IDs> before = Searches();
  ASSERT_EQ(store_->Close(), kXpOk);
  Bytes records = ReadDisk(folder_ / "XDB.DAT");
  for (const char* name : kDerived) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::remove(folder_ / name));
    ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
    EXPECT_TRUE(fs::exists(folder_ / name));
    EXPECT_EQ(Searches(), before);
    ExpectSound();
    ASSERT_EQ(store_->Close(), kXpOk);
    EXPECT_EQ(ReadDisk(folder_ / "XDB.DAT"), records);
  }
}

TEST_F(XdbStore, FoldersThatAreNotOursAreLeftAlone) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  AddContent(AddAlbum());
  ASSERT_EQ(store_->Close(), kXpOk);
  for (const char* essential : {"XDB.DAT", "IDS.BLK"}) {
    SCOPED_TRACE(essential);
    fs::path copy = Dir(std::string("without-") + essential);
    fs::copy(folder_, copy);
    fs::remove(copy / essential);
    Snapshot before = SnapshotOf(copy);
    EXPECT_EQ(Open(copy), ::XdbStore::kNotOurs);
    EXPECT_EQ(SnapshotOf(copy), before);
  }
  fs::path camera = Dir("camera");
  WriteDisk(camera / "OAI.IND", "camera index");
  WriteDisk(camera / "X.DAT", "camera data");
  Snapshot before = SnapshotOf(camera);
  EXPECT_EQ(Open(camera), ::XdbStore::kNotOurs);
  EXPECT_EQ(SnapshotOf(camera), before);

  fs::path damaged = Dir("damaged");
  WriteDisk(damaged / "XDB.DAT", "not a record file at all");
  WriteDisk(damaged / "IDS.BLK", "nor this");
  before = SnapshotOf(damaged);
  EXPECT_EQ(Open(damaged), ::XdbStore::kNotOurs);
  EXPECT_EQ(SnapshotOf(damaged), before);

  EXPECT_EQ(Open(Root() / "missing"), ::XdbStore::kNoFolder);
  WriteDisk(Root() / "plain", "x");
  EXPECT_EQ(Open(Root() / "plain"), ::XdbStore::kNoFolder);
  EXPECT_FALSE(store_->IsOpen());

  WriteDisk(folder_ / "X.DAT", "foreign");
  ASSERT_EQ(Open(folder_.string() + "/"), ::XdbStore::kOpened);
  AddAlbum();
  ASSERT_EQ(store_->Close(), kXpOk);
  EXPECT_EQ(ReadDisk(folder_ / "X.DAT"), Bytes({'f', 'o', 'r', 'e', 'i', 'g', 'n'}));
}

// The open's one pass over the record file keeps every refusal of a
// record that cannot be the store's, and writes nothing then.
TEST_F(XdbStore, RecordsThatCannotBeOursMakeTheFolderNotOurs) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  AddAlbum("album");
  ASSERT_EQ(store_->Close(), kXpOk);
  const Bytes sound = ReadDisk(folder_ / "XDB.DAT");
  // The album's atom ends the file: header, date, preference, "album", NUL.
  constexpr size_t kAlbumAtom = 12 + 8 + 4 + 5 + 1;
  const size_t album = sound.size() - kAlbumAtom;
  auto word = [&](size_t at, uint32_t value, bool bigEndian) {
    Bytes bytes = sound;
    for (size_t i = 0; i < 4; ++i) {
      bytes[at + i] = static_cast<uint8_t>(value >> (8 * (bigEndian ? 3 - i : i)));
    }
    return bytes;
  };
  Bytes twice = sound;
  twice.insert(twice.end(), sound.begin() + static_cast<std::ptrdiff_t>(album), sound.end());
  Bytes noNul = sound;
  noNul.back() = 'x';
  // A content atom {32, "CONT", ID 9} with 20 bytes of its 36.
  Bytes shortContent = sound;
  const Bytes contentHeader = {0, 0, 0, 32, 'C', 'O', 'N', 'T', 9, 0, 0, 0};
  shortContent.insert(shortContent.end(), contentHeader.begin(), contentHeader.end());
  shortContent.resize(shortContent.size() + 20, 0);
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"an unknown record type", word(album + 4, 0x58585858, true)},
      {"ID 0", word(album + 8, 0, false)},
      {"an ID beyond the limit", word(album + 8, ::XdbStore::kDefaultLimit + 1, false)},
      {"an ID twice", twice},
      {"a title without its NUL", noNul},
      {"a content too short for its fields", shortContent},
      {"an atom running past the end", word(album, kAlbumAtom + 1, true)},
      {"an atom shorter than its header", word(album, 8, true)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::path copy = Dir(std::string("crafted-") + std::to_string(&c - cases));
    fs::copy(folder_, copy);
    WriteDisk(copy / "XDB.DAT", std::string(c.bytes.begin(), c.bytes.end()));
    Snapshot before = SnapshotOf(copy);
    EXPECT_EQ(Open(copy), ::XdbStore::kNotOurs);
    EXPECT_FALSE(store_->IsOpen());
    EXPECT_EQ(SnapshotOf(copy), before);
  }
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  EXPECT_EQ(store_->GetRecord(1)->album.title, "album");
}

TEST_F(XdbStore, CopiedAndRenamedFolderOpensAsItWas) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum("trip");
  AddContent(album);
  ASSERT_EQ(store_->Flush(), kXpOk);
  // Unflushed: a copy made now holds the last flush.
  AddContent(album);
  fs::path copy = Root() / "COPY";
  fs::copy(folder_, copy);
  for (const auto& entry : fs::directory_iterator(copy)) {
    Bytes bytes = ReadDisk(entry.path());
    std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find(folder_.string()), std::string::npos) << entry.path();
  }
  fs::rename(copy, Root() / "RENAMED");
  ::XdbStore other(machine_->Machine());
  ASSERT_EQ(OpenAt(other, Root() / "RENAMED"), ::XdbStore::kOpened);
  EXPECT_EQ(Found(other, &::XdbStore::AllContents).size(), 1U);
  EXPECT_EQ(other.GetRecord(album)->album.title, "trip");
  EXPECT_EQ(other.Check(), std::vector<std::string>{});
  EXPECT_EQ(other.Close(), kXpOk);
  EXPECT_EQ(Found(*store_, &::XdbStore::AllContents).size(), 2U);
}

TEST_F(XdbStore, ReopenFollowsTheRecordFileAsItIsOnDisk) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t first = AddAlbum("first");
  ASSERT_EQ(store_->Close(), kXpOk);
  const Snapshot older = SnapshotOf(folder_);
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t second = AddAlbum("second");
  int32_t content = AddContent(second);
  ASSERT_EQ(store_->UpdateAlbum(first, {kDate, 3, "renamed"}), kXpOk);
  const std::vector<IDs> newer = Searches();
  Reopen();
  EXPECT_EQ(store_->GetRecord(first)->album, (XdbAlbum{kDate, 3, "renamed"}));
  EXPECT_EQ(store_->GetRecord(content)->content.albumID, second);
  EXPECT_EQ(Searches(), newer);
  ExpectSound();
  ASSERT_EQ(store_->Close(), kXpOk);
  // The files as they were before the second album, put back behind the
  // store's back.
  for (const auto& [name, bytes] : older) {
    WriteDisk(folder_ / name, std::string(bytes.begin(), bytes.end()));
  }
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  EXPECT_EQ(store_->GetRecord(first)->album.title, "first");
  EXPECT_FALSE(store_->GetRecord(second).has_value());
  EXPECT_FALSE(store_->GetRecord(content).has_value());
  EXPECT_EQ(Found(*store_, &::XdbStore::AllAlbums), IDs{first});
  ExpectSound();
}

TEST_F(XdbStore, SecondStoreOnAFolderClosesTheFirst) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum();
  ASSERT_EQ(store_->Flush(), kXpOk);
  AddContent(album);
  ::XdbStore second(machine_->Machine());
  ASSERT_EQ(OpenAt(second, folder_), ::XdbStore::kOpened);
  EXPECT_FALSE(store_->IsOpen());
  EXPECT_EQ(store_->Flush(), kXpErrNotOpen);
  EXPECT_EQ(Found(second, &::XdbStore::AllAlbums), IDs{album});
  EXPECT_EQ(Found(second, &::XdbStore::AllContents), IDs{});
  EXPECT_EQ(second.Check(), std::vector<std::string>{});
}

TEST_F(XdbStore, DeleteDatabaseRemovesOnlyOurFiles) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  WriteDisk(folder_ / "X.DAT", "foreign");
  EXPECT_EQ(store_->DeleteDatabase(folder_.string()), kXpErrAlreadyOpen);
  ASSERT_EQ(store_->Close(), kXpOk);
  ASSERT_EQ(store_->DeleteDatabase(folder_.string()), kXpOk);
  EXPECT_EQ(SnapshotOf(folder_), (Snapshot{{"X.DAT", {'f', 'o', 'r', 'e', 'i', 'g', 'n'}}}));
}

TEST_F(XdbStore, DroppedIndexIsWrittenWholeAgainAndSearchesStayRight) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t keep = AddAlbum("keep");
  int32_t drop = AddAlbum("drop");
  int32_t content = AddContent(keep);
  ASSERT_EQ(store_->Flush(), kXpOk);
  ASSERT_TRUE(fs::remove(folder_ / "OAI.IND"));
  ASSERT_EQ(store_->Delete(drop, Kind::kAlbum), kXpOk);
  EXPECT_EQ(Found(*store_, &::XdbStore::AllAlbums), IDs{keep});
  EXPECT_EQ(Found(*store_, &::XdbStore::ContentsOfAlbum, keep), IDs{content});
  ExpectSound();
  ASSERT_EQ(store_->Close(), kXpOk);
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  EXPECT_EQ(Found(*store_, &::XdbStore::AllAlbums), IDs{keep});
  EXPECT_EQ(Found(*store_, &::XdbStore::ContentsOfAlbum, keep), IDs{content});
  ExpectSound();
}

TEST_F(XdbStore, CloseWithoutChangesWritesNothing) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  AddContent(AddAlbum());
  Reopen();
  EXPECT_EQ(Found(*store_, &::XdbStore::AllContents).size(), 1U);
  ExpectSound();
  testsupport::FaultInjection faults;
  int writes = faults.Add(testsupport::Fault(testsupport::SysCall::kWrite, folder_.string()).Errno(EIO));
  int opens =
      faults.Add(testsupport::Fault(testsupport::SysCall::kOpen, folder_.string()).Errno(EIO).ForWriting());
  EXPECT_EQ(store_->Close(), kXpOk);
  EXPECT_EQ(faults.Hits(writes) + faults.Hits(opens), 0);
}

TEST_F(XdbStore, FullMediumFailsFlushAndALaterFlushKeepsEverything) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum();
  ASSERT_EQ(store_->Flush(), kXpOk);
  IDs added = {AddContent(album), AddContent(album)};
  Snapshot before = SnapshotOf(folder_);
  {
    testsupport::FaultInjection faults;
    faults.Add(testsupport::Fault(testsupport::SysCall::kWrite, (folder_ / "XDB.JN").string())
                   .Errno(ENOSPC)
                   .AfterBytes(100));
    EXPECT_NE(store_->Flush(), kXpOk);
  }
  EXPECT_EQ(SnapshotOf(folder_), before);
  EXPECT_EQ(Found(*store_, &::XdbStore::AllContents), added);
  ASSERT_EQ(store_->Flush(), kXpOk);
  ::XdbStore copy(machine_->Machine());
  fs::copy(folder_, Root() / "COPY");
  ASSERT_EQ(OpenAt(copy, Root() / "COPY"), ::XdbStore::kOpened);
  EXPECT_EQ(Found(copy, &::XdbStore::AllContents), added);
  EXPECT_EQ(copy.Check(), std::vector<std::string>{});
}

TEST_F(XdbStore, FailureWhileApplyingIsReplayedAtTheNextOpen) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum();
  ASSERT_EQ(store_->Flush(), kXpOk);
  int32_t content = AddContent(album);
  {
    testsupport::FaultInjection faults;
    faults.Add(testsupport::Fault(testsupport::SysCall::kWrite, (folder_ / "GUID.IND").string()).Errno(EIO));
    EXPECT_EQ(store_->Flush(), kXpOk) << "committed";
    EXPECT_TRUE(store_->LastCompletion().pending);
    EXPECT_EQ(store_->LastCompletion().failure.call, "write");
  }
  EXPECT_TRUE(fs::exists(folder_ / "XDB.JNL"));
  store_ = std::make_unique<::XdbStore>(machine_->Machine());
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  EXPECT_FALSE(fs::exists(folder_ / "XDB.JNL"));
  EXPECT_EQ(Found(*store_, &::XdbStore::AllContents), IDs{content});
  ExpectSound();
}

TEST_F(XdbStore, FillsTheRealLimit) {
  // Both kinds share the IDs: an album first in each run of kRun IDs, then
  // its contents (many albums keep each album's index entry short).
  constexpr int32_t kRun = 1000;
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = 0;
  for (int32_t expected = 1; expected <= ::XdbStore::kDefaultLimit; ++expected) {
    if (expected % kRun == 1) {
      album = AddAlbum();
      ASSERT_EQ(album, expected);
      continue;
    }
    ASSERT_EQ(AddContent(album, expected % 9999), expected);
  }
  EXPECT_EQ(AddContent(album), 0);
  EXPECT_EQ(AddAlbum(), 0);
  constexpr int32_t kAlbums = ::XdbStore::kDefaultLimit / kRun;
  EXPECT_EQ(Found(*store_, &::XdbStore::AllAlbums).size(), static_cast<size_t>(kAlbums));
  EXPECT_EQ(Found(*store_, &::XdbStore::AllContents).size(), static_cast<size_t>(::XdbStore::kDefaultLimit - kAlbums));
  EXPECT_EQ(Found(*store_, &::XdbStore::ContentsOfAlbum, album).size(), static_cast<size_t>(kRun - 1));
  ExpectSound();
}

TEST_F(XdbStore, BigEndianDatabaseOpensAndWorks) {
  store_->SetByteOrder(::XdbStore::kBigEndian);
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum();
  int32_t content = AddContent(album);
  store_->SetByteOrder(::XdbStore::kLittleEndian);
  Reopen();
  EXPECT_EQ(Found(*store_, &::XdbStore::ContentsOfAlbum, album), IDs{content});
  EXPECT_EQ(Found(*store_, &::XdbStore::GuidEqual, 1), IDs{content});
  ExpectSound();
}

TEST_F(XdbStore, NewerFormatIsNotOurs) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  AddAlbum();
  ASSERT_EQ(store_->Close(), kXpOk);
  Bytes records = ReadDisk(folder_ / "XDB.DAT");
  // The head's flags word, format version 1 over byte order 12, in either
  // byte order; the version becomes 2.
  const Bytes little = {0x0C, 0x00, 0x01, 0x00};
  const Bytes big = {0x00, 0x01, 0x00, 0x0C};
  auto at = std::search(records.begin(), records.end(), little.begin(), little.end());
  if (at != records.end()) {
    at[2] = 0x02;
  } else {
    at = std::search(records.begin(), records.end(), big.begin(), big.end());
    ASSERT_NE(at, records.end());
    at[1] = 0x02;
  }
  {
    std::ofstream out(folder_ / "XDB.DAT", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(records.data()), static_cast<std::streamsize>(records.size()));
  }
  Snapshot before = SnapshotOf(folder_);
  EXPECT_EQ(Open(folder_), ::XdbStore::kNotOurs);
  EXPECT_EQ(SnapshotOf(folder_), before);
}

TEST_F(XdbStore, SortingRanksFollowGuidsAndAlbums) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t second = AddAlbum();
  int32_t first = AddAlbum();
  // IDs 3 to 7, then freed and taken again out of order, so that guid
  // order differs from ID order.
  for (int i = 0; i < 5; ++i) {
    AddContent(second);
  }
  for (int32_t id : {6, 4, 3}) {
    ASSERT_EQ(store_->Delete(id, Kind::kContent), kXpOk);
  }
  IDs readded;
  for (int i = 0; i < 3; ++i) {
    readded.push_back(AddContent(i == 1 ? first : second));
  }
  ASSERT_EQ(readded, (IDs{3, 4, 6}));
  std::vector<int64_t> ranks;
  ASSERT_EQ(store_->SortingRanks(::XdbStore::SortKey::kGuid, &ranks), kXpOk);
  IDs byRank = Found(*store_, &::XdbStore::AllContents);
  std::sort(byRank.begin(), byRank.end(), [&](int32_t a, int32_t b) { return ranks.at(a) < ranks.at(b); });
  IDs byGuid = Found(*store_, &::XdbStore::AllContents);
  std::sort(byGuid.begin(), byGuid.end(), [&](int32_t a, int32_t b) { return GuidOf(a) < GuidOf(b); });
  EXPECT_EQ(byRank, byGuid);
  EXPECT_EQ(byGuid, (IDs{5, 7, 3, 4, 6}));
  EXPECT_EQ(ranks.at(static_cast<size_t>(first)), -1);

  ASSERT_EQ(store_->SortingRanks(::XdbStore::SortKey::kAlbumID, &ranks), kXpOk);
  EXPECT_LT(ranks.at(3), ranks.at(4));
  EXPECT_EQ(ranks.at(3), ranks.at(5));
}

TEST_F(XdbStore, SetsSortByGuidAndAlbumThroughTheDatabase) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t one = AddAlbum();
  int32_t two = AddAlbum();
  for (int i = 0; i < 5; ++i) {
    AddContent(one);
  }
  for (int32_t id : {6, 4, 3}) {
    ASSERT_EQ(store_->Delete(id, Kind::kContent), kXpOk);
  }
  for (int i = 0; i < 3; ++i) {
    AddContent(i == 1 ? two : one);
  }
  ::XdbStore::Found set;
  ASSERT_EQ(store_->AllContents(&set), kXpOk);
  IDs ids;
  ASSERT_EQ(set->Ids(&ids), kXpOk);
  EXPECT_EQ(ids, (IDs{3, 4, 5, 6, 7}));
  ASSERT_EQ(set->Sort({::XdbStore::kGuidKey}), kXpOk);
  ASSERT_EQ(set->Ids(&ids), kXpOk);
  EXPECT_EQ(ids, (IDs{5, 7, 3, 4, 6}));
  // Content 4 is the only one in album 2; within an album, guid order.
  ASSERT_EQ(set->Sort({::XdbStore::kAlbumKey, ::XdbStore::kGuidKey}), kXpOk);
  ASSERT_EQ(set->Ids(&ids), kXpOk);
  EXPECT_EQ(ids, (IDs{5, 7, 3, 6, 4}));
  std::vector<fsk::Value> records;
  ASSERT_EQ(set->Records(&records), kXpOk);
  ASSERT_EQ(records.size(), 5U);
  {
    fsk::HostBracket bracket(machine_->Machine());
    FskMachine* the = machine_->Machine();
    EXPECT_EQ(fsk::ToInteger(the, fsk::Get(the, records[0], "id")), 3);
    EXPECT_EQ(fsk::ToString(the, fsk::Get(the, records[0], "kind")), "content");
    EXPECT_EQ(fsk::ToInteger(the, fsk::Get(the, records[0], "guid")), GuidOf(3));
    EXPECT_EQ(fsk::ToInteger(the, fsk::Get(the, records[1], "albumID")), two);
  }
  // An insertion after the sort is seen by the next one.
  int32_t last = AddContent(two);
  ASSERT_EQ(store_->AllContents(&set), kXpOk);
  ASSERT_EQ(set->Sort({::XdbStore::kAlbumKey, ::XdbStore::kGuidKey}), kXpOk);
  ASSERT_EQ(set->Ids(&ids), kXpOk);
  EXPECT_EQ(ids, (IDs{5, 7, 3, 6, 4, last}));
  // A set that outlives its store sorts by nothing.
  store_.reset();
  ASSERT_EQ(set->Sort({::XdbStore::kGuidKey}), kXpOk);
  ASSERT_EQ(set->Ids(&ids), kXpOk);
  EXPECT_EQ(ids, (IDs{3, 4, 5, 6, 7, last}));
}

TEST_F(XdbStore, DataRowsHoldTheDayKeyAndMonthsFollowIt) {
  struct Case {
    double date;
    uint32_t dayKey;
  };
  const Case cases[] = {
      {kDate, 20090315},            // 2009-03-15 00:00:00 UTC
      {1238543999999.0, 20090331},  // the last millisecond of March
      {1238544000000.0, 20090401},  // the first of April
      {-1.0, 19691231},             // just before 1970
      {std::nan(""), 0},            // no day
      {1e300, 0},
  };
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum();
  std::map<int32_t, uint32_t> expected;
  for (const Case& entry : cases) {
    int32_t id = 0;
    ASSERT_EQ(store_->AddContent({entry.date, 100, 1, album, 0, 0, 0, 0}, &id), kXpOk);
    expected[id] = entry.dayKey;
  }
  EXPECT_EQ(Found(*store_, &::XdbStore::InMonth, 2009, 3), (IDs{2, 3}));
  EXPECT_EQ(Found(*store_, &::XdbStore::InMonth, 2009, 4), (IDs{4}));
  EXPECT_EQ(Found(*store_, &::XdbStore::InMonth, 1969, 12), (IDs{5}));
  EXPECT_EQ(Found(*store_, &::XdbStore::InMonth, 2009, 13), IDs{});
  EXPECT_EQ(Found(*store_, &::XdbStore::InMonth, 0, 0), IDs{});
  ExpectSound();
  ASSERT_EQ(store_->Close(), kXpOk);
  ::XdbDataRows rows(machine_->Machine());
  ASSERT_EQ(rows.Open((folder_ / "DATA.BLK").string()), kXpOk);
  for (const auto& [id, dayKey] : expected) {
    uint32_t found = 1;
    EXPECT_EQ(rows.GetField(id, 3, &found), kXpOk);
    EXPECT_EQ(found, dayKey) << "ID " << id;
  }
  EXPECT_EQ(rows.Close(), kXpOk);
}

TEST_F(XdbStore, SearchesTellCollidingRowsApart) {
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  int32_t album = AddAlbum();
  int32_t id = 0;
  // folder * 10000 + file is 10000 for both.
  ASSERT_EQ(store_->AddContent({kDate, 1, 0, album, 0, 0, 0, 0}, &id), kXpOk);
  ASSERT_EQ(store_->AddContent({kDate, 0, 10000, album, 0, 0, 0, 0}, &id), kXpOk);
  ASSERT_EQ(store_->SetFavorite(2, 5, true), kXpOk);
  ASSERT_EQ(store_->SetShare(3, 6, true), kXpOk);
  struct Case {
    const char* name;
    IDs found;
    IDs expected;
  };
  const Case cases[] = {
      {"dcf 1/0", Found(*store_, &::XdbStore::Dcf, 1, 0), IDs{2}},
      {"dcf 0/10000", Found(*store_, &::XdbStore::Dcf, 0, 10000), IDs{3}},
      {"dcf 0/0: albums have no DCF number", Found(*store_, &::XdbStore::Dcf, 0, 0), IDs{}},
      {"favourite 0: only contents", Found(*store_, &::XdbStore::FavoriteEqual, 0), IDs{3}},
      {"favourite 5", Found(*store_, &::XdbStore::FavoriteEqual, 5), IDs{2}},
      {"share 2", Found(*store_, &::XdbStore::ShareAny, 2), IDs{3}},
      {"share 1", Found(*store_, &::XdbStore::ShareAny, 1), IDs{}},
      {"album range 1-1", Found(*store_, &::XdbStore::AlbumRange, 1, 1), IDs{2, 3}},
      {"album range 2-1", Found(*store_, &::XdbStore::AlbumRange, 2, 1), IDs{}},
      {"guid 1.5", Found(*store_, &::XdbStore::GuidEqual, 1.5), IDs{}},
      {"guid 2", Found(*store_, &::XdbStore::GuidEqual, 2), IDs{3}},
  };
  for (const Case& entry : cases) {
    EXPECT_EQ(entry.found, entry.expected) << entry.name;
  }
  ASSERT_EQ(store_->Close(), kXpOk);
  ::XdbStore::Found set;
  EXPECT_EQ(store_->AllContents(&set), kXpErrNotOpen);
  EXPECT_EQ(set, nullptr);
  std::vector<int64_t> ranks;
  EXPECT_EQ(store_->SortingRanks(::XdbStore::SortKey::kGuid, &ranks), kXpErrNotOpen);
}

TEST_F(XdbStore, EnvironmentSetsTheTestOptions) {
  SetEnv(::XdbStore::kLimitVariable, "3");
  SetEnv(::XdbStore::kByteOrderVariable, "8");
  store_ = std::make_unique<::XdbStore>(machine_->Machine());
  EXPECT_EQ(store_->Limit(), 3);
  ASSERT_EQ(Open(folder_), ::XdbStore::kOpened);
  EXPECT_EQ(AddAlbum(), 1);
  EXPECT_EQ(AddContent(1), 2);
  EXPECT_EQ(AddContent(1), 3);
  EXPECT_EQ(AddContent(1), 0);
  ASSERT_EQ(store_->Close(), kXpOk);
  // The head's flags word: format version 1 over byte order 8.
  Bytes records = ReadDisk(folder_ / "XDB.DAT");
  const Bytes big = {0x00, 0x01, 0x00, 0x08};
  EXPECT_NE(std::search(records.begin(), records.end(), big.begin(), big.end()), records.end());

  for (const char* wrong : {"", "0", "-4", "12x", "99999999999999999999"}) {
    SetEnv(::XdbStore::kLimitVariable, wrong);
    SetEnv(::XdbStore::kByteOrderVariable, wrong);
    ::XdbStore store(machine_->Machine());
    EXPECT_EQ(store.Limit(), ::XdbStore::kDefaultLimit) << wrong;
  }
  SetEnv(::XdbStore::kByteOrderVariable, "7");
  ::XdbStore store(machine_->Machine());
  fs::path other = Dir("other");
  ASSERT_EQ(OpenAt(store, other), ::XdbStore::kOpened);
  ASSERT_EQ(store.Close(), kXpOk);
  records = ReadDisk(other / "XDB.DAT");
  const Bytes little = {0x00, 0x01, 0x00, 0x0C};
  EXPECT_NE(std::search(records.begin(), records.end(), little.begin(), little.end()), records.end());
}

}  // namespace
