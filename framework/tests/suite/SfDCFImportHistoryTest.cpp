#include "framework/suite/SfDCFImportHistory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/tests/suite/SfDCFImportTestFiles.h"
#include "framework/suite/SfInitTool.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpFile.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "platform/value/XpIniArray.h"
#include "platform/value/XpIniDict.h"

namespace {

namespace fs = std::filesystem;
using dcfimporttest::MakeFile;
using testsupport::Fault;
using testsupport::SysCall;

constexpr const char16_t* kSuite = u"Kavo Telvane";

// A dictionary that notes the keys added to it, in order.
class RecordingDict : public XpIniDict {
 public:
  XpResult Add(const XpString& path, XpIniType type, const XpIniValue& value = {}) override {
    keys.push_back(path.ToMultiByte().ToStdString());
    types.push_back(type);
    return XpIniDict::Add(path, type, value);
  }
  std::vector<std::string> keys;
  std::vector<XpIniType> types;
};

class ImportHistoryFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    dcfimporttest::StageMountTable(std::getenv("KAVO_SYSROOT"), Root());
  }
  void TearDown() override {
    faults_.Clear();
    HermeticTest::TearDown();
  }

  fs::path T(const std::string& relative) const { return Root() / relative; }
  static XpString W(const fs::path& path) { return XpString::FromUtf8(path.string()); }
  static fs::path ImporterDir() {
    return fs::path(std::getenv("XDG_DATA_HOME")) / "Kavo Corporation/Kavo Telvane/Importer";
  }
  static size_t FilesBelow(const fs::path& folder) {
    size_t count = 0;
    if (!fs::exists(folder)) return 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
  }
  // The saved history as a dictionary.
  static void LoadSaved(const ::SfDCFImportHistory& history, XpIniDict* dict) {
    ASSERT_EQ(dict->LoadFromFile(history.GetFilePath()), kXpOk);
  }
  // Writes dict as the history file of name.
  static void WriteHistoryFile(const XpString& name, XpIniDict& dict) {
    ASSERT_EQ(dict.SaveToFile(::SfDCFImportHistory(name).GetFilePath()), kXpOk);
  }

  testsupport::FaultInjection faults_;
};

using History = ::SfDCFImportHistory;
using SfDCFImportHistory = ImportHistoryFixture;

TEST_F(SfDCFImportHistory, FilePathLiesInTheImporterFolderOfTheDataHome) {
  ASSERT_FALSE(fs::exists(ImporterDir()));
  const History history(u"ABC");
  EXPECT_EQ(history.GetFilePath().ToMultiByte().ToStdString(),
            (ImporterDir() / "ABC.xml").string());
  EXPECT_TRUE(fs::is_directory(ImporterDir()));
}

TEST_F(SfDCFImportHistory, RefusesNamesThatAreNoFileName) {
  MakeFile(T("m1/DCIM/A.JPG"), 3);
  const XpString names[] = {u"", u"../x", u".", u"..", u"a/b", XpString(u"a\0b", 3)};
  for (const XpString& name : names) {
    History history(name);
    history.AddImportedFile(W(T("m1/DCIM/A.JPG")));
    EXPECT_EQ(history.Save(), kXpErrOpenForWriteFailed) << name.ToMultiByte().ToStdString();
    EXPECT_EQ(history.Load(), kXpErrOpenForWriteFailed) << name.ToMultiByte().ToStdString();
    EXPECT_EQ(history.GetFilePath(), XpString()) << name.ToMultiByte().ToStdString();
    EXPECT_EQ(history.GetCount(), 1u) << name.ToMultiByte().ToStdString();
  }
  EXPECT_EQ(FilesBelow(std::getenv("XDG_DATA_HOME")), 0u);
  EXPECT_EQ(FilesBelow(Root() / "home"), 0u);
}

