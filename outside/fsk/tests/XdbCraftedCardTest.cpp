// Cards made to lead the store outside its folder: links, folders and
// pipes in "DBFILES", foreign folders with a journal, journals that name
// what no flush writes. Each open runs in a child process whose files may
// not grow past a small bound and which a watchdog ends, and nothing
// outside the card (nor, when the store does not take the card, on it) may
// change.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskFile.h"
#include "outside/fsk/dbmanager/XdbJournal.h"
#include "outside/fsk/dbmanager/XdbJournaledFolder.h"
#include "outside/fsk/dbmanager/XdbStore.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Journal = ::XdbJournal;
// Every entry under a folder, as lstat and the bytes or link target show it.
using TreeState = std::map<std::string, std::string>;

constexpr rlim_t kLargestChildFile = 64 << 20;
constexpr unsigned kWatchdogSeconds = 60;
constexpr long kLargestChildKiB = 512 * 1024;
constexpr int64_t kTebibyte = int64_t{1} << 40;
// The child's exit codes.
constexpr int kOpenFailedAsDamaged = 20;
constexpr int kOpenFailedOtherwise = 21;
constexpr int kNoMachine = 22;

Bytes ReadDisk(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteDisk(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string Describe(const fs::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return "missing";
  }
  std::string text = std::to_string(status.st_mode) + " " + std::to_string(status.st_size) + " " +
                     std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
  if (S_ISLNK(status.st_mode)) {
    return text + " -> " + fs::read_symlink(path).string();
  }
  if (S_ISREG(status.st_mode)) {
    Bytes bytes = ReadDisk(path);
    return text + " #" + std::to_string(std::hash<std::string>()(std::string(bytes.begin(), bytes.end())));
  }
  return text;
}

TreeState StateOf(const fs::path& root) {
  TreeState state;
  state["."] = Describe(root);
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
       it.increment(error)) {
    state[fs::relative(it->path(), root).string()] = Describe(it->path());
  }
  return state;
}

// Opens folder in a child whose files cannot grow past kLargestChildFile
// and which a watchdog ends: the open's status, kOpenFailedAsDamaged for
// a refused journal, kOpenFailedOtherwise, or -1 when the child did not
// end by itself.
int OpenInChild(const fs::path& folder) {
  testsupport::ForkedChild child;
  bool started = child.Start([&](testsupport::ChildChannel&) {
    rlimit files{kLargestChildFile, kLargestChildFile};
    (void)::setrlimit(RLIMIT_FSIZE, &files);
    (void)::alarm(kWatchdogSeconds);
    fsktest::GrammarMachine machine;
    if (machine.Machine() == nullptr) {
      return kNoMachine;
    }
    ::XdbStore store(machine.Machine());
    int status = 0;
    XpClearSysFailure();
    XpResult result = store.Open(folder.string(), &status);
    if (result == kXpErrInvalidFile && XpLastSysFailure().call == "replay") {
      return kOpenFailedAsDamaged;
    }
    if (XpFailed(result)) {
      return kOpenFailedOtherwise;
    }
    // Exit codes hold a byte: the status as its distance from kOpened.
    return status - ::XdbStore::kOpened;
  });
  int code = started ? child.Wait() : -1;
  return code >= 0 && code < kOpenFailedAsDamaged ? code + ::XdbStore::kOpened : code;
}

class XdbCraftedCard : public testsupport::HermeticTest {
 public:
  void SetUp() override {
    HermeticTest::SetUp();
    outside_ = Dir("outside");
    WriteDisk(outside_ / "victim", BytesOf("the user's own file"));
    fs::create_directory(outside_ / "folder");
    WriteDisk(outside_ / "folder" / "kept", BytesOf("kept"));
    MakeDatabase(Dir("made") / "DBFILES");
  }

  // A sound database of one album and one content in folder; the rows
  // make one outside the card too.
  void MakeDatabase(const fs::path& folder) {
    fs::create_directories(folder);
    fsktest::GrammarMachine machine;
    ASSERT_NE(machine.Machine(), nullptr) << machine.LoadError();
    ::XdbStore store(machine.Machine());
    int status = 0;
    ASSERT_EQ(store.Open(folder.string(), &status), kXpOk);
    ASSERT_EQ(status, ::XdbStore::kOpened);
    int32_t album = 0;
    ASSERT_EQ(store.AddAlbum({0, 3, "trip"}, &album), kXpOk);
    int32_t content = 0;
    ASSERT_EQ(store.AddContent({1237075200000.0, 100, 1, album, 1, 0, 0, 0}, &content), kXpOk);
    ASSERT_EQ(store.Close(), kXpOk);
  }

