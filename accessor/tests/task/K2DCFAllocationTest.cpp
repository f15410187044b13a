#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "accessor/task/K2DCFAllocation.h"
#include "platform/fs/XpDir.h"
#include "platform/path/XpPath.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

namespace fs = std::filesystem;

class K2DCFAllocation : public testsupport::HermeticTest {
 protected:
  fs::path DcfRoot() const { return Dir("cam/DCIM"); }
  XpString DcfRootPath() const { return fstest::ToXp(DcfRoot()) + u"/"; }

  // DCF files numbered first to last in the folder below the DCF root.
  void Fill(const std::string& folder, int first, int last) const {
    const fs::path path = DcfRoot() / folder;
    fs::create_directories(path);
    for (int number = first; number <= last; ++number) {
      char name[16];
      std::snprintf(name, sizeof name, "DSC%05d.JPG", number);
      fstest::WriteBytes(path / name, "x");
    }
  }

  // Items of one source folder, one file each.
  K2ExportItemVector Items(const std::vector<std::u16string>& names) const {
    K2ExportItemVector items;
    for (const std::u16string& name : names) {
      K2ExportItem item;
      item.sourceFolder = fstest::ToXp(Dir("src")) + u"/";
      item.fileNames.push_back(XpString(name.c_str()));
      items.push_back(item);
    }
    return items;
  }
  K2ExportItemVector Jpegs(size_t count) const {
    return Items(std::vector<std::u16string>(count, u"p.jpg"));
  }

  // The destinations below the DCF root, as "folder/name".
  std::vector<std::string> Allocate(K2ExportItemVector& items, XpResult expected = kXpOk) {
    ::K2DCFAllocation allocation(DcfRootPath());
    XpStringVector destinations;
    EXPECT_EQ(allocation.FindDCFFolder(items, &destinations), expected);
    std::vector<std::string> relative;
    const std::string prefix = DcfRoot().string() + "/";
    for (size_t i = 0; i < destinations.size(); ++i) {
      EXPECT_EQ(items[i].destination, destinations[i]);
      std::string path = fstest::ToUtf8(destinations[i]);
      EXPECT_EQ(path.rfind(prefix, 0), 0u) << path;
      relative.push_back(path.substr(prefix.size()));
    }
    return relative;
  }
};

using Names = std::vector<std::string>;