TEST_F(SfDCFImportHistory, RecordsPathRelativeToTheMountPointAndReplacesBySameNameIgnoringCase) {
  MakeFile(T("m1/DCIM/100ABCDE/DSC01234.JPG"), 10);
  MakeFile(T("m2/dcim/100abcde/dsc01234.jpg"), 25);
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(30);
  fs::last_write_time(T("m1/DCIM/100ABCDE/DSC01234.JPG"), old);
  History history(u"H");

  history.AddImportedFile(W(T("m1/DCIM/100ABCDE/DSC01234.JPG")));
  ASSERT_EQ(history.GetCount(), 1u);
  EXPECT_EQ(history.GetRecords()[0].GetPath(), XpString(u"DCIM/100ABCDE/DSC01234.JPG"));
  EXPECT_EQ(history.GetRecords()[0].GetSize(), 10);

  history.AddImportedFile(W(T("m2/dcim/100abcde/dsc01234.jpg")));
  ASSERT_EQ(history.GetCount(), 1u);
  const SfDCFImportedFile second(W(T("m2/dcim/100abcde/dsc01234.jpg")));
  const SfDCFImportedFile& held = history.GetRecords()[0];
  EXPECT_EQ(held.GetPath(), XpString(u"dcim/100abcde/dsc01234.jpg"));
  EXPECT_EQ(held.GetSize(), 25);
  EXPECT_TRUE(held.GetModified().IsValid());
  EXPECT_EQ(held.GetModified(), second.GetModified());
  EXPECT_EQ(held.GetCreated(), second.GetCreated());
  EXPECT_TRUE(held == second);

  MakeFile(T("m1/DCIM/100ABCDE/DSC01235.JPG"), 1);
  history.AddImportedFile(W(T("m1/DCIM/100ABCDE/DSC01235.JPG")));
  EXPECT_EQ(history.GetCount(), 2u);
}

TEST_F(SfDCFImportHistory, ContainsAFileOnlyWhileItIsUnchanged) {
  const fs::path file = T("m1/DCIM/100ABCDE/DSC00001.JPG");
  MakeFile(file, 100);
  History history(u"H");
  history.AddImportedFile(W(file));
  EXPECT_TRUE(history.Contains(W(file)));
  EXPECT_FALSE(history.Contains(W(T("m2/DCIM/100ABCDE/dsc00001.jpg"))));

  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(1));
  EXPECT_FALSE(history.Contains(W(file)));

  history.AddImportedFile(W(file));
  EXPECT_TRUE(history.Contains(W(file)));
  fs::resize_file(file, 101);
  EXPECT_FALSE(history.Contains(W(file)));
}

TEST_F(SfDCFImportHistory, ContainsAFolderWhenEveryDirectEntryIsRecorded) {
  MakeFile(T("m1/DCIM/100ABCDE/A.JPG"), 1);
  MakeFile(T("m1/DCIM/100ABCDE/b.MOV"), 2);
  fs::create_directories(T("m1/DCIM/101ABCDE"));
  History history(u"H");
  history.AddImportedFile(W(T("m1/DCIM/100ABCDE/A.JPG")));
  const XpSharedPtr<XpAbstractFSObj> folder(new XpDir(W(T("m1/DCIM/100ABCDE"))));
  EXPECT_FALSE(history.Contains(folder));

  history.AddImportedFile(W(T("m1/DCIM/100ABCDE/b.MOV")));
  EXPECT_TRUE(history.Contains(folder));

  const XpSharedPtr<XpAbstractFSObj> file(new XpFile(W(T("m1/DCIM/100ABCDE/b.MOV"))));
  EXPECT_TRUE(history.Contains(file));
  const XpSharedPtr<XpAbstractFSObj> empty(new XpDir(W(T("m1/DCIM/101ABCDE"))));
  EXPECT_TRUE(history.Contains(empty));
  const XpSharedPtr<XpAbstractFSObj> missing(new XpDir(W(T("m1/DCIM/102ABCDE"))));
  EXPECT_FALSE(history.Contains(missing));
  EXPECT_FALSE(history.Contains(XpSharedPtr<XpAbstractFSObj>()));

  // The sub-folder is an entry of its parent, and it is not recorded.
  const XpSharedPtr<XpAbstractFSObj> dcim(new XpDir(W(T("m1/DCIM"))));
  EXPECT_FALSE(history.Contains(dcim));
}