  // A fresh card whose "DBFILES" is a copy of the sound database.
  fs::path CardWithDatabase(const std::string& name) {
    fs::path card = Dir(name);
    fs::copy(Root() / "made" / "DBFILES", card / "DBFILES", fs::copy_options::recursive);
    return card / "DBFILES";
  }

  fs::path outside_;
};

void WriteJournal(const fs::path& folder, const std::vector<Journal::Change>& changes) {
  WriteDisk(folder / Journal::kFileName, Journal::Encode(changes));
}

struct Row {
  const char* name;
  // Makes the card's "DBFILES" (and may add to outside) from a copy of a
  // sound database; returns the folder to open.
  std::function<fs::path(XdbCraftedCard&, const fs::path& dbfiles, const fs::path& outside)> craft;
  int answer;
};

TEST_F(XdbCraftedCard, NothingOutsideTheCardNorOnAFolderNotTakenChanges) {
  const Bytes overwrite = BytesOf("OVERWRITTEN");
  auto writes = [&](const char* name) {
    return std::vector<Journal::Change>{{name, false, static_cast<int64_t>(overwrite.size()), {{0, overwrite}}}};
  };
  const Row rows[] = {
      {"record file replaced by a link",
       [](XdbCraftedCard&, const fs::path& db, const fs::path& out) {
         fs::copy_file(db / "XDB.DAT", out / "XDB.DAT");
         fs::remove(db / "XDB.DAT");
         fs::create_symlink(out / "XDB.DAT", db / "XDB.DAT");
         return db;
       },
       ::XdbStore::kNotOurs},
      {"derived file replaced by a link to the user's file",
       [](XdbCraftedCard&, const fs::path& db, const fs::path& out) {
         fs::remove(db / "DATA.BLK");
         fs::create_symlink(out / "victim", db / "DATA.BLK");
         return db;
       },
       ::XdbStore::kNotOurs},
      {"journal entry for an index that is a link",
       [&](XdbCraftedCard&, const fs::path& db, const fs::path& out) {
         fs::remove(db / "XDB.IND");
         fs::create_symlink(out / "victim", db / "XDB.IND");
         WriteJournal(db, writes("XDB.IND"));
         return db;
       },
       ::XdbStore::kNotOurs},
      {"journal entry for a missing file where a dangling link points out",
       [&](XdbCraftedCard&, const fs::path& db, const fs::path& out) {
         fs::remove(db / "OAI.IND");
         fs::create_symlink(out / "created", db / "OAI.IND");
         WriteJournal(db, writes("OAI.IND"));
         return db;
       },
       ::XdbStore::kNotOurs},
      {"a folder inside",
       [](XdbCraftedCard&, const fs::path& db, const fs::path&) {
         fs::create_directory(db / "SUB");
         return db;
       },
       ::XdbStore::kNotOurs},
      {"a pipe named as a derived file",
       [](XdbCraftedCard&, const fs::path& db, const fs::path&) {
         fs::remove(db / "GUID.IND");
         EXPECT_EQ(::mkfifo((db / "GUID.IND").c_str(), 0600), 0);
         return db;
       },
       ::XdbStore::kNotOurs},
      {"the database folder itself a link to a database with a journal",
       [&](XdbCraftedCard& test, const fs::path& db, const fs::path& out) {
         test.MakeDatabase(out / "DBFILES");
         WriteJournal(out / "DBFILES", writes("XDB.IND"));
         fs::remove_all(db);
         fs::create_directory_symlink(out / "DBFILES", db);
         return db;
       },
       ::XdbStore::kNotOurs},
      {"foreign folder with a complete journal and a partial one",
       [&](XdbCraftedCard&, const fs::path& db, const fs::path&) {
         WriteDisk(db / "XDB.DAT", BytesOf("a camera's own data"));
         WriteJournal(db, writes("XDB.DAT"));
         WriteDisk(db / Journal::kPartName, BytesOf("partial"));
         return db;
       },
       ::XdbStore::kNotOurs},
      {"foreign folder with an incomplete journal",
       [](XdbCraftedCard&, const fs::path& db, const fs::path&) {
         WriteDisk(db / "XDB.DAT", BytesOf("a camera's own data"));
         WriteDisk(db / Journal::kFileName, BytesOf("not a journal"));
         return db;
       },
       ::XdbStore::kNotOurs},
      {"journal growing the record file to a tebibyte",
       [](XdbCraftedCard&, const fs::path& db, const fs::path&) {
         WriteJournal(db, {{"XDB.DAT", false, kTebibyte, {}}});
         return db;
       },
       kOpenFailedAsDamaged},
      {"journal writing a file that is not the store's",
       [&](XdbCraftedCard&, const fs::path& db, const fs::path&) {
         WriteJournal(db, writes("AUTORUN.INF"));
         return db;
       },
       kOpenFailedAsDamaged},
      {"journal removing a file that is not the store's",
       [](XdbCraftedCard&, const fs::path& db, const fs::path&) {
         WriteDisk(db / "PHOTO.JPG", BytesOf("a picture"));
         WriteJournal(db, {{"PHOTO.JPG", true, 0, {}}});
         return db;
       },
       kOpenFailedAsDamaged},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string label = "card" + std::to_string(index++);
    fs::path db = CardWithDatabase(label);
    fs::path outside = Dir(label + "-outside");
    WriteDisk(outside / "victim", BytesOf("the user's own file"));
    fs::path folder = row.craft(*this, db, outside);
    const TreeState card = StateOf(db.parent_path());
    const TreeState beside = StateOf(outside);
    const TreeState elsewhere = StateOf(outside_);
    EXPECT_EQ(OpenInChild(folder), row.answer);
    EXPECT_EQ(StateOf(outside), beside);
    EXPECT_EQ(StateOf(outside_), elsewhere);
    EXPECT_EQ(StateOf(db.parent_path()), card);
  }
  rusage children {};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &children), 0);
  EXPECT_LT(children.ru_maxrss, kLargestChildKiB);
}

