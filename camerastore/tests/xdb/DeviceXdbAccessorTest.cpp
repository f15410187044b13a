#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbAccessorFixture.h"
#include "camerastore/tests/xdb/XdbRefuseExchange.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/tests/fs/FileOpsTestSupport.h"

namespace {

using xdbtest::kBackup;
using xdbtest::kDatabase;
using xdbtest::kWorkCopy;
using xdbtest::Owned;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using testsupport::Fault;
using testsupport::SysCall;

class DeviceXdbAccessor : public xdbtest::AccessorTest {
 protected:
  // The folder, the machine's methods of opening, closing and flushing
  // since the mark.
  std::vector<std::string> Lifecycle() const {
    static const std::set<std::string> kept = {"flush", "deleteIndex", "close", "new Master", "open", "createIndex"};
    std::vector<std::string> methods;
    for (const fsktest::ScriptedCall& call : LoggedCalls()) {
      if (kept.count(call.method) != 0) {
        methods.push_back(call.method);
      }
    }
    return methods;
  }

  // An accessor on a card whose database is "old", with one edit made in
  // the work copy, which is marked "new".
  Owned<XdbAccessor::IXdbAccessor> EditedAccessor() {
    MakeDatabase(kDatabase, "old");
    Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
    AnswerOpens(1);
    scripted_->Answer("Master.createAlbum", ScriptedAnswer::Return(ScriptedValue::Integer(5)));
    Owned<XdbAccessor::IAlbumInfo> album(accessor->CreateAlbum(u"Trip"));
    EXPECT_NE(album, nullptr);
    fstest::WriteBytes(Card() / kWorkCopy / "marker", "new");
    Mark();
    return accessor;
  }

  // The card's path of a folder or file; "" is the card's root folder.
  std::string OnCard(const std::string& relative) const {
    return relative.empty() ? Card().string() : (Card() / relative).string();
  }

  // The seam's entries that swap folders or sync the card's root, with the
  // card's root written as "<root>/".
  std::vector<std::string> SwapEntries(const std::vector<std::string>& entries) const {
    const std::string root = fstest::ToUtf8(CardRoot());
    std::vector<std::string> kept;
    for (std::string entry : entries) {
      const bool wait = entry.rfind("fsync ", 0) == 0 || entry.rfind("syncfs ", 0) == 0;
      if (wait && entry != "fsync " + root) {
        continue;
      }
      for (size_t at = entry.find(root); at != std::string::npos; at = entry.find(root)) {
        entry.replace(at, root.size(), "<root>/");
      }
      kept.push_back(entry);
    }
    return kept;
  }

  // The marker of the database that the factory opens next.
  std::string MarkerAtNextOpen() {
    Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
    EXPECT_NE(accessor, nullptr);
    EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
    return Marker(kDatabase);
  }

  // The folder of the last open the machine was asked for.
  std::string LastOpened() const {
    std::string folder;
    for (const fsktest::ScriptedCall& call : LoggedCalls()) {
      if (call.method == "open" && !call.arguments.empty()) {
        folder = call.arguments[0].text;
      }
    }
    return folder;
  }