TEST_F(SfDCFImportHistory, RecordsTheLowWordOfTheSizeAndUnreadableFilesAsUnknown) {
  const fs::path big = T("m1/DCIM/100ABCDE/BIG.MOV");
  fs::create_directories(big.parent_path());
  const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  const bool sized = ::ftruncate(fd, int64_t{5368709120}) == 0;
  ::close(fd);
  ASSERT_TRUE(sized);
  History history(u"H");
  history.AddImportedFile(W(big));
  history.AddImportedFile(W(T("m1/DCIM/100ABCDE/GONE.JPG")));

  ASSERT_EQ(history.GetCount(), 2u);
  EXPECT_EQ(history.GetRecords()[0].GetSize(), 1073741824);
  const SfDCFImportedFile& gone = history.GetRecords()[1];
  EXPECT_EQ(gone.GetPath(), XpString(u"DCIM/100ABCDE/GONE.JPG"));
  EXPECT_EQ(gone.GetSize(), -1);
  EXPECT_FALSE(gone.GetCreated().IsValid());
  EXPECT_FALSE(gone.GetModified().IsValid());
}

TEST_F(SfDCFImportHistory, SavesAnEmptyListAsAnEmptyArray) {
  History history(u"Empty");
  ASSERT_EQ(history.Save(), kXpOk);
  XpIniDict saved;
  LoadSaved(history, &saved);
  const XpIniElement* files = saved.Find(u"ImportedFiles");
  ASSERT_NE(files, nullptr);
  EXPECT_EQ(files->GetType(), kXpIniTypeArray);
  EXPECT_EQ(files->GetCount(), 0);
  EXPECT_EQ(saved.GetCount(), 1);
}

TEST_F(SfDCFImportHistory, WritesPathModifiedCreatedAndSizeInThisOrderWithTheirTypes) {
  MakeFile(T("m1/DCIM/100ABCDE/DSC01234.JPG"), 7);
  const SfDCFImportedFile record(W(T("m1/DCIM/100ABCDE/DSC01234.JPG")));
  RecordingDict written;
  EXPECT_EQ(record.Write(written), kXpOk);
  EXPECT_EQ(written.keys, (std::vector<std::string>{"Path", "Modified", "Created", "Size"}));
  EXPECT_EQ(written.types, (std::vector<XpIniType>{kXpIniTypeString, kXpIniTypeDate, kXpIniTypeDate,
                                                   kXpIniTypeInt}));

  History history(u"Typed");
  history.AddImportedFile(W(T("m1/DCIM/100ABCDE/DSC01234.JPG")));
  ASSERT_EQ(history.Save(), kXpOk);
  XpIniDict saved;
  LoadSaved(history, &saved);
  const struct {
    const char16_t* key;
    XpIniType type;
  } fields[] = {{u"ImportedFiles/0/Path", kXpIniTypeString},
                {u"ImportedFiles/0/Modified", kXpIniTypeDate},
                {u"ImportedFiles/0/Created", kXpIniTypeDate},
                {u"ImportedFiles/0/Size", kXpIniTypeInt}};
  for (const auto& field : fields) {
    const XpIniElement* element = saved.Find(field.key);
    ASSERT_NE(element, nullptr) << XpString(field.key).ToMultiByte().ToStdString();
    EXPECT_EQ(element->GetType(), field.type) << XpString(field.key).ToMultiByte().ToStdString();
  }
  XpString path;
  ASSERT_EQ(saved.Find(u"ImportedFiles/0/Path")->GetString(&path), kXpOk);
  EXPECT_EQ(path, XpString(u"DCIM/100ABCDE/DSC01234.JPG"));
}

TEST_F(SfDCFImportHistory, SaveListsTheFileOnceForTheInitToolToDelete) {
  History history(u"ABC");
  ASSERT_EQ(history.Save(), kXpOk);
  ASSERT_EQ(history.Save(), kXpOk);
  XpStringVector list;
  ASSERT_EQ(SfInitToolGetList(kSuite, &list, u"ImportHistory", u"Delete"), kXpOk);
  EXPECT_EQ(list, (XpStringVector{W(ImporterDir() / "ABC.xml")}));
}

TEST_F(SfDCFImportHistory, LoadAppendsTheSavedRecords) {
  MakeFile(T("m1/DCIM/100ABCDE/A.JPG"), 1);
  MakeFile(T("m1/DCIM/100ABCDE/B.JPG"), 2);
  History saved(u"H");
  saved.AddImportedFile(W(T("m1/DCIM/100ABCDE/A.JPG")));
  saved.AddImportedFile(W(T("m1/DCIM/100ABCDE/B.JPG")));
  ASSERT_EQ(saved.Save(), kXpOk);

  History loaded(u"H");
  ASSERT_EQ(loaded.Load(), kXpOk);
  EXPECT_EQ(loaded.GetRecords(), saved.GetRecords());
  EXPECT_TRUE(loaded.Contains(W(T("m1/DCIM/100ABCDE/A.JPG"))));
  ASSERT_EQ(loaded.Load(), kXpOk);
  ASSERT_EQ(loaded.GetCount(), 4u);
  EXPECT_EQ(loaded.GetRecords()[2], saved.GetRecords()[0]);
  EXPECT_EQ(loaded.GetRecords()[3], saved.GetRecords()[1]);

  History missing(u"Missing");
  EXPECT_EQ(missing.Load(), kXpErrFileNotFound);
  EXPECT_EQ(missing.GetCount(), 0u);
}

