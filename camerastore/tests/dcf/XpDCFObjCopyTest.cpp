#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "camerastore/dcf/XpDCFObj.h"
#include "camerastore/tests/dcf/DcfObjectFixture.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/tests/fs/FileOpsTestSupport.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::MtimeOf;
using fileopstest::RecordingObserver;
using fileopstest::TempPrefix;
using testsupport::Fault;
using testsupport::SysCall;
using XpDCFObj = dcftest::DcfObjectTest;

using dcftest::kJpegBytes;
using dcftest::kShotTime;
using dcftest::kThumbnailBytes;

// The names in folder that are not hidden.
std::set<std::string> VisibleNamesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.front() != '.') {
      names.insert(name);
    }
  }
  return names;
}

std::vector<XpString> PathsIn(const fs::path& folder, const std::vector<std::string>& names) {
  std::vector<XpString> paths;
  for (const std::string& name : names) {
    paths.push_back(fstest::ToXp(folder / name));
  }
  return paths;
}

TEST_F(XpDCFObj, CopyToTakesTheFirstFreeSetOfNames) {
  struct Case {
    std::vector<std::string> present;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {{}, {"DSC00001.JPG", "DSC00001.THM"}},
      {{"DSC00001.JPG"}, {"DSC00001 (1).JPG", "DSC00001 (1).THM"}},
      {{"DSC00001.THM", "DSC00001 (1).JPG"}, {"DSC00001 (2).JPG", "DSC00001 (2).THM"}},
  };
  const std::vector<fs::path> members = JpegAndThumbnail();
  for (size_t row = 0; row < cases.size(); ++row) {
    const fs::path out = Dir("out" + std::to_string(row));
    for (const std::string& name : cases[row].present) {
      fstest::WriteBytes(out / name, "present");
    }
    ::XpDCFObj shot;
    AddMembers(shot, members);
    std::vector<XpString> targets;
    ASSERT_EQ(shot.MakeTargetPaths(&targets, fstest::ToXp(out)), kXpOk);
    EXPECT_EQ(targets, PathsIn(out, cases[row].expected)) << row;
    // Naming reserves nothing.
    EXPECT_EQ(NamesIn(out).size(), cases[row].present.size()) << row;

    ASSERT_EQ(shot.CopyTo(fstest::ToXp(out), nullptr), kXpOk) << row;
    EXPECT_EQ(shot.GetWrittenPaths(), PathsIn(out, cases[row].expected)) << row;
    EXPECT_EQ(fstest::ReadBytes(out / cases[row].expected[0]), kJpegBytes);
    EXPECT_EQ(fstest::ReadBytes(out / cases[row].expected[1]), kThumbnailBytes);
    EXPECT_EQ(MtimeOf(out / cases[row].expected[0]), kShotTime);
    EXPECT_EQ(MtimeOf(out / cases[row].expected[1]), kShotTime);
    for (const std::string& name : cases[row].present) {
      EXPECT_EQ(fstest::ReadBytes(out / name), "present") << name;
    }
    EXPECT_EQ(NamesIn(out).size(), cases[row].present.size() + 2) << row;
  }
}

TEST_F(XpDCFObj, CopyToMovesOnFromANameTakenWhileItRuns) {
  // Another writer creates the first member's target as the copy begins.
  class Intruder : public RecordingObserver {
   public:
    bool OnFileOpProgress(double reported) override {
      if (reports.empty()) {
        fstest::WriteBytes(target, "intruder");
      }
      return RecordingObserver::OnFileOpProgress(reported);
    }
    fs::path target;
  };
  ::XpDCFObj shot;
  AddMembers(shot, JpegAndThumbnail());
  Intruder observer;
  observer.target = Out() / "DSC00001.JPG";
  ASSERT_EQ(shot.CopyTo(fstest::ToXp(Out()), &observer), kXpOk);
  EXPECT_EQ(fstest::ReadBytes(Out() / "DSC00001.JPG"), "intruder");
  EXPECT_EQ(fstest::ReadBytes(Out() / "DSC00001 (1).JPG"), kJpegBytes);
  EXPECT_EQ(fstest::ReadBytes(Out() / "DSC00001.THM"), kThumbnailBytes);
  EXPECT_EQ(shot.GetWrittenPaths(), PathsIn(Out(), {"DSC00001 (1).JPG", "DSC00001.THM"}));
  EXPECT_EQ(NamesIn(Out()), (std::set<std::string>{"DSC00001.JPG", "DSC00001 (1).JPG",
                                                   "DSC00001.THM"}));
}