// The control: a journal of the store's own files within bounds is still
// replayed at open, so the rows above fail for what they craft.
TEST_F(XdbCraftedCard, AJournalOfTheStoresOwnFilesIsReplayed) {
  fs::path db = CardWithDatabase("card");
  WriteJournal(db, {{"GUID.IND", true, 0, {}}});
  fsktest::GrammarMachine machine;
  ASSERT_NE(machine.Machine(), nullptr) << machine.LoadError();
  ::XdbStore store(machine.Machine());
  int status = 0;
  ASSERT_EQ(store.Open(db.string(), &status), kXpOk);
  EXPECT_EQ(status, ::XdbStore::kOpened);
  EXPECT_EQ(store.Rebuilt(), std::vector<std::string>{"GUID.IND: unreadable, rebuilt"}) << "removed by the replay";
  EXPECT_FALSE(fs::exists(db / Journal::kFileName));
  EXPECT_TRUE(fs::exists(db / "GUID.IND"));
  EXPECT_EQ(store.Close(), kXpOk);
}

// The journaled folder by itself: its files are read, replayed and flushed
// through no link.
TEST_F(XdbCraftedCard, TheJournaledFolderNeverReachesThroughALink) {
  fs::path folder = Dir("DBFILES");
  WriteDisk(folder / "A.DAT", BytesOf("alpha"));
  fs::create_symlink(outside_ / "victim", folder / "L.DAT");
  const TreeState elsewhere = StateOf(outside_);
  {
    XdbJournaledFolder mounted;
    ASSERT_EQ(mounted.Mount(folder.string()), kXpOk);
    FskFile file = nullptr;
    EXPECT_NE(FskFileOpen((folder / "L.DAT").c_str(), kFskFilePermissionReadWrite, &file), 0) << "read in";
    EXPECT_EQ(FskFileCreate((folder / "L.DAT").c_str()), static_cast<int32_t>(XpResultFromErrno(EEXIST)));
    // Read in, then swapped for a link before the flush.
    ASSERT_EQ(FskFileOpen((folder / "A.DAT").c_str(), kFskFilePermissionReadWrite, &file), 0);
    ASSERT_EQ(FskFileWrite(file, 5, "ALPHA", nullptr), 0);
    ASSERT_EQ(FskFileClose(file), 0);
    fs::remove(folder / "A.DAT");
    fs::create_symlink(outside_ / "victim", folder / "A.DAT");
    EXPECT_EQ(mounted.Flush(), kXpOk) << "committed";
    EXPECT_TRUE(mounted.LastCompletion().pending) << "not applied through the link";
    EXPECT_EQ(mounted.LastCompletion().failure.call, "open");
    EXPECT_EQ(mounted.LastCompletion().failure.error, ELOOP);
  }
  EXPECT_EQ(StateOf(outside_), elsewhere);
  XdbJournaledFolder again;
  EXPECT_NE(again.Mount(folder.string()), kXpOk) << "the replay meets the link too";
  EXPECT_TRUE(fs::exists(folder / Journal::kFileName));
  EXPECT_EQ(StateOf(outside_), elsewhere);
}

}  // namespace
