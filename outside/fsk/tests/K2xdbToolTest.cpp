#include "outside/fsk/k2xdb/K2xdbTool.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskMain.h"
#include "fsk/FskScript.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Fault;
using testsupport::SysCall;

class K2xdbTool : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    FskMainReset();
    folder_ = (Dir("card") / "DBFILES").string();
  }
  void TearDown() override {
    FskMainReset();
    HermeticTest::TearDown();
  }

  struct Outcome {
    int code = 0;
    std::string out;
    std::string err;
  };
  // answerLost: standard output refuses every write.
  Outcome Run(const std::vector<std::string>& arguments, bool answerLost = false) {
    std::ostringstream out;
    std::ostringstream err;
    if (answerLost) {
      out.setstate(std::ios::badbit);
    }
    ::K2xdbTool tool(out, err);
    Outcome outcome;
    outcome.code = tool.Run(arguments);
    outcome.out = out.str();
    outcome.err = err.str();
    return outcome;
  }
  // "$ command arguments" then the output and the exit code, for a
  // transcript.
  std::string Step(const std::vector<std::string>& arguments) {
    Outcome outcome = Run(arguments);
    std::string text = "$";
    for (const std::string& argument : arguments) {
      text += " " + (argument == folder_ ? std::string("F") : argument);
    }
    return text + "\n" + outcome.out + "-> " + std::to_string(outcome.code) + "\n";
  }

  static std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
    return text;
  }

  // Deletes the album through the runtime, as no tool would while it
  // holds contents.
  static void DeleteAlbumBehindTheTool(const std::string& folder, int32_t album) {
    ASSERT_EQ(FskMainInitialize(0, 0, nullptr), 0);
    FskECMAScript vm = nullptr;
    ASSERT_EQ(FskECMAScriptFindByName("dbManager", &vm), 0);
    FskMachine* the = FskECMAScriptGetXSMachine(vm);
    ASSERT_NE(the, nullptr);
    {
      fsk::HostBracket bracket(the);
      fsk::Value master = fsk::New(the, fsk::GetPath(the, "dbManager"), "Master");
      ASSERT_EQ(fsk::ToInteger(the, fsk::Call(the, master, "open", folder, nullptr)), 350);
      fsk::Call(the, master, "deleteAlbum", album);
      fsk::Call(the, master, "flush");
      fsk::Call(the, master, "close");
    }
    EXPECT_EQ(FskMainTerminate(), 0);
  }

  std::string folder_;
};

TEST_F(K2xdbTool, GoldenTranscript) {
  std::string transcript;
  transcript += Step({"init", folder_});
  transcript += Step({"add-album", folder_, "Trip"});
  transcript += Step({"add-album", folder_, "\xC3\x89t\xC3\xA9 \"quoted\" \\ here", "2009-03-15 00:00:00"});
  transcript += Step({"add-content", folder_, "1", "100", "1", "2009-03-15 00:00:00"});
  transcript += Step({"add-content", folder_, "2", "101", "23", "2010-12-31 23:59:59", "2"});
  transcript += Step({"set-group", folder_, "3", "sf", "2"});
  transcript += Step({"set-group", folder_, "4", "ff", "6"});
  transcript += Step({"list", folder_});
  transcript += Step({"delete", folder_, "3"});
  transcript += Step({"delete", folder_, "2"});
  transcript += Step({"delete", folder_, "4"});
  transcript += Step({"delete", folder_, "2"});
  transcript += Step({"list", folder_});
  transcript += Step({"check", folder_});
  EXPECT_EQ(transcript,
            "$ init F\n-> 0\n"
            "$ add-album F Trip\n1\n-> 0\n"
            "$ add-album F \xC3\x89t\xC3\xA9 \"quoted\" \\ here 2009-03-15 00:00:00\n2\n-> 0\n"
            "$ add-content F 1 100 1 2009-03-15 00:00:00\n3 1\n-> 0\n"
            "$ add-content F 2 101 23 2010-12-31 23:59:59 2\n4 2\n-> 0\n"
            "$ set-group F 3 sf 2\n-> 0\n"
            "$ set-group F 4 ff 6\n-> 0\n"
            "$ list F\n"
            "album 1 date=1970-01-01 00:00:00 preference=3 title=\"Trip\"\n"
            "album 2 date=2009-03-15 00:00:00 preference=3 title=\"\xC3\x89t\xC3\xA9 \\\"quoted\\\" \\\\ here\"\n"
            "content 3 album=1 guid=1 dcf=100-0001 date=2009-03-15 00:00:00 misc=1 share=2 favorite=0\n"
            "content 4 album=2 guid=2 dcf=101-0023 date=2010-12-31 23:59:59 misc=2 share=0 favorite=6\n"
            "-> 0\n"
            "$ delete F 3\n-> 0\n"
            "$ delete F 2\n-> 1\n"
            "$ delete F 4\n-> 0\n"
            "$ delete F 2\n-> 0\n"
            "$ list F\n"
            "album 1 date=1970-01-01 00:00:00 preference=3 title=\"Trip\"\n"
            "-> 0\n"
            "$ check F\nok\n-> 0\n");
}