TEST_F(SfDCFImportHistory, LoadPassesOverWhatIsNoRecordAndKeepsDefaultsForMissingKeys) {
  XpIniDict other;
  ASSERT_EQ(other.Add(u"Other", kXpIniTypeInt, 1), kXpOk);
  WriteHistoryFile(u"NoList", other);
  History noList(u"NoList");
  EXPECT_EQ(noList.Load(), kXpOk);
  EXPECT_EQ(noList.GetCount(), 0u);

  XpIniDict mixed;
  ASSERT_EQ(mixed.Add(u"ImportedFiles", kXpIniTypeArray), kXpOk);
  XpIniElement* files = mixed.Find(u"ImportedFiles");
  ASSERT_EQ(files->InsertAt(XpIniArray::kAppend, kXpIniTypeString, u"DCIM/X.JPG"), kXpOk);
  ASSERT_EQ(files->InsertAt(XpIniArray::kAppend, kXpIniTypeDict), kXpOk);
  ASSERT_EQ(mixed.Add(u"ImportedFiles/1/Path", kXpIniTypeString, u"DCIM/Y.JPG"), kXpOk);
  ASSERT_EQ(mixed.Add(u"ImportedFiles/1/Size", kXpIniTypeString, u"12"), kXpOk);
  ASSERT_EQ(files->InsertAt(XpIniArray::kAppend, kXpIniTypeDict), kXpOk);
  ASSERT_EQ(mixed.Add(u"ImportedFiles/2/Size", kXpIniTypeInt, 12), kXpOk);
  WriteHistoryFile(u"Mixed", mixed);

  History history(u"Mixed");
  ASSERT_EQ(history.Load(), kXpOk);
  ASSERT_EQ(history.GetCount(), 2u);
  const SfDCFImportedFile& pathOnly = history.GetRecords()[0];
  EXPECT_EQ(pathOnly.GetPath(), XpString(u"DCIM/Y.JPG"));
  EXPECT_EQ(pathOnly.GetSize(), -1);
  EXPECT_FALSE(pathOnly.GetCreated().IsValid());
  EXPECT_FALSE(pathOnly.GetModified().IsValid());
  EXPECT_EQ(history.GetRecords()[1].GetPath(), XpString());
  EXPECT_EQ(history.GetRecords()[1].GetSize(), 12);
}

TEST_F(SfDCFImportHistory, AFailedSaveLeavesThePreviousHistoryWhole) {
  for (const char* name : {"A.JPG", "B.JPG", "C.JPG"}) MakeFile(T("m1/DCIM/100ABCDE") / name, 4);
  History history(u"Safe");
  history.AddImportedFile(W(T("m1/DCIM/100ABCDE/A.JPG")));
  history.AddImportedFile(W(T("m1/DCIM/100ABCDE/B.JPG")));
  ASSERT_EQ(history.Save(), kXpOk);

  history.AddImportedFile(W(T("m1/DCIM/100ABCDE/C.JPG")));
  const int rule = faults_.Add(Fault(SysCall::kWrite, ImporterDir().string()).Errno(ENOSPC));
  EXPECT_EQ(history.Save(), kXpErrDiskFull);
  EXPECT_GT(faults_.Hits(rule), 0);
  faults_.Clear();

  History reloaded(u"Safe");
  ASSERT_EQ(reloaded.Load(), kXpOk);
  ASSERT_EQ(reloaded.GetCount(), 2u);
  EXPECT_EQ(reloaded.GetRecords()[0], history.GetRecords()[0]);
  EXPECT_EQ(reloaded.GetRecords()[1], history.GetRecords()[1]);
  EXPECT_EQ(FilesBelow(ImporterDir()), 1u);
}

}  // namespace