TEST_F(K2DCFAllocation, ContinuesTheCamerasNumbers) {
  struct FolderFill {
    const char* folder;
    int first;
    int last;
  };
  struct Case {
    const char* what;
    std::vector<FolderFill> fills;
    Names expected;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, {"101ZXDCF/QMVS0001.JPG", "101ZXDCF/QMVS0002.JPG", "101ZXDCF/QMVS0003.JPG"}},
      {"105 at 42",
       {{"105ABCDE", 42, 42}},
       {"105ABCDE/QMVS0043.JPG", "105ABCDE/QMVS0044.JPG", "105ABCDE/QMVS0045.JPG"}},
      {"100 empty",
       {{"100XXXXX", 1, 0}},
       {"101ZXDCF/QMVS0001.JPG", "101ZXDCF/QMVS0002.JPG", "101ZXDCF/QMVS0003.JPG"}},
      {"100 at 5",
       {{"100XXXXX", 5, 5}},
       {"100XXXXX/QMVS0006.JPG", "100XXXXX/QMVS0007.JPG", "100XXXXX/QMVS0008.JPG"}},
      {"105 at 9999",
       {{"105ABCDE", 9999, 9999}},
       {"106ZXDCF/QMVS0001.JPG", "106ZXDCF/QMVS0002.JPG", "106ZXDCF/QMVS0003.JPG"}},
      {"999 at 9998",
       {{"999ZXDCF", 9998, 9998}},
       {"999ZXDCF/QMVS9999.JPG", "101ZXDCF/QMVS0001.JPG", "101ZXDCF/QMVS0002.JPG"}},
      {"999 full, 101 at 3",
       {{"999ZXDCF", 9999, 9999}, {"101ZXDCF", 1, 3}},
       {"101ZXDCF/QMVS0004.JPG", "101ZXDCF/QMVS0005.JPG", "101ZXDCF/QMVS0006.JPG"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    fs::remove_all(DcfRoot());
    fs::create_directories(DcfRoot());
    for (const FolderFill& fill : test.fills) {
      Fill(fill.folder, fill.first, fill.last);
    }
    K2ExportItemVector items = Jpegs(3);
    EXPECT_EQ(Allocate(items), test.expected);
    // Every folder a destination names exists once the allocation is done.
    for (const K2ExportItem& item : items) {
      EXPECT_TRUE(fs::is_directory(fs::path(fstest::ToUtf8(item.destination)).parent_path()));
    }
  }
}

TEST_F(K2DCFAllocation, AFullFolderByEntriesOpensTheNextFolder) {
  Fill("102ABCDE", 1, 3998);
  K2ExportItemVector items = Jpegs(3);
  EXPECT_EQ(Allocate(items),
            (Names{"102ABCDE/QMVS3999.JPG", "102ABCDE/QMVS4000.JPG", "103ZXDCF/QMVS0001.JPG"}));
}

TEST_F(K2DCFAllocation, TheSearchNeverRepeatsADestination) {
  Fill("999ZXDCF", 9999, 9999);
  Fill("101ZXDCF", 2, 2);
  Fill("101ZXDCF", 4, 4);
  K2ExportItemVector items = Jpegs(6);
  const Names destinations = Allocate(items);
  EXPECT_EQ(destinations,
            (Names{"101ZXDCF/QMVS0001.JPG", "101ZXDCF/QMVS0003.JPG", "101ZXDCF/QMVS0005.JPG",
                   "101ZXDCF/QMVS0006.JPG", "101ZXDCF/QMVS0007.JPG", "101ZXDCF/QMVS0008.JPG"}));
  EXPECT_EQ(std::set<std::string>(destinations.begin(), destinations.end()).size(),
            destinations.size());
}

TEST_F(K2DCFAllocation, NamesFollowTheSourceKind) {
  struct Case {
    const char16_t* source;
    const char16_t* expected;
  };
  const std::vector<Case> cases = {
      {u"/s/a.mpeg", u"/d/101ZXDCF/QMVM0007.MPG"}, {u"/s/A.MPG", u"/d/101ZXDCF/QMVM0007.MPG"},
      {u"/s/b.TIF", u"/d/101ZXDCF/DSC00007.TIF"},  {u"/s/c.jpe", u"/d/101ZXDCF/QMVS0007.JPG"},
      {u"/s/d.THM", u"/d/101ZXDCF/QMVS0007.JPG"},  {u"/s/e.JPEG", u"/d/101ZXDCF/QMVS0007.JPG"},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(::K2DCFAllocation::MakeDCFFileName(test.source, u"/d/101ZXDCF", 7),
              XpString(test.expected))
        << fstest::ToUtf8(test.source);
  }
}

TEST_F(K2DCFAllocation, MixedItemsShareOneNumberSequence) {
  K2ExportItemVector items = Items({u"a.mpeg", u"b.TIF", u"c.jpe"});
  EXPECT_EQ(Allocate(items),
            (Names{"101ZXDCF/QMVM0001.MPG", "101ZXDCF/DSC00002.TIF", "101ZXDCF/QMVS0003.JPG"}));
}

TEST_F(K2DCFAllocation, TheSearchCreatesAMissingFolder) {
  for (int number = 102; number <= 999; ++number) {
    fs::create_directories(DcfRoot() / (std::to_string(number) + "ZXDCF"));
  }
  Fill("999ZXDCF", 9999, 9999);
  ::K2DCFAllocation allocation(DcfRootPath());
  int32_t folder = -5;
  int32_t file = -5;
  EXPECT_FALSE(fs::exists(DcfRoot() / "101ZXDCF"));
  EXPECT_EQ(allocation.MakeDestinationPath(&folder, &file, {}, 0),
            fstest::ToXp(DcfRoot() / "101ZXDCF"));
  EXPECT_TRUE(fs::is_directory(DcfRoot() / "101ZXDCF"));
  EXPECT_EQ(folder, 101);
  EXPECT_EQ(file, 1);
}

TEST_F(K2DCFAllocation, AFolderThatCannotBeMadeEndsTheAllocation) {
  struct Case {
    const char* what;
    const char* fullFolder;
    int highest;
    XpResult expected;
    Names placed;
  };
  const std::vector<Case> cases = {
      {"first folder", nullptr, 0, kXpErrCreateDirFailed, {}},
      {"next folder", "100ABCDE", 9998, kXpErrCreateDirFailed, {"100ABCDE/QMVS9999.JPG"}},
      {"searched folder", "999ZXDCF", 9998, kXpErrSystem, {"999ZXDCF/QMVS9999.JPG"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    fs::remove_all(DcfRoot());
    fs::create_directories(DcfRoot());
    if (test.fullFolder != nullptr) {
      Fill(test.fullFolder, test.highest, test.highest);
    }
    testsupport::FaultInjection faults;
    faults.Add(testsupport::Fault(testsupport::SysCall::kMkdir, (DcfRoot() / "101ZXDCF").string())
                   .Errno(EIO));
    K2ExportItemVector items = Jpegs(3);
    EXPECT_EQ(Allocate(items, test.expected), test.placed);
    EXPECT_TRUE(items.back().destination.IsEmpty());
  }
}

TEST_F(K2DCFAllocation, HighestFileNumber) {
  Fill("100ABCDE", 3, 3);
  Fill("100ABCDE", 17, 17);
  fs::create_directories(DcfRoot() / "101ABCDE");
  XpDCFDir filled(XpSharedPtr<XpAbstractFSObj>(new XpDir(fstest::ToXp(DcfRoot() / "100ABCDE"))));
  XpDCFDir empty(XpSharedPtr<XpAbstractFSObj>(new XpDir(fstest::ToXp(DcfRoot() / "101ABCDE"))));
  EXPECT_EQ(::K2DCFAllocation::HighestFileNumber(filled), 17);
  EXPECT_EQ(::K2DCFAllocation::HighestFileNumber(empty), 0);
}

}  // namespace
