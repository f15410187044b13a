#include "platform/fs/XpPendingFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/testsupport/AgedFiles.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FileOpsTestSupport.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::ModeOf;
using fileopstest::NamesIn;
using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::SysCall;

constexpr std::chrono::seconds kTwoMinutes(120);

// The temporaries of the pattern among names.
std::set<std::string> Temporaries(const std::set<std::string>& names) {
  std::set<std::string> found;
  for (const std::string& name : names) {
    if (::XpPendingFile::IsTempName(name)) found.insert(name);
  }
  return found;
}

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

class PendingFileFixture : public testsupport::HermeticTest {
 protected:
  // The folder the tests write in, empty at first.
  fs::path Work() const { return Dir("work"); }
  // A file below Work() that holds "old".
  fs::path File(const std::string& name) {
    const fs::path path = Work() / name;
    WriteBytes(path, "old");
    return path;
  }

  testsupport::FaultInjection faults_;
};
using XpPendingFile = PendingFileFixture;

TEST_F(XpPendingFile, WritesBesideTheFinalNameAndPublishesByARename) {
  const fs::path target = Work() / "photo.jpg";
  ::XpPendingFile file;
  ASSERT_EQ(file.Create(ToXp(target)), kXpOk);
  const fs::path temp(std::string(file.TempPath().View()));
  EXPECT_EQ(temp.parent_path(), Work());
  EXPECT_TRUE(std::regex_match(temp.filename().string(),
                               std::regex(R"(\.photo\.jpg\.kavotmp-[a-z0-9]{6})")))
      << temp;
  ASSERT_EQ(file.Write("new bytes"), kXpOk);
  EXPECT_FALSE(fs::exists(target));
  ASSERT_EQ(file.Sync(), kXpOk);
  ASSERT_EQ(file.Publish(true), kXpOk);
  EXPECT_EQ(ReadBytes(target), "new bytes");
  EXPECT_EQ(NamesIn(Work()), (std::set<std::string>{"photo.jpg"}));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Write("more"), kXpErrNotOpen);
}

TEST_F(XpPendingFile, AnUnpublishedFileGoesWithItsObject) {
  const fs::path target = File("keep.txt");
  {
    ::XpPendingFile file;
    ASSERT_EQ(file.Create(ToXp(target)), kXpOk);
    ASSERT_EQ(file.Write("half"), kXpOk);
    EXPECT_EQ(Temporaries(NamesIn(Work())).size(), 1u);
  }
  EXPECT_EQ(NamesIn(Work()), (std::set<std::string>{"keep.txt"}));
  EXPECT_EQ(ReadBytes(target), "old");
}

TEST_F(XpPendingFile, WithoutReplaceAnExistingNameIsKeptAndAnotherMayBeTried) {
  const fs::path taken = File("IMG.JPG");
  ::XpPendingFile file;
  ASSERT_EQ(file.Create(ToXp(taken)), kXpOk);
  ASSERT_EQ(file.Write("copy"), kXpOk);
  EXPECT_EQ(file.Publish(false), kXpErrAlreadyExists);
  EXPECT_EQ(ReadBytes(taken), "old");
  ASSERT_EQ(file.PublishAs(ToXp(Work() / "IMG (2).JPG"), false), kXpOk);
  EXPECT_EQ(ReadBytes(Work() / "IMG (2).JPG"), "copy");
  EXPECT_EQ(NamesIn(Work()), (std::set<std::string>{"IMG (2).JPG", "IMG.JPG"}));
}

TEST_F(XpPendingFile, KnowsTheTemporaryNamePattern) {
  const struct {
    const char* name;
    bool temporary;
  } cases[] = {
      {".x.kavotmp-abc123", true},     {".photo.jpg.kavotmp-Zz09aB", true},
      {".notes.tmp", false},           {"x.kavotmp-abc123", false},
      {".x.kavotmp-abc12", false},     {".x.kavotmp-abc1234", false},
      {".kavotmp-abc123", false},      {".x.kavotmp-abc_23", false},
      {".x.kavotmp-abc123.jpg", false}, {".x.KAVOTMP-abc123", false},
  };
  for (const auto& c : cases) EXPECT_EQ(::XpPendingFile::IsTempName(c.name), c.temporary) << c.name;
}

