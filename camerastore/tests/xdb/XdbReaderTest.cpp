#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbAccessorFixture.h"
#include "camerastore/xdb/ContentList.h"
#include "camerastore/xdb/IAlbumList.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/XdbReader.h"

namespace {

using xdbtest::Owned;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;

constexpr double kDate = 1237060800000.0;

ScriptedAnswer ContentObject(int32_t albumId, int32_t guid) {
  return ScriptedAnswer::ReturnObject({{"date", ScriptedValue::Number(kDate)},
                                       {"folderID", ScriptedValue::Integer(100)},
                                       {"fileID", ScriptedValue::Integer(guid)},
                                       {"albumID", ScriptedValue::Integer(albumId)},
                                       {"misc", ScriptedValue::Integer(1)},
                                       {"shareFlag", ScriptedValue::Integer(0)},
                                       {"favoriteFlag", ScriptedValue::Integer(0)},
                                       {"guid", ScriptedValue::Integer(guid)}},
                                      true);
}

ScriptedAnswer AlbumObject(const char* title) {
  return ScriptedAnswer::ReturnObject({{"albumDate", ScriptedValue::Number(kDate)},
                                       {"title", ScriptedValue::String(title)},
                                       {"preference", ScriptedValue::Integer(3)}});
}

// Exposes the step that turns a set into contents.
class ExposedReader : public XdbAccessor::XdbReader {
 public:
  using XdbReader::AddContentsFromResult;
  using XdbReader::XdbReader;
};

// Cancels the reader once it holds one content.
class CancellingList : public XdbAccessor::ContentList {
 public:
  explicit CancellingList(XdbAccessor::IXdbReader* reader) : reader_(reader) {}
  bool Add(XdbAccessor::ContentInfo* content) override {
    const bool added = ContentList::Add(content);
    reader_->Cancel();
    return added;
  }

 private:
  XdbAccessor::IXdbReader* reader_;
};

class XdbReader : public xdbtest::AccessorTest {
 protected:
  void SetUp() override {
    AccessorTest::SetUp();
    MakeFolder(".");
    Open();
  }

  Owned<ExposedReader> MakeReader() { return Owned<ExposedReader>(new ExposedReader(CardRoot())); }

  // A set of contents, one per guid, all of the album.
  void AnswerContents(int32_t albumId, const std::vector<int32_t>& guids) {
    scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(static_cast<int64_t>(guids.size()))));
    for (int32_t guid : guids) {
      scripted_->Answer("set.getRecord", ContentObject(albumId, guid));
      scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(guid)));
    }
  }

  std::vector<std::string> Methods() const {
    std::vector<std::string> methods;
    for (const fsktest::ScriptedCall& call : LoggedCalls()) {
      methods.push_back(call.method);
    }
    return methods;
  }

  static std::vector<int64_t> Guids(const XdbAccessor::IContentList* list) {
    std::vector<int64_t> guids;
    for (int32_t i = 0; i < list->GetCount(); ++i) {
      guids.push_back(list->GetAt(i)->GetGuid());
    }
    return guids;
  }
};

TEST_F(XdbReader, AttachingNeedsAnExistingRoot) {
  EXPECT_EQ(Raised([&] { ExposedReader reader(CardRoot() + u"missing/"); }), kXpErrPathNotFound);
}

TEST_F(XdbReader, ShareFlagsWithoutKnownBitsSearchNothing) {
  struct Case {
    uint32_t flags;
    bool listed;
  };
  const Case cases[] = {{0, false}, {0x40, true}, {0xC0, true}};
  Owned<ExposedReader> reader = MakeReader();
  for (const Case& c : cases) {
    Mark();
    std::unique_ptr<XdbAccessor::IContentList> list(reader->GetContentsByShareFlags(c.flags));
    EXPECT_EQ(list != nullptr, c.listed) << c.flags;
    if (list) {
      EXPECT_EQ(list->GetCount(), 0) << c.flags;
    }
    EXPECT_TRUE(Logged().empty()) << c.flags;
  }
}

TEST_F(XdbReader, ACancelBeforeTheFirstGroupGivesAnEmptyList) {
  Owned<ExposedReader> reader = MakeReader();
  reader->Cancel();
  Mark();
  std::unique_ptr<XdbAccessor::IContentList> list(reader->GetContentsByShareFlags(0x5));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_TRUE(Logged().empty());
  // The query returned normally, so the next one runs.
  scripted_->Answer("Master.searchGroup", ScriptedAnswer::ReturnSet());
  AnswerContents(4, {7});
  list.reset(reader->GetContentsByShareFlags(0x1));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Guids(list.get()), std::vector<int64_t>{7});
}