TEST_F(XpDCFObj, CopyToShowsNoFileBeforeItsBytesAreComplete) {
  // Members of several blocks each, so that reports come from inside them.
  const std::string jpeg(600000, 'j');
  const std::string thumbnail(300000, 't');
  class Watcher : public RecordingObserver {
   public:
    bool OnFileOpProgress(double reported) override {
      for (const std::string& name : VisibleNamesIn(out)) {
        seen.insert(name);
        if (fstest::ReadBytes(out / name) != complete.at(name)) {
          partial.insert(name);
        }
      }
      return RecordingObserver::OnFileOpProgress(reported);
    }
    fs::path out;
    std::map<std::string, std::string> complete;
    std::set<std::string> seen;
    std::set<std::string> partial;
  };
  ::XpDCFObj shot;
  AddMembers(shot, {ShotFile("DSC00001.JPG", jpeg), ShotFile("DSC00001.THM", thumbnail)});
  Watcher watcher;
  watcher.out = Out();
  watcher.complete = {{"DSC00001.JPG", jpeg}, {"DSC00001.THM", thumbnail}};
  ASSERT_EQ(shot.CopyTo(fstest::ToXp(Out()), &watcher), kXpOk);
  EXPECT_GT(watcher.reports.size(), 4u);
  // The first copy was seen whole while the second ran; never a part.
  EXPECT_EQ(watcher.seen, (std::set<std::string>{"DSC00001.JPG"}));
  EXPECT_TRUE(watcher.partial.empty());
  EXPECT_EQ(NamesIn(Out()), (std::set<std::string>{"DSC00001.JPG", "DSC00001.THM"}));
}

TEST_F(XpDCFObj, CopyKilledMidwayLeavesNoVisibleFileAndKeepsTheName) {
  const std::string bytes(4 * 1024 * 1024, 'p');
  const fs::path member = ShotFile("DSC01234.JPG", bytes);
  const fs::path out = Out();
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([&member, &out](testsupport::ChildChannel& channel) {
    // Held at the second report until the parent kills it.
    class Holder : public RecordingObserver {
     public:
      explicit Holder(testsupport::ChildChannel& channel) : channel_(channel) {}
      bool OnFileOpProgress(double reported) override {
        if (RecordingObserver::OnFileOpProgress(reported)) {
          return true;
        }
        if (reports.size() == 2) {
          channel_.SignalReady();
          channel_.WaitForGo();
        }
        return false;
      }

     private:
      testsupport::ChildChannel& channel_;
    };
    ::XpDCFObj shot;
    if (shot.AddFile(FileMember(member)) != kXpOk) {
      return 1;
    }
    Holder holder(channel);
    return shot.CopyTo(fstest::ToXp(out), &holder) == kXpOk ? 0 : 1;
  }));
  ASSERT_TRUE(child.WaitReady());
  child.Kill();
  EXPECT_EQ(child.Wait(), -1);
  EXPECT_TRUE(VisibleNamesIn(out).empty());

  // The next run takes the member's own name: nothing of the dead one
  // holds it.
  ::XpDCFObj shot;
  AddMembers(shot, {member});
  ASSERT_EQ(shot.CopyTo(fstest::ToXp(out), nullptr), kXpOk);
  EXPECT_EQ(shot.GetWrittenPaths(), PathsIn(out, {"DSC01234.JPG"}));
  EXPECT_EQ(fstest::ReadBytes(out / "DSC01234.JPG"), bytes);
  EXPECT_EQ(VisibleNamesIn(out), (std::set<std::string>{"DSC01234.JPG"}));
}

