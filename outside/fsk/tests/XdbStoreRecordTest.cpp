#include "outside/fsk/dbmanager/XdbStoreRecord.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Named as the class it tests; the class itself is ::XdbStoreRecord here.
class XdbStoreRecord : public testsupport::HermeticTest {};

TEST_F(XdbStoreRecord, ContentRoundTripsWithAndWithoutPadding) {
  const XdbContent content{1237075200000.0, 100, 1, -7, 1, 0x7FFFFFFF, 6, 2147483647};
  Bytes payload = ::XdbStoreRecord::EncodeContent(content);
  ASSERT_EQ(payload.size(), ::XdbStoreRecord::kContentSize);
  // folderID right after the little-endian double.
  EXPECT_EQ(payload[8], 100);
  EXPECT_EQ(payload[9], 0);
  for (size_t padding : {0, 1, 11}) {
    Bytes padded = payload;
    padded.resize(payload.size() + padding, 0);
    XdbContent back;
    ASSERT_TRUE(::XdbStoreRecord::DecodeContent(padded, &back)) << padding;
    EXPECT_EQ(back, content);
  }
  XdbContent back;
  EXPECT_FALSE(::XdbStoreRecord::DecodeContent(Bytes(payload.begin(), payload.end() - 1), &back));
}

TEST_F(XdbStoreRecord, AlbumKeepsItsTitleAsUtf8) {
  const XdbAlbum album{0, 3, "\xC3\x89t\xC3\xA9"};
  Bytes payload = ::XdbStoreRecord::EncodeAlbum(album);
  Bytes expectedTail = {0x03, 0, 0, 0, 0xC3, 0x89, 0x74, 0xC3, 0xA9, 0};
  ASSERT_EQ(payload.size(), 8 + expectedTail.size());
  EXPECT_EQ(Bytes(payload.begin() + 8, payload.end()), expectedTail);
  payload.resize(payload.size() + 5, 0);
  XdbAlbum back;
  ASSERT_TRUE(::XdbStoreRecord::DecodeAlbum(payload, &back));
  EXPECT_EQ(back, album);
}

TEST_F(XdbStoreRecord, AlbumPayloadsWithoutATitleEndAreRefused) {
  Bytes payload = ::XdbStoreRecord::EncodeAlbum({1.5, 2, "abc"});
  XdbAlbum back;
  EXPECT_FALSE(::XdbStoreRecord::DecodeAlbum(Bytes(payload.begin(), payload.end() - 1), &back));
  EXPECT_FALSE(::XdbStoreRecord::DecodeAlbum(Bytes(12, 0), &back));
  ASSERT_TRUE(::XdbStoreRecord::DecodeAlbum(Bytes(13, 0), &back));
  EXPECT_EQ(back, XdbAlbum{});
}

TEST_F(XdbStoreRecord, InvalidTitleBytesBecomeReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  struct Case {
    const char* label;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"valid", "Caf\xC3\xA9 \xF0\x9F\x98\x80", "Caf\xC3\xA9 \xF0\x9F\x98\x80"},
      {"ASCII up to DEL", "Trip 1\t\x7F", "Trip 1\t\x7F"},
      {"stray byte", "a\xFF" "b", "a" + r + "b"},
      {"lone continuation byte", "a\x80", "a" + r},
      {"cut sequence", "a\xC3", "a" + r},
      {"overlong", "\xC0\xAF", r + r},
      {"surrogate", "\xED\xA0\x80", r + r + r},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
      {"ends at NUL", std::string("ok\0tail", 7), "ok"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(::XdbStoreRecord::ValidTitle(c.in), c.out) << c.label;
    XdbAlbum back;
    ASSERT_TRUE(::XdbStoreRecord::DecodeAlbum(::XdbStoreRecord::EncodeAlbum({0, 0, c.in}), &back)) << c.label;
    EXPECT_EQ(back.title, c.out) << c.label;
  }
  // A payload written by another writer with a bad title reads back valid.
  Bytes payload = ::XdbStoreRecord::EncodeAlbum({0, 0, "x"});
  payload[12] = 0xFE;
  XdbAlbum back;
  ASSERT_TRUE(::XdbStoreRecord::DecodeAlbum(payload, &back));
  EXPECT_EQ(back.title, r);
}

}  // namespace