TEST_F(XdbReader, ShareFlagsJoinTheirGroups) {
  Owned<ExposedReader> reader = MakeReader();
  scripted_->Answer("Master.searchGroup", ScriptedAnswer::ReturnSet());
  scripted_->Answer("Master.searchGroup", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.or", ScriptedAnswer::ReturnSet());
  AnswerContents(4, {7});
  std::unique_ptr<XdbAccessor::IContentList> list(reader->GetContentsByShareFlags(0x5));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Guids(list.get()), std::vector<int64_t>{7});
  std::vector<std::string> searches;
  for (const fsktest::ScriptedCall& call : LoggedCalls()) {
    if (call.method == "searchGroup" || call.method == "or") {
      searches.push_back(call.receiver + "." + call.Text());
    }
  }
  const std::vector<std::string> expected = {"master#1.searchGroup(\"sf\", 2)", "master#1.searchGroup(\"sf\", 8)",
                                             "set#2.or([set#1])"};
  EXPECT_EQ(searches, expected);
  int32_t freed = 0;
  for (const std::string& method : Methods()) {
    freed += method == "free" ? 1 : 0;
  }
  EXPECT_EQ(freed, 3);
}

TEST_F(XdbReader, AnEmptyDatabaseGivesEmptyLists) {
  Owned<ExposedReader> reader = MakeReader();
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(0)));
  std::unique_ptr<XdbAccessor::IAlbumList> albums(reader->GetAllAlbums());
  ASSERT_NE(albums, nullptr);
  EXPECT_EQ(albums->GetCount(), 0);
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(0)));
  std::unique_ptr<XdbAccessor::IContentList> contents(reader->GetAllContents());
  ASSERT_NE(contents, nullptr);
  EXPECT_EQ(contents->GetCount(), 0);
}

TEST_F(XdbReader, ContentsAfterAGuidAreSearchedAboveItAndSorted) {
  struct Case {
    int64_t after;
    std::vector<int32_t> found;
  };
  const Case cases[] = {{1, {2, 3}}, {3, {}}};
  Owned<ExposedReader> reader = MakeReader();
  for (const Case& c : cases) {
    Mark();
    scripted_->Answer("Master.rangeSearch", ScriptedAnswer::ReturnSet());
    scripted_->Answer("set.sort", ScriptedAnswer::ReturnSet());
    AnswerContents(4, c.found);
    std::unique_ptr<XdbAccessor::IContentList> list(reader->GetContentsAfterGuid(c.after));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Guids(list.get()), std::vector<int64_t>(c.found.begin(), c.found.end())) << c.after;
    const std::vector<fsktest::ScriptedCall> calls = LoggedCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].method, "rangeSearch");
    ASSERT_EQ(calls[0].arguments.size(), 3u);
    EXPECT_EQ(calls[0].arguments[0], ScriptedValue::String("g"));
    EXPECT_EQ(xdbtest::NumberOf(calls[0].arguments[1]), static_cast<double>(c.after + 1));
    EXPECT_EQ(xdbtest::NumberOf(calls[0].arguments[2]), 2147483647.0);
  }
}

TEST_F(XdbReader, AllContentsComeGroupedByAlbum) {
  Owned<ExposedReader> reader = MakeReader();
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(2)));
  scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(20)));
  scripted_->Answer("Master.getRecordA", AlbumObject("Later"));
  scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(10)));
  scripted_->Answer("Master.getRecordA", AlbumObject("Earlier"));
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  AnswerContents(20, {5});
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  AnswerContents(10, {1, 2});
  std::unique_ptr<XdbAccessor::IContentList> list(reader->GetAllContents());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Guids(list.get()), (std::vector<int64_t>{5, 1, 2}));
  std::vector<std::string> searches;
  for (const fsktest::ScriptedCall& call : LoggedCalls()) {
    if (call.method == "search") {
      searches.push_back(call.Text());
    }
  }
  const std::vector<std::string> expected = {"search(\"ad\", null)", "search(\"a\", 20)", "search(\"a\", 10)"};
  EXPECT_EQ(searches, expected);
}

TEST_F(XdbReader, ACancelKeepsTheContentsSoFar) {
  Owned<ExposedReader> reader = MakeReader();
  XdbResultHandle set = NewSet();
  AnswerContents(4, {1, 2, 3});
  CancellingList list(reader.get());
  reader->AddContentsFromResult(set, &list);
  EXPECT_EQ(Guids(&list), std::vector<int64_t>{1});
}

TEST_F(XdbReader, AFailingGetIdIsRaised) {
  Owned<ExposedReader> reader = MakeReader();
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(1)));
  scripted_->Answer("set.getID", ScriptedAnswer::Throw("no such position"));
  EXPECT_EQ(Raised([&] { std::unique_ptr<XdbAccessor::IAlbumList> list(reader->GetAllAlbums()); }), kXpErrGeneric);
  scripted_->Answer("Master.rangeSearch", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.sort", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(1)));
  scripted_->Answer("set.getRecord", ContentObject(4, 1));
  scripted_->Answer("set.getID", ScriptedAnswer::Throw("no such position"));
  EXPECT_EQ(Raised([&] { std::unique_ptr<XdbAccessor::IContentList> list(reader->GetContentsAfterGuid(0)); }), kXpErrGeneric);
}

}  // namespace