  testsupport::FaultInjection faults_;
};

// The fsyncs that a commit makes before the first one after its swap: none,
// the work copy waits once with the card's file system (syncfs).
constexpr int kSyncsBeforeTheSwap = 0;

TEST_F(DeviceXdbAccessor, CommitWithoutAnEditReopensTheDatabase) {
  MakeDatabase(kDatabase, "old");
  Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
  AnswerOpens(1);
  EXPECT_EQ(accessor->Commit(), 0);
  const std::vector<std::string> expected = {"flush", "deleteIndex", "close", "new Master", "open", "createIndex"};
  EXPECT_EQ(Lifecycle(), expected);
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(Marker(kDatabase), "old");
}

TEST_F(DeviceXdbAccessor, CommitSyncsTheWorkCopyThenSwapsInOneStepOrByTwoRenames) {
  struct Case {
    const char* name;
    // The errno that answers an exchange; 0: the file system makes it.
    int refusal;
    std::vector<std::string> swap;
  };
  const Case cases[] = {
      // The old copy, now the work copy's name, goes without a wait: the
      // factory removes a leftover.
      {"exchange", 0, {"exchange <root>/DBFILES.tmp/ <root>/DBFILES/", "fsync <root>/"}},
      {"no exchange (EINVAL)",
       EINVAL,
       {"exchange <root>/DBFILES.tmp/ <root>/DBFILES/ failed", "rename <root>/DBFILES/ <root>/DBFILES.bak/",
        "fsync <root>/", "rename <root>/DBFILES.tmp/ <root>/DBFILES/", "fsync <root>/"}},
      {"no exchange (ENOSYS)",
       ENOSYS,
       {"exchange <root>/DBFILES.tmp/ <root>/DBFILES/ failed", "rename <root>/DBFILES/ <root>/DBFILES.bak/",
        "fsync <root>/", "rename <root>/DBFILES.tmp/ <root>/DBFILES/", "fsync <root>/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Card());
    Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
    AnswerOpens(1);
    std::optional<xdbtest::RefuseExchange> refuse;
    if (c.refusal != 0) {
      refuse.emplace(c.refusal);
    }
    xdbtest::SeamLog seam;
    EXPECT_EQ(accessor->Commit(), 0);
    EXPECT_TRUE(XpLastSysFailure().Empty()) << XpDescribeSysFailure(XpLastSysFailure());
    EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
    EXPECT_EQ(Marker(kDatabase), "new");
    EXPECT_EQ(LastOpened(), fstest::ToUtf8(FolderPath(kDatabase)));
    const std::vector<std::string>& entries = seam.Entries();
    EXPECT_EQ(SwapEntries(entries), c.swap);
    // One wait for the card's file system puts every file of the work copy,
    // which the store never opened, and the work copy itself on the medium
    // before the first rename; nothing else waits before it.
    const auto swapStart = std::find_if(entries.begin(), entries.end(), [](const std::string& e) {
      return e.rfind("exchange ", 0) == 0 || e.rfind("rename ", 0) == 0;
    });
    const std::vector<std::string> before(entries.begin(), swapStart);
    EXPECT_EQ(before, std::vector<std::string>{"syncfs " + fstest::ToUtf8(FolderPath(kWorkCopy))});
    const size_t rootSyncs = static_cast<size_t>(std::count(c.swap.begin(), c.swap.end(), "fsync <root>/"));
    EXPECT_EQ(seam.Waits(), 1 + rootSyncs);
    EXPECT_TRUE(sleeps_.empty());
  }
}

TEST_F(DeviceXdbAccessor, ABackupThatCannotGoStopsOnlyTheSwapByRenames) {
  struct Case {
    const char* name;
    int refusal;
    bool committed;
  };
  // The exchange does not need the backup's name: a leftover that stays
  // is the factory's to remove.
  const Case cases[] = {{"exchange", 0, true}, {"no exchange", EINVAL, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Card());
    std::filesystem::remove_all(Dir("tmp"));
    Dir("tmp");
    sleeps_.clear();
    Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
    MakeDatabase(kBackup, "older");
    AnswerOpens(1);
    std::optional<xdbtest::RefuseExchange> refuse;
    if (c.refusal != 0) {
      refuse.emplace(c.refusal);
    }
    const std::string backup = (Card() / kBackup).string();
    faults_.Add(Fault(SysCall::kUnlink, backup).Errno(EBUSY));
    faults_.Add(Fault(SysCall::kRmdir, backup).Errno(EBUSY));
    const int32_t result = accessor->Commit();
    EXPECT_EQ(result == 0, c.committed) << result;
    EXPECT_EQ(sleeps_, std::vector<uint32_t>(10, 1000));
    const std::map<std::string, std::string> logs = LogFiles();
    ASSERT_EQ(logs.size(), 10u);
    int32_t number = 0;
    for (const auto& [name, text] : logs) {
      char expectedName[32];
      std::snprintf(expectedName, sizeof expectedName, "_TempK2TLV_%05d.log", number++);
      EXPECT_EQ(name, expectedName);
      const std::string tail = "][renameFolders][remove] " + fstest::ToUtf8(FolderPath(kBackup)) + ". [" +
                               std::to_string(static_cast<int32_t>(kXpErrAccessDenied)) + "]\n";
      ASSERT_GE(text.size(), tail.size()) << text;
      EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << text;
      EXPECT_EQ(text.front(), '[') << text;
      EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }
    EXPECT_EQ(Marker(kDatabase), c.committed ? "new" : "old");
    EXPECT_EQ(Folders(), (std::vector<std::string>{kDatabase, kBackup}));
    faults_.Clear();
    accessor.reset();
    EXPECT_EQ(MarkerAtNextOpen(), c.committed ? "new" : "old");
  }
}

TEST_F(DeviceXdbAccessor, AWorkCopyThatCouldNotMoveIsRemovedAndNeverPlacedLater) {
  xdbtest::ScopedLocale locale("C.UTF-8");
  ASSERT_TRUE(locale.Active());
  Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
  AnswerOpens(1);
  const std::string workCopy = (Card() / kWorkCopy).string();
  faults_.Add(Fault(SysCall::kRename, workCopy).Errno(EACCES).Times(10));
  EXPECT_EQ(accessor->Commit(), static_cast<int32_t>(kXpErrAccessDenied));
  EXPECT_EQ(XpLastSysFailure().call, "rename");
  EXPECT_EQ(XpLastSysFailure().error, EACCES);
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(Marker(kDatabase), "old");
  EXPECT_EQ(LastOpened(), fstest::ToUtf8(FolderPath(kDatabase)));
  EXPECT_EQ(sleeps_, std::vector<uint32_t>(10, 1000));
  const std::map<std::string, std::string> logs = LogFiles();
  ASSERT_EQ(logs.size(), 10u);
  const std::regex line("\\[\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\]\\[renameFolders\\] " +
                        fstest::ToUtf8(FolderPath(kWorkCopy)) + " to " + fstest::ToUtf8(FolderPath(kDatabase)) +
                        "\\. \\[33032\\]\n");
  for (const auto& [name, text] : logs) {
    EXPECT_TRUE(std::regex_match(text, line)) << name << ": " << text;
  }
  accessor.reset();
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(MarkerAtNextOpen(), "old");
}

// One row per failure of a commit through the seam: what Commit returns,
// which call the thread's failure record names, and which database the
// card holds then and at the next open after the release. "old" means the
// edits are gone for good, "new" that they are committed, never both.
TEST_F(DeviceXdbAccessor, ACommitThatFailsLeavesTheOldDatabaseForGoodAndOneThatIsDurableTheNew) {
  struct Rule {
    SysCall call;
    // Below the card's folder; "" is the card's root (and everything in
    // it, so root syncs are picked by their count).
    std::string path;
    int error;
    int fromCall;
    int times;
  };
  struct Case {
    const char* name;
    int refusal;
    std::vector<Rule> rules;
    int32_t result;
    // The failure record: its call and path ("" for none).
    const char* recordCall;
    std::string recordPath;
    std::vector<std::string> folders;
    const char* marker;
  };
  const int rootSync = kSyncsBeforeTheSwap + 1;
  const std::vector<std::string> db = {kDatabase};
  const int32_t eio = static_cast<int32_t>(kXpErrDeviceNotReady);
  const int32_t denied = static_cast<int32_t>(kXpErrAccessDenied);
  const Case cases[] = {
      {"the card's file system does not sync before the swap",
       0,
       {{SysCall::kSyncfs, "DBFILES.tmp", EIO, 1, -1}},
       eio,
       "syncfs",
       "DBFILES.tmp",
       db,
       "old"},
      {"the exchange fails",
       0,
       {{SysCall::kRename, "DBFILES.tmp", EACCES, 1, -1}},
       denied,
       "rename",
       "DBFILES.tmp/",
       db,
       "old"},
      {"the root sync after the exchange fails once",
       0,
       {{SysCall::kFsync, "", EIO, rootSync, 1}},
       eio,
       "fsync",
       "",
       db,
       "old"},
      {"every root sync after the exchange fails",
       0,
       {{SysCall::kFsync, "", EIO, rootSync, -1}},
       eio,
       "fsync",
       "",
       db,
       "old"},
      {"the root sync fails and the exchange cannot be undone",
       0,
       {{SysCall::kFsync, "", EIO, rootSync, 1}, {SysCall::kRename, "DBFILES.tmp", EIO, 2, -1}},
       0,
       "fsync",
       "",
       db,
       "new"},
      {"the old copy cannot be removed after the exchange",
       0,
       {{SysCall::kUnlink, "DBFILES.tmp", EBUSY, 1, -1}},
       0,
       "",
       "",
       {kDatabase, kWorkCopy},
       "new"},
      {"renames: DBFILES cannot move aside", EINVAL, {{SysCall::kRename, "", EACCES, 1, -1}}, denied, "rename",
       "DBFILES/", db, "old"},
      {"renames: the root sync after DBFILES -> DBFILES.bak fails",
       EINVAL,
       {{SysCall::kFsync, "", EIO, rootSync, 1}},
       eio,
       "fsync",
       "",
       db,
       "old"},
      {"renames: DBFILES.tmp -> DBFILES fails",
       EINVAL,
       {{SysCall::kRename, "DBFILES.tmp", EACCES, 1, -1}},
       denied,
       "rename",
       "DBFILES.tmp/",
       db,
       "old"},
      {"renames: the root sync after DBFILES.tmp -> DBFILES fails",
       EINVAL,
       {{SysCall::kFsync, "", EIO, rootSync + 1, 1}},
       eio,
       "fsync",
       "",
       db,
       "old"},
      {"renames: the root sync fails and DBFILES cannot move back",
       EINVAL,
       {{SysCall::kFsync, "", EIO, rootSync + 1, 1}, {SysCall::kRename, "DBFILES.tmp", EIO, 2, -1}},
       0,
       "fsync",
       "",
       db,
       "new"},
      {"renames: the backup cannot be removed",
       EINVAL,
       {{SysCall::kUnlink, "DBFILES.bak", EBUSY, 1, -1}},
       0,
       "",
       "",
       {kDatabase, kBackup},
       "new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Card());
    Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
    AnswerOpens(1);
    std::optional<xdbtest::RefuseExchange> refuse;
    if (c.refusal != 0) {
      refuse.emplace(c.refusal);
    }
    for (const Rule& rule : c.rules) {
      faults_.Add(Fault(rule.call, OnCard(rule.path)).Errno(rule.error).FromCall(rule.fromCall).Times(rule.times));
    }
    EXPECT_EQ(accessor->Commit(), c.result);
    const XpSysFailure failure = XpLastSysFailure();
    EXPECT_EQ(failure.call, c.recordCall) << XpDescribeSysFailure(failure);
    if (!failure.Empty()) {
      EXPECT_EQ(failure.path, OnCard(c.recordPath)) << XpDescribeSysFailure(failure);
    }
    EXPECT_EQ(Folders(), c.folders);
    EXPECT_EQ(Marker(kDatabase), c.marker);
    // The database is open on "DBFILES" again.
    EXPECT_EQ(LastOpened(), fstest::ToUtf8(FolderPath(kDatabase)));
    faults_.Clear();
    refuse.reset();
    accessor.reset();
    EXPECT_EQ(Marker(kDatabase), c.marker);
    EXPECT_EQ(MarkerAtNextOpen(), c.marker);
  }
}

TEST_F(DeviceXdbAccessor, AfterACommittedSwapWhoseReopenFailsTheNextEditMakesANewWorkCopy) {
  Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
  scripted_->Answer("Master.open", ScriptedAnswer::Return(ScriptedValue::Integer(kXdbNotOpened)));
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Marker(kDatabase), "new");
  Mark();
  AnswerOpens(1);
  scripted_->Answer("Master.createAlbum", ScriptedAnswer::Return(ScriptedValue::Integer(6)));
  Owned<XdbAccessor::IAlbumInfo> album(accessor->CreateAlbum(u"Second"));
  ASSERT_NE(album, nullptr);
  EXPECT_EQ(Folders(), (std::vector<std::string>{kDatabase, kWorkCopy}));
  EXPECT_EQ(Marker(kWorkCopy), "new");
  EXPECT_EQ(LastOpened(), fstest::ToUtf8(FolderPath(kWorkCopy)));
  fstest::WriteBytes(Card() / kWorkCopy / "marker", "newer");
  AnswerOpens(1);
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(Marker(kDatabase), "newer");
}

TEST_F(DeviceXdbAccessor, WithoutEditsAReopenThatFailsIsTheCommitsResult) {
  MakeDatabase(kDatabase, "old");
  Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
  scripted_->Answer("Master.open", ScriptedAnswer::Return(ScriptedValue::Integer(kXdbNotOpened)));
  EXPECT_EQ(accessor->Commit(), static_cast<int32_t>(kXpErrGeneric));
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
}

TEST_F(DeviceXdbAccessor, AReleaseAfterAFailedEditRemovesTheWorkCopy) {
  Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
  scripted_->Answer("Master.createAlbum", ScriptedAnswer::Throw("card full"));
  EXPECT_NE(Raised([&] { Owned<XdbAccessor::IAlbumInfo> album(accessor->CreateAlbum(u"Full")); }), kXpOk);
  XpRecordSysFailure("write", "/elsewhere/picture.JPG", ENOSPC);
  accessor.reset();
  // The caller's own failure record is left as it was.
  EXPECT_EQ(XpLastSysFailure().path, "/elsewhere/picture.JPG");
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(MarkerAtNextOpen(), "old");
}

TEST_F(DeviceXdbAccessor, ACommitAfterAFailedEditStillCommitsTheEditsThatWereMade) {
  Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
  scripted_->Answer("Master.createAlbum", ScriptedAnswer::Throw("card full"));
  EXPECT_NE(Raised([&] { Owned<XdbAccessor::IAlbumInfo> album(accessor->CreateAlbum(u"Full")); }), kXpOk);
  AnswerOpens(1);
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Marker(kDatabase), "new");
  accessor.reset();
  EXPECT_EQ(MarkerAtNextOpen(), "new");
}

TEST_F(DeviceXdbAccessor, ReleaseWithoutCommitPlacesTheWorkCopyUnflushed) {
  Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
  accessor.reset();
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(Marker(kDatabase), "new");
  for (const fsktest::ScriptedCall& call : LoggedCalls()) {
    EXPECT_NE(call.method, "flush");
  }
}

TEST_F(DeviceXdbAccessor, ALeftoverWorkCopyWithoutEditsIsNeverSwappedIn) {
  MakeDatabase(kDatabase, "old");
  MakeDatabase(kWorkCopy, "stale");
  faults_.Add(Fault(SysCall::kUnlink, (Card() / kWorkCopy).string()).Errno(EBUSY));
  Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  faults_.Clear();
  AnswerOpens(1);
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Marker(kDatabase), "old");
  accessor.reset();
  EXPECT_EQ(Marker(kDatabase), "old");
  EXPECT_EQ(Folders(), (std::vector<std::string>{kDatabase, kWorkCopy}));
}

TEST_F(DeviceXdbAccessor, AFailedFlushOrCloseRemovesTheWorkCopyForGood) {
  struct Case {
    const char* method;
    int32_t result;
  };
  const Case cases[] = {{"Master.flush", -9999}, {"Master.close", -9999}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
    scripted_->Answer(c.method, ScriptedAnswer::Throw("card busy"));
    AnswerOpens(1);
    EXPECT_EQ(accessor->Commit(), c.result);
    EXPECT_TRUE(XpLastSysFailure().Empty()) << XpDescribeSysFailure(XpLastSysFailure());
    EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
    EXPECT_EQ(Marker(kDatabase), "old");
    EXPECT_EQ(LastOpened(), fstest::ToUtf8(FolderPath(kDatabase)));
    accessor.reset();
    EXPECT_EQ(MarkerAtNextOpen(), "old");
    std::filesystem::remove_all(Card());
  }
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// The user's own files, outside the card.
fs::path MakeUserFiles(const fs::path& user) {
  fstest::WriteBytes(user / "photo.jpg", "the user's picture");
  fstest::WriteBytes(user / "letters/a.txt", "a letter");
  return user;
}

// A folder of the card that holds links to the user's folder and file.
void MakeFolderWithLinks(const fs::path& folder, const fs::path& user) {
  fstest::WriteBytes(folder / "marker", "leftover");
  fs::create_symlink(user, folder / "folder-link");
  fs::create_symlink(user / "photo.jpg", folder / "file-link");
}

bool Lstats(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

TEST_F(DeviceXdbAccessor, RecoveryNeverReachesThroughALinkOfACraftedCard) {
  struct CraftedCard {
    const char* name;
    bool withDatabase;
    void (*make)(const fs::path& card, const fs::path& user);
  };
  const CraftedCard cards[] = {
      {"a DBFILES.tmp that is a link to the user's folder", true,
       [](const fs::path& card, const fs::path& user) { fs::create_symlink(user, card / kWorkCopy); }},
      {"a DBFILES.bak that is a link to the user's folder", true,
       [](const fs::path& card, const fs::path& user) { fs::create_symlink(user, card / kBackup); }},
      {"both leftovers links", true,
       [](const fs::path& card, const fs::path& user) {
         fs::create_symlink(user, card / kWorkCopy);
         fs::create_symlink(user, card / kBackup);
       }},
      {"links inside a leftover DBFILES.tmp", true,
       [](const fs::path& card, const fs::path& user) { MakeFolderWithLinks(card / kWorkCopy, user); }},
      {"links inside a leftover DBFILES.bak", true,
       [](const fs::path& card, const fs::path& user) { MakeFolderWithLinks(card / kBackup, user); }},
      // Never put in place of the database.
      {"a linked DBFILES.bak without DBFILES", false,
       [](const fs::path& card, const fs::path& user) { fs::create_symlink(user, card / kBackup); }},
      {"a linked DBFILES.tmp without DBFILES", false,
       [](const fs::path& card, const fs::path& user) { fs::create_symlink(user, card / kWorkCopy); }},
  };
  for (const CraftedCard& card : cards) {
    SCOPED_TRACE(card.name);
    const fs::path user = MakeUserFiles(Root() / "user");
    if (card.withDatabase) {
      MakeDatabase(kDatabase, "old");
    }
    card.make(Card(), user);
    const auto before = fileopstest::TreeFacts(user);

    if (card.withDatabase) {
      Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
      EXPECT_NE(accessor, nullptr);
      EXPECT_EQ(Marker(kDatabase), "old");
    } else {
      XdbAccessor::IXdbAccessor* accessor = nullptr;
      EXPECT_NE(XdbAccessor::CreateDeviceXdbAccessor(&accessor, CardRoot()), kXpOk);
      EXPECT_EQ(accessor, nullptr);
      EXPECT_FALSE(Lstats(Card() / kDatabase));
    }

    EXPECT_FALSE(Lstats(Card() / kWorkCopy));
    EXPECT_FALSE(Lstats(Card() / kBackup));
    EXPECT_EQ(fileopstest::TreeFacts(user), before);
    fs::remove_all(Card());
    fs::remove_all(user);
  }
}

TEST_F(DeviceXdbAccessor, TheWorkCopyHoldsOnlyTheDatabasesOwnFiles) {
  const fs::path user = MakeUserFiles(Root() / "user");
  MakeDatabase(kDatabase, "old");
  fs::create_symlink(user / "photo.jpg", Card() / kDatabase / "IDS.BLK");
  fs::create_symlink(user, Card() / kDatabase / "photos");
  ASSERT_EQ(::mkfifo((Card() / kDatabase / "pipe").c_str(), 0600), 0);
  fstest::WriteBytes(Card() / kDatabase / "sub/inner.bin", "inner");
  const auto before = fileopstest::TreeFacts(user);

  Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  AnswerOpens(1);
  scripted_->Answer("Master.createAlbum", ScriptedAnswer::Return(ScriptedValue::Integer(5)));
  Owned<XdbAccessor::IAlbumInfo> album(accessor->CreateAlbum(u"Trip"));
  ASSERT_NE(album, nullptr);

  EXPECT_EQ(fileopstest::NamesIn(Card() / kWorkCopy), (std::set<std::string>{"data.bin", "marker", "more.bin"}));
  AnswerOpens(1);
  EXPECT_EQ(accessor->Commit(), 0);
  // The committed database: its own files, and no copy of a link's target.
  for (const auto& entry : fs::directory_iterator(Card() / kDatabase)) {
    if (entry.is_regular_file()) {
      EXPECT_NE(fstest::ReadBytes(entry.path()), "the user's picture") << entry.path();
    }
  }
  EXPECT_EQ(fstest::ReadBytes(Card() / kDatabase / "data.bin"), "0123456789");
  EXPECT_EQ(fileopstest::TreeFacts(user), before);
}
