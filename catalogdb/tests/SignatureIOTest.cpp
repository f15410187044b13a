#include <cerrno>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "catalogdb/tests/XdbNativeFixture.h"

namespace {

using fsk::Value;

class SignatureIO : public xdbtest::XdbNativeFixture {
 protected:
  Value Parse(const Value& text) { return fsk::Call(the_, Path("signatureIO"), "parse", text); }
  Value Serialize(const Value& value) { return fsk::Call(the_, Path("signatureIO"), "serialize", value); }
};

struct ParseCase {
  const char* text;
  bool defined;
  int64_t value;
};

TEST_F(SignatureIO, ParseTakesTheFirstFourCharacters) {
  const ParseCase cases[] = {
      {"RAW", false, 0},
      {"", false, 0},
      {"RAW@", true, 0x52415740},
      {"RAW@xyz", true, 0x52415740},
      {"HEAD", true, 0x48454144},
      // A character from 128 to 255 is one byte of the value; the value is
      // the signed 32-bit word.
      {"\xC3\x89" "ABC", true, static_cast<int32_t>(0xC9414243u)},
      {"AB\xC3\xBF" "D", true, 0x4142FF44},
      // Four characters, not four bytes.
      {"\xC3\x89\xC3\x89\xC3\x89", false, 0},
  };
  for (const ParseCase& test : cases) {
    Value result = Parse(Value::String(test.text));
    ASSERT_EQ(!result.IsUndefined(), test.defined) << test.text;
    if (test.defined) {
      EXPECT_EQ(result.Type(), kFskIntegerType) << test.text;
      EXPECT_EQ(Integer(result), test.value) << test.text;
    }
  }
}

TEST_F(SignatureIO, ParseRefusesCharactersAbove255AndBrokenText) {
  const char* texts[] = {
      "AB\xE2\x82\xAC" "D",  // a euro sign
      "\xF0\x9F\x98\x80" "ABC",  // beyond the basic plane
      "AB\x80" "CD",  // a stray continuation byte
      "A\xC3" "BCD",  // a cut sequence
  };
  for (const char* text : texts) {
    EXPECT_EQ(Raised([&] { Parse(Value::String(text)); }), EINVAL) << text;
  }
}

struct SerializeCase {
  int64_t value;
  const char* text;
};

TEST_F(SignatureIO, SerializeWritesTheBytesUpToTheFirstZero) {
  const SerializeCase cases[] = {
      {0x52415740, "RAW@"},
      {0x41000000, "A"},
      {0x41420043, "AB"},
      {0, ""},
      {static_cast<int32_t>(0xC9414243u), "\xC3\x89" "ABC"},
      {0xC9414243, "\xC3\x89" "ABC"},
  };
  for (const SerializeCase& test : cases) {
    EXPECT_EQ(fsk::ToString(the_, Serialize(Value::Integer(test.value))), test.text) << test.value;
  }
  EXPECT_TRUE(Serialize(Value()).IsUndefined());
}

TEST_F(SignatureIO, EveryByteValueRoundTrips) {
  for (int byte = 1; byte <= 0xFF; ++byte) {
    int64_t value = static_cast<int32_t>((static_cast<uint32_t>(byte) << 24) | 0x00414243u);
    Value text = Serialize(Value::Integer(value));
    EXPECT_EQ(Integer(Parse(text)), value) << byte;
  }
}

}  // namespace