TEST_F(K2xdbTool, CheckFindsACutIndex) {
  ASSERT_EQ(Run({"init", folder_}).code, 0);
  ASSERT_EQ(Run({"add-album", folder_, "Trip"}).code, 0);
  ASSERT_EQ(Run({"add-content", folder_, "1", "100", "1", "2009-03-15 00:00:00"}).code, 0);
  fs::path copy = Dir("copy") / "DBFILES";
  fs::copy(folder_, copy, fs::copy_options::recursive);
  fs::path index = copy / "XDB.IND";
  ASSERT_TRUE(fs::exists(index));
  fs::resize_file(index, fs::file_size(index) / 2);
  Outcome checked = Run({"check", copy.string()});
  EXPECT_EQ(checked.code, 1) << checked.out << checked.err;
  EXPECT_FALSE(checked.out.empty());
  EXPECT_EQ(checked.out.find("ok\n"), std::string::npos) << checked.out;
  EXPECT_EQ(Run({"check", folder_}).out, "ok\n");
}

TEST_F(K2xdbTool, CheckNamesAFileWhoseCountsPassTheLimits) {
  constexpr uint32_t kRowsPastTheLimit = 41 * 1024;
  struct Case {
    const char* name;
    const char* file;
    std::streamoff at;
    uint32_t value;
    // Whole pages of 1024 rows of 32 bytes to give the file, else 0.
    uint32_t pages;
    std::string fault;
  };
  const Case cases[] = {
      {"maxID", "IDS.BLK", 64, 0x7FFFFFFFu, 0, "IDS.BLK: maxID 2147483647 is outside 0 to 40000\n"},
      {"row count", "DATA.BLK", 24, kRowsPastTheLimit, 41, "DATA.BLK: row count 41984 is outside 0 to 40000\n"},
  };
  ASSERT_EQ(Run({"init", folder_}).code, 0);
  ASSERT_EQ(Run({"add-album", folder_, "Trip"}).code, 0);
  ASSERT_EQ(Run({"add-content", folder_, "1", "100", "1", "2009-03-15 00:00:00"}).code, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path copy = Dir(std::string("copy-") + c.file) / "DBFILES";
    fs::copy(folder_, copy, fs::copy_options::recursive);
    fs::path file = copy / c.file;
    if (c.pages != 0) {
      // Sparse: a few KB on the card.
      fs::resize_file(file, 64 + uint64_t{c.pages} * 1024 * 32);
    }
    {
      std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
      out.seekp(c.at);
      for (int byte = 0; byte < 4; ++byte) {
        out.put(static_cast<char>(c.value >> (8 * byte)));
      }
      ASSERT_TRUE(out.good());
    }
    // The crafted file looks like a copy of the database this process just
    // closed (its size and its time): it is read for what it holds.
    if (c.pages == 0) {
      fs::last_write_time(file, fs::last_write_time(fs::path(folder_) / c.file));
    }
    Outcome checked = Run({"check", copy.string()});
    EXPECT_EQ(checked.code, 1) << checked.err;
    EXPECT_EQ(checked.out, c.fault);
  }
}

