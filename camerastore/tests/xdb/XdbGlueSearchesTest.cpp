#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbGlueFixture.h"
#include "camerastore/xdb/XdbResultCache.h"
#include "camerastore/xdb/XdbSearches.h"

namespace {

using XdbGlueSearches = xdbtest::GlueTest;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using Texts = std::vector<std::string>;

TEST_F(XdbGlueSearches, SearchesPassTheirArgumentsAndRegisterTheSet) {
  Open();
  struct Case {
    std::string call;
    int32_t (*search)(XdbResultHandle* out);
  };
  const Case cases[] = {
      {"search(\"a\", 5)", [](XdbResultHandle* out) { return XdbSearch("a", 5, out); }},
      {"search(\"a\", 5.0)", [](XdbResultHandle* out) { return XdbSearchNumber("a", 5.0, out); }},
      {"search(\"ad\", null)", [](XdbResultHandle* out) { return XdbSearchAll("ad", out); }},
      {"rangeSearch(\"g\", 2, 9)", [](XdbResultHandle* out) { return XdbRangeSearch("g", 2, 9, out); }},
      {"rangeSearch(\"g\", 2147483648.0, 2147483647.0)",
       [](XdbResultHandle* out) { return XdbRangeSearchNumber("g", 2147483648.0, 2147483647.0, out); }},
      {"searchGroup(\"sf\", 4)", [](XdbResultHandle* out) { return XdbSearchGroup("sf", 4, out); }},
      {"searchAlbumInfo(3)", [](XdbResultHandle* out) { return XdbSearchAlbumInfo(3, out); }},
      {"searchPhoto(1, 2)", [](XdbResultHandle* out) { return XdbSearchPhoto(1, 2, out); }},
      {"searchPhotoByYearAndMonth(2009, 1)",
       [](XdbResultHandle* out) { return XdbSearchPhotoByYearAndMonth(2009, 1, out); }},
  };
  const std::string methods[] = {"search",          "search",      "search",
                                 "rangeSearch",     "rangeSearch", "searchGroup",
                                 "searchAlbumInfo", "searchPhoto", "searchPhotoByYearAndMonth"};
  int made = 0;
  for (size_t i = 0; i < std::size(cases); ++i) {
    scripted_->Answer("Master." + methods[i], ScriptedAnswer::ReturnSet());
    Mark();
    XdbResultHandle handle{};
    ASSERT_EQ(cases[i].search(&handle), 0) << cases[i].call;
    const std::string set = "[set#" + std::to_string(++made) + "]";
    const auto logged = LoggedCalls();
    ASSERT_EQ(logged.size(), 2u) << cases[i].call;
    EXPECT_EQ(logged[0].Text(), cases[i].call);
    EXPECT_EQ(logged[0].receiver, "master#1");
    // push(w0, w1, w2, w3, set) with the handle's words.
    EXPECT_EQ(logged[1].receiver, "resultCache3");
    EXPECT_EQ(logged[1].Text(), "push(" + std::to_string(static_cast<int32_t>(handle.w[0])) + ", " +
                                    std::to_string(static_cast<int32_t>(handle.w[1])) + ", " +
                                    std::to_string(static_cast<int32_t>(handle.w[2])) + ", " +
                                    std::to_string(static_cast<int32_t>(handle.w[3])) + ", " + set + ")");
    EXPECT_EQ(handle.w[2], static_cast<uint32_t>(kFskObjectType));
  }
  // Numbers stay numbers.
  const auto& ranged = scripted_->Calls()[scripted_->Calls().size() - 10];
  ASSERT_EQ(ranged.method, "rangeSearch");
  EXPECT_EQ(ranged.arguments[1], ScriptedValue::Number(2147483648.0));
  EXPECT_EQ(ranged.arguments[2], ScriptedValue::Number(2147483647.0));
}

TEST_F(XdbGlueSearches, SortPassesItsSecondKeyAsTextOrNull) {
  Open();
  const XdbResultHandle set = NewSet();
  struct Case {
    const char* second;
    std::string call;
  };
  const Case cases[] = {{"", "sort(\"g\", \"\")"}, {nullptr, "sort(\"g\", null)"}};
  for (const Case& c : cases) {
    scripted_->Answer("set.sort", ScriptedAnswer::ReturnSet());
    Mark();
    XdbResultHandle sorted{};
    ASSERT_EQ(XdbSort(set, "g", c.second, &sorted), 0);
    const auto logged = LoggedCalls();
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[0].Text().substr(0, 4), "get(");
    EXPECT_EQ(logged[1].receiver, "set#1");
    EXPECT_EQ(logged[1].Text(), c.call);
    EXPECT_EQ(logged[2].Text().substr(0, 5), "push(");
  }
}