TEST_F(XpDCFObj, CopyToKeepsMembersOfTheSameNameApart) {
  // A movie and its companion in the maker's folder share their file name.
  ::XpDCFObj shot;
  AddMembers(shot, {ShotFile("DSC00001.MPG", "movie"),
                    CamFile("VELDRA/MOMLV100/DSC00001.MPG", "companion")});
  ASSERT_EQ(shot.CopyTo(fstest::ToXp(Out()), nullptr), kXpOk);
  EXPECT_EQ(shot.GetWrittenPaths(), PathsIn(Out(), {"DSC00001.MPG", "DSC00001 (1).MPG"}));
  EXPECT_EQ(fstest::ReadBytes(Out() / "DSC00001.MPG"), "movie");
  EXPECT_EQ(fstest::ReadBytes(Out() / "DSC00001 (1).MPG"), "companion");
  EXPECT_EQ(NamesIn(Out()).size(), 2u);
}

TEST_F(XpDCFObj, CopyToIsAllOrNothing) {
  // Each way of failing, with a file already in the folder that must stay.
  enum class Failure { kStopAtOnce, kStopInSecond, kDiskFullInSecond, kUnreadableSecond };
  struct Case {
    Failure failure;
    XpResult expected;
  };
  const std::vector<Case> cases = {
      {Failure::kStopAtOnce, kXpErrStopped},
      {Failure::kStopInSecond, kXpErrStopped},
      {Failure::kDiskFullInSecond, kXpErrDiskFull},
      {Failure::kUnreadableSecond, kXpErrAccessDenied},
  };
  const std::vector<fs::path> members = JpegAndThumbnail();
  for (size_t row = 0; row < cases.size(); ++row) {
    const fs::path out = Dir("out" + std::to_string(row));
    fstest::WriteBytes(out / "other.txt", "keep");
    faults_.Clear();
    RecordingObserver observer;
    IXpFileOpProgressObserver* outside = nullptr;
    switch (cases[row].failure) {
      case Failure::kStopAtOnce:
        observer.stopAtCall = 1;
        outside = &observer;
        break;
      case Failure::kStopInSecond:
        // Reports: 0 and 100 for the first member, then 0 for the second.
        observer.stopAtCall = 3;
        outside = &observer;
        break;
      case Failure::kDiskFullInSecond:
        faults_.Add(Fault(SysCall::kWrite, TempPrefix(out / "DSC00001.THM")).Errno(ENOSPC));
        break;
      case Failure::kUnreadableSecond:
        faults_.Add(Fault(SysCall::kOpen, members[1].string()).Errno(EACCES));
        break;
    }
    ::XpDCFObj shot;
    AddMembers(shot, members);
    EXPECT_EQ(shot.CopyTo(fstest::ToXp(out), outside), cases[row].expected) << row;
    EXPECT_TRUE(shot.GetWrittenPaths().empty()) << row;
    // No copy, visible or hidden, is left; what was there stays.
    EXPECT_EQ(NamesIn(out), (std::set<std::string>{"other.txt"})) << row;
    EXPECT_EQ(fstest::ReadBytes(out / "other.txt"), "keep");
  }
  faults_.Clear();

  // A failed copy clears the written paths of an earlier one.
  ::XpDCFObj shot;
  AddMembers(shot, members);
  ASSERT_EQ(shot.CopyTo(fstest::ToXp(Dir("ok")), nullptr), kXpOk);
  ASSERT_EQ(shot.GetWrittenPaths().size(), 2u);
  RecordingObserver stop;
  stop.stopAtCall = 1;
  EXPECT_EQ(shot.CopyTo(fstest::ToXp(Dir("stopped")), &stop), kXpErrStopped);
  EXPECT_TRUE(shot.GetWrittenPaths().empty());
  EXPECT_TRUE(NamesIn(Dir("stopped")).empty());
}

TEST_F(XpDCFObj, CopyToSkipsMembersThatAreNotFilesAndLeavesNothingForThem) {
  const fs::path jpeg = ShotFile("DSC00001.JPG", kJpegBytes);
  const fs::path folder = Cam() / "DCIM/100ZXDCF/DSC00001.DIR";
  fs::create_directories(folder);
  const fs::path thumbnail = ShotFile("DSC00001.THM", kThumbnailBytes);
  ::XpDCFObj shot;
  AddMembers(shot, {jpeg, folder, thumbnail});
  std::vector<XpString> targets;
  ASSERT_EQ(shot.MakeTargetPaths(&targets, fstest::ToXp(Out())), kXpOk);
  EXPECT_EQ(targets.size(), 3u);
  ASSERT_EQ(shot.CopyTo(fstest::ToXp(Out()), nullptr), kXpOk);
  EXPECT_EQ(NamesIn(Out()), (std::set<std::string>{"DSC00001.JPG", "DSC00001.THM"}));
  EXPECT_EQ(shot.GetWrittenPaths(), PathsIn(Out(), {"DSC00001.JPG", "DSC00001.THM"}));
}