TEST_F(K2xdbTool, RefusalsFailuresAndUsage) {
  ASSERT_EQ(Run({"init", folder_}).code, 0);
  struct Case {
    std::vector<std::string> arguments;
    int code;
  };
  const std::string missing = (Dir("nowhere") / "a" / "DBFILES").string();
  const Case cases[] = {
      {{"init", folder_}, 1},
      {{"init", missing}, 1},
      {{"list", missing}, 1},
      {{}, 2},
      {{"list"}, 2},
      {{"frobnicate", folder_}, 2},
      {{"add-album", folder_}, 2},
      {{"add-album", folder_, "T", "2009-02-30 00:00:00"}, 2},
      {{"add-album", folder_, "T", "2009-03-15"}, 2},
      {{"add-content", folder_, "1", "100", "x", "2009-03-15 00:00:00"}, 2},
      {{"set-group", folder_, "1", "zz", "1"}, 2},
      {{"delete", folder_, "-"}, 2},
      {{"add-content", folder_, "7", "100", "1", "2009-03-15 00:00:00"}, 1},
      {{"set-group", folder_, "9", "sf", "1"}, 1},
      {{"delete", folder_, "9"}, 1},
  };
  for (const Case& entry : cases) {
    Outcome outcome = Run(entry.arguments);
    std::string name = entry.arguments.empty() ? "(none)" : entry.arguments[0];
    EXPECT_EQ(outcome.code, entry.code) << name << ": " << outcome.err;
    EXPECT_FALSE(outcome.err.empty()) << name;
  }
  EXPECT_EQ(Run({"list", folder_}).out, "") << "nothing was added";
}