TEST_F(XdbGlueSearches, CombinationsLeaveTheirOperandsInTheCache) {
  Open();
  const XdbResultHandle a = NewSet();
  const XdbResultHandle b = NewSet();
  struct Case {
    const char* method;
    int32_t (*combine)(XdbResultHandle, XdbResultHandle, XdbResultHandle*);
  };
  const Case cases[] = {{"or", XdbOr}, {"and", XdbAnd}};
  for (const Case& c : cases) {
    scripted_->Answer(std::string("set.") + c.method, ScriptedAnswer::ReturnSet());
    Mark();
    XdbResultHandle combined{};
    ASSERT_EQ(c.combine(a, b, &combined), 0) << c.method;
    const auto logged = LoggedCalls();
    ASSERT_EQ(logged.size(), 4u);
    EXPECT_EQ(logged[2].receiver, "set#1");
    EXPECT_EQ(logged[2].Text(), std::string(c.method) + "([set#2])");
    scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(1)));
    scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(2)));
    scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(3)));
    int32_t count = 0;
    EXPECT_EQ(XdbCount(a, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(XdbCount(b, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(XdbCount(combined, &count), 0);
    EXPECT_EQ(count, 3);
  }
}

TEST_F(XdbGlueSearches, UniqueAndGetIDUseTheCachedSet) {
  Open();
  const XdbResultHandle set = NewSet();
  scripted_->Answer("set.unique", ScriptedAnswer::ReturnSet());
  XdbResultHandle unique{};
  ASSERT_EQ(XdbUnique(set, "a", &unique), 0);
  scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(88)));
  Mark();
  int32_t id = 12345;
  EXPECT_EQ(XdbGetID(unique, 4, &id), 0);
  EXPECT_EQ(id, 88);
  const auto logged = LoggedCalls();
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[1].receiver, "set#2");
  EXPECT_EQ(logged[1].Text(), "getID(4)");
}

TEST_F(XdbGlueSearches, AThrowingGetIDKeepsTheCallersValue) {
  Open();
  const XdbResultHandle set = NewSet();
  scripted_->Answer("set.getID", ScriptedAnswer::Throw("no such position"));
  int32_t id = 12345;
  EXPECT_EQ(XdbGetID(set, 0, &id), -300);
  EXPECT_EQ(id, 12345);
}

TEST_F(XdbGlueSearches, TheHandleIsWrittenBeforeTheSetIsRegistered) {
  Open();
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  scripted_->Answer("resultCache3.push", ScriptedAnswer::Throw("cache full"));
  XdbResultHandle handle{};
  EXPECT_EQ(XdbSearch("a", 1, &handle), -9999);
  EXPECT_EQ(handle.w[2], static_cast<uint32_t>(kFskObjectType));
  // Nothing is registered under it.
  int32_t count = xdbtest::kSentinel;
  EXPECT_EQ(XdbCount(handle, &count), -9999);
  EXPECT_EQ(count, xdbtest::kSentinel);
}

TEST_F(XdbGlueSearches, RemovePhotoFromGroupPassesItsArguments) {
  Open();
  EXPECT_EQ(XdbRemovePhotoFromGroup("sf", 9, 4), 0);
  EXPECT_EQ(Logged(), (Texts{"removePhotoFromGroup(\"sf\", 9, 4)"}));
}

}  // namespace
