#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbGlueFixture.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbRecordReads.h"
#include "camerastore/xdb/XdbRecordWrites.h"
#include "camerastore/xdb/XdbText.h"
#include "fsk/FskMemory.h"

namespace {

using XdbGlueText = xdbtest::GlueTest;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using Texts = std::vector<std::string>;

// What the conversions' allocators were asked for.
std::vector<size_t> gRequested;

int32_t RecordingUtf8Allocator(size_t size, void** out) {
  gRequested.push_back(size);
  return FskMemPtrNew(size, out);
}

void* RefusingUtf16Allocator(size_t) { return nullptr; }

void* RecordingUtf16Allocator(size_t size) {
  gRequested.push_back(size);
  return std::malloc(size);
}

TEST_F(XdbGlueText, EmptyTextGivesATerminatorInATwoByteBuffer) {
  gRequested.clear();
  XdbUtf8Allocator previous = XdbSetUtf8Allocator(RecordingUtf8Allocator);
  char* utf8 = nullptr;
  const int32_t result = XdbToUtf8(u"", &utf8);
  XdbSetUtf8Allocator(previous);
  ASSERT_EQ(result, 0);
  ASSERT_NE(utf8, nullptr);
  EXPECT_EQ(gRequested, (std::vector<size_t>{2}));
  EXPECT_EQ(utf8[0], '\0');
  FskMemPtrDispose(utf8);
}

TEST_F(XdbGlueText, Utf16ToUtf8) {
  struct Case {
    const char16_t* text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"\u00C9t\u00E9", "\xC3\x89t\xC3\xA9"},
      // An escaped byte goes back to the byte.
      {u"\xDCE9", "\xE9"},
      {u"/m/CAM/DBFILES/", "/m/CAM/DBFILES/"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {nullptr, ""},
  };
  for (const Case& c : cases) {
    gRequested.clear();
    XdbUtf8Allocator previous = XdbSetUtf8Allocator(RecordingUtf8Allocator);
    char* utf8 = nullptr;
    const int32_t result = XdbToUtf8(c.text, &utf8);
    XdbSetUtf8Allocator(previous);
    ASSERT_EQ(result, 0) << c.bytes;
    ASSERT_NE(utf8, nullptr);
    EXPECT_EQ(std::string(utf8), c.bytes);
    EXPECT_EQ(gRequested, (std::vector<size_t>{c.bytes.size() + 2})) << c.bytes;
    FskMemPtrDispose(utf8);
  }
}

TEST_F(XdbGlueText, Utf8ToUtf16ReplacesInvalidBytesAndTerminates) {
  struct Case {
    const char* bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"a\xFFz", u"a\uFFFDz"},
      {"\xC3\x89t\xC3\xA9", u"\u00C9t\u00E9"},
      {"ab\xC3", u"ab\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"", u""},
      {nullptr, u""},
  };
  for (const Case& c : cases) {
    gRequested.clear();
    XdbUtf16Allocator previous = XdbSetUtf16Allocator(RecordingUtf16Allocator);
    char16_t* utf16 = nullptr;
    const int32_t result = XdbFromUtf8(c.bytes, &utf16);
    XdbSetUtf16Allocator(previous);
    ASSERT_EQ(result, 0);
    ASSERT_NE(utf16, nullptr);
    EXPECT_EQ(std::u16string(utf16), c.text);
    // count (with the terminator) x 2 + 2 bytes.
    EXPECT_EQ(gRequested, (std::vector<size_t>{(c.text.size() + 1) * 2 + 2}));
    std::free(utf16);
  }
}

TEST_F(XdbGlueText, FailedAllocationsAreReported) {
  FskMemFailNextAllocations(1);
  char* utf8 = reinterpret_cast<char*>(&gRequested);
  EXPECT_EQ(XdbToUtf8(u"text", &utf8), -1);
  EXPECT_EQ(utf8, nullptr);
  FskMemFailNextAllocations(0);

  XdbUtf16Allocator previous = XdbSetUtf16Allocator(RefusingUtf16Allocator);
  char16_t* utf16 = reinterpret_cast<char16_t*>(&gRequested);
  const int32_t result = XdbFromUtf8("text", &utf16);
  XdbSetUtf16Allocator(previous);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(utf16, nullptr);
}

TEST_F(XdbGlueText, AFailedConversionMakesNoScriptCall) {
  Open();
  XdbAlbumRecord album{};
  album.title = const_cast<char16_t*>(u"title");
  int32_t newId = xdbtest::kSentinel;
  struct Case {
    const char* name;
    int32_t expected;
    int32_t (*run)(XdbAlbumRecord& album, int32_t* newId);
  };
  const Case cases[] = {
      {"XdbOpenDatabase", -7, [](XdbAlbumRecord&, int32_t*) { return XdbOpenDatabase(xdbtest::kDatabasePath); }},
      {"XdbCreateAlbum", -9999, [](XdbAlbumRecord& record, int32_t* id) { return XdbCreateAlbum(record, id); }},
      {"XdbUpdateAlbumInfo", -300, [](XdbAlbumRecord& record, int32_t*) { return XdbUpdateAlbumInfo(3, record); }},
  };
  for (const Case& c : cases) {
    Mark();
    FskMemFailNextAllocations(1);
    EXPECT_EQ(c.run(album, &newId), c.expected) << c.name;
    FskMemFailNextAllocations(0);
    EXPECT_EQ(Logged(), Texts{}) << c.name;
  }
  // XdbDeleteDatabase empties the cache before it converts the path.
  Mark();
  FskMemFailNextAllocations(1);
  EXPECT_EQ(XdbDeleteDatabase(xdbtest::kDatabasePath), -7);
  FskMemFailNextAllocations(0);
  EXPECT_EQ(Logged(), (Texts{"freeAll()"}));
  EXPECT_EQ(newId, xdbtest::kSentinel);
}

TEST_F(XdbGlueText, AReadThatCannotConvertItsTitleKeepsWhatItStored) {
  Open();
  scripted_->Answer("Master.getRecordA",
                    ScriptedAnswer::ReturnObject({{"albumDate", ScriptedValue::Number(946683000000.0)},
                                                  {"title", ScriptedValue::String("holiday")},
                                                  {"preference", ScriptedValue::Integer(4)}}));
  XdbAlbumRecord album;
  std::memset(&album, 0x5A, sizeof album);
  album.title = nullptr;
  XdbUtf16Allocator previous = XdbSetUtf16Allocator(RefusingUtf16Allocator);
  const int32_t result = XdbGetRecordFromIDA(7, &album);
  XdbSetUtf16Allocator(previous);
  EXPECT_EQ(result, -300);
  EXPECT_EQ(album.yearsSince1900, 99);
  EXPECT_EQ(album.seconds, 0);
  EXPECT_EQ(album.title, nullptr);
  EXPECT_EQ(album.preference, xdbtest::kSentinel);
}

}  // namespace