TEST_F(K2xdbTool, TheProgramExitsWithTheCode) {
  int status = std::system((std::string(K2XDB_PROGRAM) + " >/dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  const std::string d = Dir("by-hand").string() + "/DBFILES";
  const std::string k = K2XDB_PROGRAM;
  std::string out = (Dir("by-hand") / "out.txt").string();
  status = std::system(("(" + k + " init " + d + " && " + k + " add-album " + d + " Trip && " + k + " add-content " +
                        d + " 1 100 1 '2009-03-15 00:00:00' && " + k + " list " + d + " && " + k + " check " + d +
                        ") > " + out + " 2>&1")
                           .c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(out);
  std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(printed,
            "1\n2 1\n"
            "album 1 date=1970-01-01 00:00:00 preference=3 title=\"Trip\"\n"
            "content 2 album=1 guid=1 dcf=100-0001 date=2009-03-15 00:00:00 misc=1 share=0 favorite=0\n"
            "ok\n");
}

// Each injected failure of an add-content, before and after the commit
// (the journal renamed and its folder synced), and an answer that cannot be
// written: the exit code, the line on standard error, and what the next
// open shows, the old state (one content) or the new (two), never more.
TEST_F(K2xdbTool, EditsFailBeforeTheCommitAndSucceedAfterIt) {
  struct Row {
    const char* name;
    // Where a call fails, under the database folder ("" for the folder).
    SysCall call;
    const char* file;
    int error;
    int nth;    // the first failing call
    int times;  // how many fail; -1 every one
    bool answerLost;
    int code;
    // The line on standard error, "F" for the folder; empty for none.
    const char* line;
    size_t contents;
  };
  const std::string failed = "k2xdb: F: Error: flush failed (0x811A): ";
  const std::string pending =
      "k2xdb: F: warning: the change is committed and will be completed at the next open; completing it failed "
      "(0x811A): ";
  const std::string journalSync = failed + "fsync F/XDB.JNT: Input/output error\n";
  const std::string journalFull = "k2xdb: F: Error: flush failed (0x8109): write F/XDB.JNT: No space left on device\n";
  const std::string folderSync = failed + "fsync F: Input/output error\n";
  const std::string applyWrite = pending + "write F/DATA.BLK: Input/output error\n";
  const std::string fileSync = pending + "fsync F/XDB.DAT: Input/output error\n";
  const std::string removal = pending + "unlink F/XDB.JNL: Input/output error\n";
  const std::string lost = "k2xdb: F: the answer cannot be written, so nothing is changed\n";
  const Row rows[] = {
      {"journal sync", SysCall::kFsync, "/XDB.JNT", EIO, 1, -1, false, 1, journalSync.c_str(), 1},
      {"journal write, disk full", SysCall::kWrite, "/XDB.JNT", ENOSPC, 1, -1, false, 1, journalFull.c_str(), 1},
      {"folder sync after the rename", SysCall::kFsync, "", EIO, 2, 1, false, 1, folderSync.c_str(), 1},
      {"apply write", SysCall::kWrite, "/DATA.BLK", EIO, 1, -1, false, 0, applyWrite.c_str(), 2},
      {"file sync", SysCall::kFsync, "/XDB.DAT", EIO, 1, -1, false, 0, fileSync.c_str(), 2},
      {"journal removal", SysCall::kUnlink, "/XDB.JNL", EIO, 1, -1, false, 0, removal.c_str(), 2},
      {"file sync fails once, the close completes", SysCall::kFsync, "/XDB.DAT", EIO, 1, 1, false, 0, "", 2},
      {"answer lost", SysCall::kFsync, "/none", EIO, 1, -1, true, 1, lost.c_str(), 1},
  };
  int number = 0;
  for (const Row& row : rows) {
    const std::string folder = (Dir("row" + std::to_string(++number)) / "DBFILES").string();
    ASSERT_EQ(Run({"init", folder}).code, 0);
    ASSERT_EQ(Run({"add-album", folder, "Trip"}).code, 0);
    ASSERT_EQ(Run({"add-content", folder, "1", "100", "1", "2009-03-15 00:00:00"}).code, 0);
    Outcome outcome;
    {
      testsupport::FaultInjection faults;
      int rule = faults.Add(
          Fault(row.call, folder + row.file).Errno(row.error).FromCall(row.nth).Times(row.times));
      outcome = Run({"add-content", folder, "1", "100", "2", "2009-03-15 00:00:00"}, row.answerLost);
      EXPECT_EQ(faults.Hits(rule) > 0, !row.answerLost) << row.name;
    }
    EXPECT_EQ(outcome.code, row.code) << row.name;
    EXPECT_EQ(Replaced(outcome.err, folder, "F"), row.line) << row.name;
    if (!row.answerLost) {
      EXPECT_EQ(outcome.out, "3 2\n") << row.name;
    }
    Outcome listed = Run({"list", folder});
    size_t contents = 0;
    for (size_t at = listed.out.find("content "); at != std::string::npos; at = listed.out.find("content ", at + 1)) {
      ++contents;
    }
    EXPECT_EQ(contents, row.contents) << row.name << "\n" << listed.out;
    EXPECT_FALSE(fs::exists(fs::path(folder) / "XDB.JNL")) << row.name << ": the open completed it";
    EXPECT_EQ(Run({"check", folder}).out, "ok\n") << row.name;
  }
}

TEST_F(K2xdbTool, TheProgramFailsWhenItsAnswerCannotBeWritten) {
  const std::string k = K2XDB_PROGRAM;
  const std::string d = Dir("by-hand").string() + "/DBFILES";
  ASSERT_EQ(Run({"init", d}).code, 0);
  ASSERT_EQ(Run({"add-album", d, "Trip"}).code, 0);
  const std::string err = (Dir("by-hand") / "err.txt").string();
  struct Row {
    const char* name;
    const char* redirection;
    const char* reason;
  };
  const Row rows[] = {
      {"closed", ">&-", "Bad file descriptor"},
      {"full", ">/dev/full", "No space left on device"},
  };
  for (const Row& row : rows) {
    for (const std::string& edit : {"add-album " + d + " Other", "add-content " + d + " 1 100 1 '2009-03-15 00:00:00'",
                                    "list " + d}) {
      int status = std::system((k + " " + edit + " " + row.redirection + " 2>" + err).c_str());
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 1) << row.name << ": " << edit;
      std::ifstream in(err);
      std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(printed, "k2xdb: " + d + ": the answer cannot be written, so nothing is changed: write standard "
                             "output: " + row.reason + "\n")
          << row.name << ": " << edit;
    }
  }
  EXPECT_EQ(Run({"list", d}).out, "album 1 date=1970-01-01 00:00:00 preference=3 title=\"Trip\"\n");
}

TEST_F(K2xdbTool, RelativeFoldersAreTakenFromTheWorkingFolder) {
  const std::string k = K2XDB_PROGRAM;
  const fs::path here = Dir("here");
  const std::string out = (here / "out.txt").string();
  const std::string script = "cd " + here.string() + " && " + k + " init db && " + k +
                             " add-album db/ Trip >/dev/null && " + k + " list db > " + out + " 2>&1 && cd db && " +
                             k + " check . >> " + out + " 2>&1";
  int status = std::system(script.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(out);
  std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(printed, "album 1 date=1970-01-01 00:00:00 preference=3 title=\"Trip\"\nok\n");
  EXPECT_TRUE(fs::exists(here / "db" / "XDB.DAT"));
}

TEST_F(K2xdbTool, DeleteRefusesAnAlbumThatHoldsContents) {
  ASSERT_EQ(Run({"init", folder_}).code, 0);
  ASSERT_EQ(Run({"add-album", folder_, "Trip"}).code, 0);
  ASSERT_EQ(Run({"add-content", folder_, "1", "100", "1", "2009-03-15 00:00:00"}).code, 0);
  ASSERT_EQ(Run({"add-content", folder_, "1", "100", "2", "2009-03-15 00:00:00"}).code, 0);
  const std::string before = Run({"list", folder_}).out;
  Outcome refused = Run({"delete", folder_, "1"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.err, "k2xdb: " + folder_ + ": album 1 holds 2 contents; it is not deleted\n");
  EXPECT_EQ(Run({"list", folder_}).out, before);
  ASSERT_EQ(Run({"delete", folder_, "2"}).code, 0);
  EXPECT_EQ(Run({"delete", folder_, "1"}).err, "k2xdb: " + folder_ + ": album 1 holds 1 content; it is not deleted\n");
  ASSERT_EQ(Run({"delete", folder_, "3"}).code, 0);
  EXPECT_EQ(Run({"delete", folder_, "1"}).code, 0);
  EXPECT_EQ(Run({"list", folder_}).out, "");
}

TEST_F(K2xdbTool, CheckReportsContentsWhoseAlbumIsGone) {
  ASSERT_EQ(Run({"init", folder_}).code, 0);
  ASSERT_EQ(Run({"add-album", folder_, "Trip"}).code, 0);
  ASSERT_EQ(Run({"add-album", folder_, "Kept"}).code, 0);
  ASSERT_EQ(Run({"add-content", folder_, "1", "100", "1", "2009-03-15 00:00:00"}).code, 0);
  ASSERT_EQ(Run({"add-content", folder_, "2", "100", "2", "2009-03-15 00:00:00"}).code, 0);
  ASSERT_EQ(Run({"add-content", folder_, "1", "100", "3", "2009-03-15 00:00:00"}).code, 0);
  DeleteAlbumBehindTheTool(folder_, 1);
  Outcome checked = Run({"check", folder_});
  EXPECT_EQ(checked.code, 1);
  EXPECT_EQ(checked.out,
            "content 3 names album 1, which does not exist\n"
            "content 5 names album 1, which does not exist\n");
}

TEST_F(K2xdbTool, DatesRoundTrip) {
  const char* const dates[] = {"1970-01-01 00:00:00", "2009-03-15 00:00:00", "2000-02-29 12:34:56",
                               "1969-12-31 23:59:59", "2038-01-19 03:14:08"};
  for (const char* text : dates) {
    double time = 0;
    ASSERT_TRUE(::K2xdbTool::ParseDate(text, &time)) << text;
    EXPECT_EQ(::K2xdbTool::FormatDate(time), text);
  }
  double time = 0;
  ASSERT_TRUE(::K2xdbTool::ParseDate("2009-03-15 00:00:00", &time));
  struct Edge {
    double time;
    const char* text;
  };
  const Edge edges[] = {{8.64e15, "275760-09-13 00:00:00"},
                        {-8.64e15, "-271821-04-20 00:00:00"},
                        {8.64e15 + 1000, "invalid"},
                        {-8.64e15 - 1000, "invalid"},
                        {9.3e21, "invalid"},
                        {-9.3e21, "invalid"},
                        {1e300, "invalid"},
                        {std::numeric_limits<double>::max(), "invalid"},
                        {-std::numeric_limits<double>::infinity(), "invalid"},
                        {std::numeric_limits<double>::quiet_NaN(), "invalid"}};
  for (const Edge& edge : edges) {
    EXPECT_EQ(::K2xdbTool::FormatDate(edge.time), edge.text) << edge.time;
  }
  EXPECT_EQ(time, 1237075200000.0);
  for (const char* bad : {"2009-13-01 00:00:00", "2001-02-29 00:00:00", "2009-03-15 24:00:00", "2009-03-15T00:00:00",
                          "+009-03-15 00:00:00", ""}) {
    EXPECT_FALSE(::K2xdbTool::ParseDate(bad, &time)) << bad;
  }
}

}  // namespace