TEST_F(XpPendingFile, ClearsOnlyStaleTemporariesThatNobodyHolds) {
  const fs::path folder = Dir("card");
  // Everything named with "aged" looks two minutes old.
  testsupport::AgedFiles aged("aged", kTwoMinutes);
  for (const char* name : {".photo.jpg.kavotmp-aged01", ".held.jpg.kavotmp-aged02",
                           ".fresh.jpg.kavotmp-new001", ".aged.notes.tmp", "aged.kavotmp-abc123"}) {
    WriteBytes(folder / name, "x");
  }
  fs::create_directory(folder / ".dir.kavotmp-aged03");
  // A living writer holds its temporary.
  const int held = XpSysCalls::Posix().Open((folder / ".held.jpg.kavotmp-aged02").c_str(), O_RDONLY, 0);
  ASSERT_GE(held, 0);
  ASSERT_EQ(XpSysCalls::Posix().Flock(held, LOCK_EX), 0);

  ::XpPendingFile::RemoveStaleTemporaries(folder.string());
  EXPECT_EQ(NamesIn(folder),
            (std::set<std::string>{".held.jpg.kavotmp-aged02", ".fresh.jpg.kavotmp-new001",
                                   ".aged.notes.tmp", "aged.kavotmp-abc123",
                                   ".dir.kavotmp-aged03"}));
  // A sole writer takes the fresh ones too, never a held one.
  ::XpPendingFile::RemoveUnheldTemporaries(folder.string());
  EXPECT_EQ(NamesIn(folder),
            (std::set<std::string>{".held.jpg.kavotmp-aged02", ".aged.notes.tmp",
                                   "aged.kavotmp-abc123", ".dir.kavotmp-aged03"}));
  EXPECT_EQ(XpSysCalls::Posix().Close(held), 0);
}

TEST_F(XpPendingFile, ASoleWriterClearsItsOwnTemporariesAtAnyAgeAndAFolderIsLookedAtOnceAMinute) {
  const fs::path folder = Dir("registry");
  WriteBytes(folder / ".user.reg.kavotmp-abc123", "dead writer");
  WriteBytes(folder / ".other.reg.kavotmp-abc123", "another file's writer");
  ::XpPendingFile::Options sole;
  sole.soleWriter = true;
  {
    ::XpPendingFile file;
    ASSERT_EQ(file.Create(ToXp(folder / "user.reg"), sole), kXpOk);
  }
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{".other.reg.kavotmp-abc123"}));

  // The folder was looked at just now: a stale temporary waits for the next
  // look, which an explicit call makes at once.
  testsupport::AgedFiles aged(".kavotmp-", kTwoMinutes);
  {
    ::XpPendingFile file;
    ASSERT_EQ(file.Create(ToXp(folder / "x.txt")), kXpOk);
  }
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{".other.reg.kavotmp-abc123"}));
  ::XpPendingFile::RemoveStaleTemporaries(folder.string());
  EXPECT_TRUE(NamesIn(folder).empty());
}

TEST_F(XpPendingFile, ALongFinalNameIsShortenedInTheTemporaryName) {
  const std::string leaf = std::string(200, 'n') + "\xC3\xA9" + std::string(50, 'e');
  const fs::path target = Work() / leaf;
  ::XpPendingFile file;
  ASSERT_EQ(file.Create(ToXp(target)), kXpOk);
  const std::string tempLeaf = fs::path(std::string(file.TempPath().View())).filename().string();
  EXPECT_LE(tempLeaf.size(), 255u);
  EXPECT_TRUE(::XpPendingFile::IsTempName(tempLeaf)) << tempLeaf;
  ASSERT_EQ(file.Write("long"), kXpOk);
  ASSERT_EQ(file.Publish(true), kXpOk);
  EXPECT_EQ(ReadBytes(target), "long");
}

TEST_F(XpPendingFile, ReplaceAtomicallyKeepsAnOldFilesModeAndGivesANewOneItsOwn) {
  const fs::path old = File("settings.plist");
  fs::permissions(old, static_cast<fs::perms>(0640));
  ASSERT_EQ(XpReplaceFileAtomically(ToXp(old), "new", 0600), kXpOk);
  EXPECT_EQ(ReadBytes(old), "new");
  EXPECT_EQ(ModeOf(old), 0640u);

  const mode_t mask = CurrentUmask();
  ASSERT_EQ(XpReplaceFileAtomically(ToXp(Work() / "masked"), "m", 0666), kXpOk);
  EXPECT_EQ(ModeOf(Work() / "masked"), 0666u & ~mask);
  ::XpPendingFile::Options exact;
  exact.mode = 0666;
  exact.exactMode = true;
  ASSERT_EQ(XpReplaceFileAtomically(ToXp(Work() / "exact"), "e", exact), kXpOk);
  EXPECT_EQ(ModeOf(Work() / "exact"), 0666u);
  EXPECT_TRUE(Temporaries(NamesIn(Work())).empty());
}

