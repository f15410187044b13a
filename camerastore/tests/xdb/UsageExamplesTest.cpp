// The usage examples at the top of XpDCFRootDir.h and IXdbAccessor.h, run
// as written on a scratch card.
#include <cerrno>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "camerastore/dcf/XpDCFRootDir.h"
#include "camerastore/tests/xdb/XdbEngineFixture.h"
#include "camerastore/xdb/XdbException.h"
#include "platform/fs/XpDir.h"
#include "platform/path/XpPath.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

using namespace XdbAccessor;

class CamerastoreUsageExamples : public xdbtest::EngineTest {
 protected:
  static constexpr const char* kPicture = "DCIM/100ZXDCF/DSC00001.JPG";
};

TEST_F(CamerastoreUsageExamples, XpDCFRootDirPicksTheFolderAnExportWritesInto) {
  struct Case {
    const char* name;
    std::vector<const char*> folders;
    const char16_t* current;
    int32_t number;
  };
  const Case cases[] = {
      {"empty", {}, nullptr, 101},
      {"reused", {"100ZXDCF", "100ABCDE", "104ZXDCF"}, u"104ZXDCF", 105},
      {"full", {"999ZXDCF"}, u"999ZXDCF", XpDCFRootDir::kNoFolderNumberLeft},
  };
  for (const Case& c : cases) {
    const std::filesystem::path dcim = Dir(std::string(c.name) + "/DCIM");
    for (const char* folder : c.folders) std::filesystem::create_directory(dcim / folder);

    XpDCFRootDir root(XpSharedPtr<XpAbstractFSObj>(new XpDir(fstest::ToXp(dcim))));
    const XpResult result = root.ScanFolders();
    ASSERT_EQ(result, kXpOk) << c.name;
    const XpSharedPtr<XpDCFDir> folder = root.NextFlaggedFolder();
    if (folder) root.SetCurrentFolder(folder);
    const int32_t number = root.NextFolderNumber();

    EXPECT_EQ(number, c.number) << c.name;
    if (c.current == nullptr) {
      EXPECT_FALSE(root.GetCurrentFolder()) << c.name;
      continue;
    }
    ASSERT_TRUE(root.GetCurrentFolder()) << c.name;
    EXPECT_EQ(XpPathGetLeafName(root.GetCurrentFolder()->GetPath()), XpString(c.current)) << c.name;
  }
}

// The IXdbAccessor example: the accessor's result, an XdbException's code
// or Commit's.
XpResult RecordOnePicture(const XpString& root, const XpString& path) {
  IXdbAccessor* accessor = nullptr;
  const XpResult opened = CreateDeviceXdbAccessor(&accessor, root);
  if (opened != kXpOk) return opened;
  try {
    IAlbumInfo* album = accessor->CreateAlbum(u"Trip");
    IContentInfo* content =
        accessor->CreateContent(album, path, XpDateTime(2009, 3, 15, 10, 0, 0), 0);
    content->Release();
    album->Release();
  } catch (const XdbException& error) {
    accessor->Release();
    return error.GetCode();
  }
  const int32_t committed = accessor->Commit();
  accessor->Release();
  return committed;
}

TEST_F(CamerastoreUsageExamples, IXdbAccessorRecordsAPictureThatANewAccessorReadsBack) {
  InitDatabase();
  MakeFile(kPicture);
  ASSERT_EQ(RecordOnePicture(CardRoot(), CardPath(kPicture)), kXpOk);

  const xdbtest::AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  const std::unique_ptr<IContentList> contents(accessor->GetAllContents());
  ASSERT_NE(contents, nullptr);
  ASSERT_EQ(contents->GetCount(), 1);
  EXPECT_EQ(contents->GetAt(0)->GetPath(), CardPath(kPicture));
  const std::unique_ptr<IAlbumList> albums(accessor->GetAllAlbums());
  ASSERT_NE(albums, nullptr);
  ASSERT_EQ(albums->GetCount(), 1);
  EXPECT_EQ(albums->GetAt(0)->GetTitle(), XpString(u"Trip"));
}

TEST_F(CamerastoreUsageExamples, IXdbAccessorThatRaisesKeepsNothing) {
  InitDatabase();
  MakeFile(kPicture);
  // The card is full when the accessor makes its work copy.
  testsupport::FaultInjection faults;
  faults.Add(
      testsupport::Fault(testsupport::SysCall::kOpen, (Card() / xdbtest::kEngineWorkCopy).string())
          .ForWriting()
          .Errno(ENOSPC));
  EXPECT_EQ(RecordOnePicture(CardRoot(), CardPath(kPicture)), kXpErrDiskFull);
  faults.Clear();

  const xdbtest::AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  const std::unique_ptr<IContentList> contents(accessor->GetAllContents());
  ASSERT_NE(contents, nullptr);
  EXPECT_EQ(contents->GetCount(), 0);
}

TEST_F(CamerastoreUsageExamples, IXdbAccessorOnACardWithoutADatabaseIsNotOpened) {
  MakeFile(kPicture);
  EXPECT_EQ(RecordOnePicture(CardRoot(), CardPath(kPicture)), kXpErrGeneric);
}

}  // namespace