TEST_F(XpDCFObj, NamingGivesUpAfterItsLastPass) {
  ::XpDCFObj shot;
  AddMembers(shot, {ShotFile("DSC00001.JPG", kJpegBytes)});
  // Every name of every pass is taken.
  fstest::WriteBytes(Out() / "DSC00001.JPG", "taken");
  for (int32_t number = 1; number < ::XpDCFObj::kMaxTargetPasses; ++number) {
    fstest::WriteBytes(Out() / ("DSC00001 (" + std::to_string(number) + ").JPG"), "");
  }
  const size_t taken = NamesIn(Out()).size();
  std::vector<XpString> targets = {u"stale"};
  EXPECT_EQ(shot.MakeTargetPaths(&targets, fstest::ToXp(Out())), kXpErrAlreadyExists);
  EXPECT_TRUE(targets.empty());
  EXPECT_EQ(shot.CopyTo(fstest::ToXp(Out()), nullptr), kXpErrAlreadyExists);
  EXPECT_EQ(NamesIn(Out()).size(), taken);

  // The last pass is still tried.
  const std::string last = "DSC00001 (" + std::to_string(::XpDCFObj::kMaxTargetPasses - 1) + ").JPG";
  fs::remove(Out() / last);
  ASSERT_EQ(shot.CopyTo(fstest::ToXp(Out()), nullptr), kXpOk);
  EXPECT_EQ(shot.GetWrittenPaths(), PathsIn(Out(), {last}));
  EXPECT_EQ(shot.MakeTargetPaths(nullptr, fstest::ToXp(Out())), kXpErrBadArgument);
}

TEST_F(XpDCFObj, ProgressCoversTheWholeShot) {
  ::XpDCFObj shot;
  AddMembers(shot, {ShotFile("DSC00001.JPG", std::string(100000, 'j')),
                    ShotFile("DSC00001.THM", std::string(300000, 't'))});
  RecordingObserver observer;
  ASSERT_EQ(shot.CopyTo(fstest::ToXp(Out()), &observer), kXpOk);
  ASSERT_FALSE(observer.reports.empty());
  double previous = 0.0;
  for (const double value : observer.reports) {
    EXPECT_GE(value, previous);
    EXPECT_LE(value, 100.0);
    previous = value;
  }
  EXPECT_NE(std::find(observer.reports.begin(), observer.reports.end(), 25.0),
            observer.reports.end());
  EXPECT_EQ(observer.reports.back(), 100.0);
  // Outside a copy nothing listens.
  EXPECT_FALSE(shot.OnFileOpProgress(50.0));
}

TEST_F(XpDCFObj, DeleteFilesStopsAtTheFirstFailure) {
  const std::vector<fs::path> members = {ShotFile("DSC00001.JPG", "j"),
                                         ShotFile("DSC00001.THM", "t"),
                                         ShotFile("DSC00001.WAV", "w")};
  {
    ::XpDCFObj shot;
    AddMembers(shot, members);
    faults_.Add(Fault(SysCall::kUnlink, members[1].string()).Errno(EROFS));
    EXPECT_EQ(shot.DeleteFiles(), kXpErrAccessDenied);
    EXPECT_FALSE(fs::exists(members[0]));
    EXPECT_TRUE(fs::exists(members[1]));
    EXPECT_TRUE(fs::exists(members[2]));
    faults_.Clear();
  }
  ::XpDCFObj shot;
  AddMembers(shot, {members[1], members[2]});
  EXPECT_EQ(shot.DeleteFiles(), kXpOk);
  EXPECT_TRUE(NamesIn(Cam() / "DCIM/100ZXDCF").empty());
  ::XpDCFObj empty;
  EXPECT_EQ(empty.DeleteFiles(), kXpOk);
}

}  // namespace
