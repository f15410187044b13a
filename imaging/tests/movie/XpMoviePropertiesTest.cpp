#include "imaging/movie/XpMovieProperties.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

using Key = ::XpMovieProperties::Key;

TEST(XpMovieProperties, GettersAnswerOnlyForTheStoredType) {
  ::XpMovieProperties properties;
  properties.SetInt32(0, 1, -7);
  properties.SetUInt32(0, 2, 0xFFFFFFFFu);
  properties.SetUInt64(0, 3, 0x123456789ABCDEFull);
  properties.SetString(0, 4, u"text");
  properties.SetDouble(0, 5, 2.5);

  int32_t int32 = 0;
  uint32_t uint32 = 0;
  uint64_t uint64 = 0;
  XpString text;
  double real = 0;
  EXPECT_EQ(properties.GetInt32(0, 1, &int32), kXpOk);
  EXPECT_EQ(int32, -7);
  EXPECT_EQ(properties.GetUInt32(0, 2, &uint32), kXpOk);
  EXPECT_EQ(uint32, 0xFFFFFFFFu);
  EXPECT_EQ(properties.GetUInt64(0, 3, &uint64), kXpOk);
  EXPECT_EQ(uint64, 0x123456789ABCDEFull);
  EXPECT_EQ(properties.GetString(0, 4, &text), kXpOk);
  EXPECT_EQ(text, u"text");
  EXPECT_EQ(properties.GetDouble(0, 5, &real), kXpOk);
  EXPECT_EQ(real, 2.5);

  // No conversion between types; the output stays as it was.
  uint32 = 99;
  EXPECT_EQ(properties.GetUInt32(0, 1, &uint32), 0x8903u);
  EXPECT_EQ(uint32, 99u);
  EXPECT_EQ(properties.GetInt32(0, 2, &int32), 0x8903u);
  EXPECT_EQ(properties.GetUInt64(0, 2, &uint64), 0x8903u);
  EXPECT_EQ(properties.GetString(0, 5, &text), 0x8903u);
  EXPECT_EQ(properties.GetDouble(0, 4, &real), 0x8903u);
  EXPECT_EQ(int32, -7);
}

TEST(XpMovieProperties, NullOutputAndAbsentKey) {
  ::XpMovieProperties properties;
  properties.SetInt32(-1, 5, 1);
  int32_t value = 42;
  EXPECT_EQ(properties.GetInt32(-1, 5, nullptr), 0x8901u);
  EXPECT_EQ(properties.GetString(-1, 5, nullptr), 0x8901u);
  EXPECT_EQ(properties.GetInt32(0, 5, &value), 0x8902u);
  EXPECT_EQ(properties.GetInt32(-1, 6, &value), 0x8902u);
  EXPECT_EQ(value, 42);
}

TEST(XpMovieProperties, KeysAreSignedPairsOrderedByStreamThenId) {
  ::XpMovieProperties properties;
  properties.SetInt32(1, 0, 10);
  properties.SetInt32(0, 5, 20);
  properties.SetInt32(-1, 5, 30);
  properties.SetInt32(0, -2, 40);
  const std::vector<Key> expected = {{-1, 5}, {0, -2}, {0, 5}, {1, 0}};
  EXPECT_EQ(properties.GetKeys(), expected);
  int32_t value = 0;
  ASSERT_EQ(properties.GetInt32(-1, 5, &value), kXpOk);
  EXPECT_EQ(value, 30);
  ASSERT_EQ(properties.GetInt32(0, 5, &value), kXpOk);
  EXPECT_EQ(value, 20);
}

TEST(XpMovieProperties, ASecondSetKeepsTheFirstValueAndType) {
  ::XpMovieProperties properties;
  properties.SetInt32(0, 0x20001, 1);
  properties.SetInt32(0, 0x20001, 2);
  properties.SetUInt64(0, 0x20001, 3);
  int32_t value = 0;
  EXPECT_EQ(properties.GetInt32(0, 0x20001, &value), kXpOk);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(properties.GetKeys().size(), 1u);
}

TEST(XpMovieProperties, StreamCountStartsAtZero) {
  ::XpMovieProperties properties;
  EXPECT_EQ(properties.GetStreamCount(), 0);
  properties.SetStreamCount(2);
  EXPECT_EQ(properties.GetStreamCount(), 2);
}

}  // namespace
