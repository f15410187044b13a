#include "framework/suite/SfDCFImportTask.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/suite/SfDCFImportHistory.h"
#include "framework/tests/suite/SfDCFImportTestFiles.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpFile.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

namespace fs = std::filesystem;
using dcfimporttest::MakeFile;

// A task item as the camera import derives one: its file list is the
// source's entries, and it records them in a history.
class ListingTask : public ::SfDCFImportTask {
 public:
  XpResult Import() override { return BuildFileList(); }
  XpResult BuildFileList() override {
    fileList_.clear();
    return CollectFiles(&fileList_);
  }
  XpResult AddToHistory(SfDCFImportHistory* history) override {
    for (const XpString& path : fileList_) history->AddImportedFile(path);
    return kXpOk;
  }
};

class ImportTaskFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    dcfimporttest::StageMountTable(std::getenv("KAVO_SYSROOT"), Root());
    MakeFile(T("m1/DCIM/100ABCDE/b.JPG"), 3);
    MakeFile(T("m1/DCIM/100ABCDE/A.jpg"), 4);
    MakeFile(T("m1/DCIM/100ABCDE/C/inner.JPG"), 5);
    fs::create_directories(T("m1/EMPTY"));
  }

  fs::path T(const std::string& relative) const { return Root() / relative; }
  XpString W(const std::string& relative) const { return XpString::FromUtf8(T(relative).string()); }
  XpSharedPtr<XpAbstractFSObj> Folder(const std::string& relative) const {
    return XpSharedPtr<XpAbstractFSObj>(new XpDir(W(relative)));
  }
  XpSharedPtr<XpAbstractFSObj> File(const std::string& relative) const {
    return XpSharedPtr<XpAbstractFSObj>(new XpFile(W(relative)));
  }
};
using SfDCFImportTask = ImportTaskFixture;

TEST_F(SfDCFImportTask, CountFilesCountsDirectEntriesOnly) {
  const struct {
    const char* name;
    XpSharedPtr<XpAbstractFSObj> source;
    uint64_t expected;
  } cases[] = {
      {"no source", XpSharedPtr<XpAbstractFSObj>(), 0},
      {"a file", File("m1/DCIM/100ABCDE/b.JPG"), 1},
      {"two files and a sub-folder", Folder("m1/DCIM/100ABCDE"), 3},
      {"a folder with one sub-folder", Folder("m1/DCIM"), 1},
      {"an empty folder", Folder("m1/EMPTY"), 0},
      {"a missing folder", Folder("m1/DCIM/999ABCDE"), 0},
  };
  for (const auto& row : cases) {
    ListingTask task;
    task.SetSource(row.source);
    EXPECT_EQ(task.CountFiles(), row.expected) << row.name;
  }
}

TEST_F(SfDCFImportTask, CollectFilesAppendsInNameOrderWithCaseFolded) {
  ListingTask task;
  XpStringVector files{u"already"};
  EXPECT_EQ(task.CollectFiles(&files), kXpErrWrongState);
  EXPECT_EQ(files, XpStringVector{u"already"});

  task.SetSource(Folder("m1/DCIM/100ABCDE"));
  EXPECT_EQ(task.CollectFiles(&files), kXpOk);
  EXPECT_EQ(files, (XpStringVector{u"already", W("m1/DCIM/100ABCDE/A.jpg"),
                                   W("m1/DCIM/100ABCDE/b.JPG"), W("m1/DCIM/100ABCDE/C")}));

  task.SetSource(File("m1/DCIM/100ABCDE/b.JPG"));
  XpStringVector one;
  EXPECT_EQ(task.CollectFiles(&one), kXpOk);
  EXPECT_EQ(one, XpStringVector{W("m1/DCIM/100ABCDE/b.JPG")});

  task.SetSource(Folder("m1/DCIM/999ABCDE"));
  XpStringVector none;
  EXPECT_NE(task.CollectFiles(&none), kXpOk);
  EXPECT_TRUE(none.empty());
}

TEST_F(SfDCFImportTask, HoldsASharedSourceAndAName) {
  ListingTask task;
  EXPECT_TRUE(task.GetSource().IsNull());
  EXPECT_EQ(task.GetName(), XpString());
  const XpSharedPtr<XpAbstractFSObj> first = Folder("m1/DCIM/100ABCDE");
  task.SetSource(first);
  EXPECT_EQ(first.UseCountForTest(), 2);
  EXPECT_TRUE(task.GetSource() == first);
  task.SetSource(File("m1/DCIM/100ABCDE/b.JPG"));
  EXPECT_EQ(first.UseCountForTest(), 1);
  task.SetName(u"100ABCDE");
  EXPECT_EQ(task.GetName(), XpString(u"100ABCDE"));
}

TEST_F(SfDCFImportTask, ADerivedItemRecordsItsFolderInAHistory) {
  ListingTask task;
  task.SetSource(Folder("m1/DCIM/100ABCDE"));
  ASSERT_EQ(task.Import(), kXpOk);
  EXPECT_EQ(task.GetFileList().size(), 3u);
  ::SfDCFImportHistory history(u"Camera");
  EXPECT_FALSE(history.Contains(task.GetSource()));
  ASSERT_EQ(task.AddToHistory(&history), kXpOk);
  EXPECT_EQ(history.GetCount(), 3u);
  EXPECT_TRUE(history.Contains(task.GetSource()));
  EXPECT_EQ(history.GetRecords()[0].GetPath(), XpString(u"DCIM/100ABCDE/A.jpg"));
}

}  // namespace