TEST_F(XpPendingFile, AFailedReplaceLeavesTheOldFileAndNoTemporary) {
  const fs::path target = File("dict.plist");
  const std::string prefix = (Work() / ".dict.plist.kavotmp-").string();
  const struct {
    const char* name;
    Fault fault;
    XpResult result;
  } cases[] = {
      {"disk full", Fault(SysCall::kWrite, prefix).Errno(ENOSPC).AfterBytes(3), kXpErrDiskFull},
      {"card pulled", Fault(SysCall::kWrite, prefix).Errno(ENODEV), kXpErrDeviceNotReady},
      {"flush fails", Fault(SysCall::kFsync, prefix).Errno(EIO), kXpErrDeviceNotReady},
      {"rename refused", Fault(SysCall::kRename, prefix).Errno(EROFS), kXpErrAccessDenied},
      {"no new file", Fault(SysCall::kOpen, prefix).Errno(EACCES).ForWriting(), kXpErrAccessDenied},
  };
  for (const auto& c : cases) {
    faults_.Clear();
    faults_.Add(c.fault);
    EXPECT_EQ(XpReplaceFileAtomically(ToXp(target), "a much longer new text", 0644), c.result)
        << c.name;
    EXPECT_EQ(ReadBytes(target), "old") << c.name;
    EXPECT_EQ(NamesIn(Work()), (std::set<std::string>{"dict.plist"})) << c.name;
  }
}

TEST_F(XpPendingFile, AChosenTemporaryNameIsUsedAndTheFolderIsNotCleared) {
  const fs::path folder = Dir("journal");
  testsupport::AgedFiles aged("kavotmp-", kTwoMinutes);
  WriteBytes(folder / ".old.kavotmp-abc123", "a dead writer's");
  ::XpPendingFile::Options named;
  named.tempName = "JOURNAL.PART";
  ::XpPendingFile file;
  ASSERT_EQ(file.Create(ToXp(folder / "JOURNAL"), named), kXpOk);
  EXPECT_EQ(std::string(file.TempPath().View()), (folder / "JOURNAL.PART").string());
  ASSERT_EQ(file.Write("entries"), kXpOk);
  EXPECT_EQ(ReadBytes(folder / "JOURNAL.PART"), "entries");
  ASSERT_EQ(file.Publish(true), kXpOk);
  EXPECT_EQ(ReadBytes(folder / "JOURNAL"), "entries");
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{".old.kavotmp-abc123", "JOURNAL"}));

  // Unpublished, the chosen temporary goes with its object.
  {
    ::XpPendingFile dropped;
    ASSERT_EQ(dropped.Create(ToXp(folder / "JOURNAL"), named), kXpOk);
  }
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{".old.kavotmp-abc123", "JOURNAL"}));
}

TEST_F(XpPendingFile, WhatAChosenTemporaryNameFindsTakenDecidesTheCreate) {
  const fs::path elsewhere = File("elsewhere.txt");
  const fs::path taken = Work() / "out.part";
  const std::function<void()> none = [] {};
  const std::function<void()> file = [&] { WriteBytes(taken, "left over"); };
  const std::function<void()> folder = [&] { fs::create_directory(taken); };
  const std::function<void()> link = [&] { fs::create_symlink(elsewhere, taken); };
  const std::function<void()> pipe = [&] { ASSERT_EQ(::mkfifo(taken.c_str(), 0600), 0); };
  const struct {
    const char* label;
    const char* tempName;
    bool reuse;
    const std::function<void()>& leave;
    XpResult result;
  } cases[] = {
      {"free", "out.part", false, none, kXpOk},
      {"a file, not reused", "out.part", false, file, kXpErrAlreadyExists},
      {"a file, reused", "out.part", true, file, kXpOk},
      {"a folder", "out.part", true, folder, XpResultFromErrno(EISDIR)},
      {"a link", "out.part", true, link, XpResultFromErrno(ELOOP)},
      {"a pipe", "out.part", true, pipe, XpResultFromErrno(ENXIO)},
      {"a path, not a leaf", "sub/out.part", false, none, kXpErrBadArgument},
      {"the parent", "..", true, none, kXpErrBadArgument},
  };
  ::XpPendingFile::Options options;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(taken);
    c.leave();
    const std::set<std::string> before = NamesIn(Work());
    options.tempName = c.tempName;
    options.reuseTempName = c.reuse;
    ::XpPendingFile pending;
    EXPECT_EQ(pending.Create(ToXp(Work() / "out.jpg"), options), c.result);
    EXPECT_EQ(pending.IsOpen(), c.result == kXpOk);
    if (c.result == kXpOk) {
      ASSERT_EQ(pending.Write("new"), kXpOk);
      EXPECT_EQ(ReadBytes(taken), "new");
      ASSERT_EQ(pending.Publish(true), kXpOk);
      EXPECT_EQ(ReadBytes(Work() / "out.jpg"), "new");
      fs::remove(Work() / "out.jpg");
      continue;
    }
    // A refused create leaves whatever held the name as it was.
    EXPECT_EQ(NamesIn(Work()), before);
    EXPECT_EQ(ReadBytes(elsewhere), "old");
    if (fs::is_regular_file(fs::symlink_status(taken))) {
      EXPECT_EQ(ReadBytes(taken), "left over");
    }
  }
}

}  // namespace
