#include "framework/suite/XpSerialize.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/testsupport/HermeticTest.h"
#include "platform/value/XpIniDict.h"

namespace {

// Opens the field functions to the tests.
class FieldProbe : public ::XpSerialize {
 public:
  using ::XpSerialize::Point;
  using ::XpSerialize::ReadDate;
  using ::XpSerialize::ReadFloat;
  using ::XpSerialize::ReadInt;
  using ::XpSerialize::ReadPoint;
  using ::XpSerialize::ReadReal;
  using ::XpSerialize::ReadString;
  using ::XpSerialize::WriteDate;
  using ::XpSerialize::WriteInt;
  using ::XpSerialize::WritePoint;
  using ::XpSerialize::WriteReal;
  using ::XpSerialize::WriteString;
  XpResult Read(const XpIniDict&) override { return kXpOk; }
  XpResult Write(XpIniDict&) const override { return kXpOk; }
};

std::string Bool(bool value) { return value ? "true" : "false"; }

int64_t StoredInt(const XpIniDict& dict, const char16_t* key) {
  int64_t value = -99;
  const XpIniElement* element = dict.Find(key);
  if (element == nullptr || element->GetInt64(&value) != kXpOk) return -99;
  return value;
}

void AddReal(XpIniDict& dict, const char16_t* key, double value) {
  ASSERT_EQ(dict.Add(key, kXpIniTypeReal), kXpOk);
  ASSERT_EQ(dict.Find(key)->SetReal(value), kXpOk);
}

// Each case runs field functions on a fresh dictionary and describes what
// they returned and what the outputs and the dictionary then hold.
struct SerializeCase {
  const char* name;
  std::function<std::string(XpIniDict&)> run;
  std::string expected;
};

using XpSerialize = testsupport::HermeticTest;

TEST_F(XpSerialize, FieldFunctionsWriteAndReadTypedElements) {
  const XpDateTime date(2024, 2, 29, 13, 45, 10);
  const SerializeCase cases[] = {
      {"WriteInt twice under one key keeps the first value",
       [](XpIniDict& d) {
         const bool first = FieldProbe::WriteInt(d, u"n", 7);
         const bool second = FieldProbe::WriteInt(d, u"n", 9);
         return Bool(first) + " " + Bool(second) + " " + std::to_string(StoredInt(d, u"n"));
       },
       "true false 7"},
      {"WriteInt sign-extends",
       [](XpIniDict& d) {
         const bool wrote = FieldProbe::WriteInt(d, u"n", -5);
         return Bool(wrote) + " " + std::to_string(StoredInt(d, u"n"));
       },
       "true -5"},
      {"a writer refuses a key of another type",
       [](XpIniDict& d) {
         EXPECT_EQ(d.Add(u"s", kXpIniTypeString, u"kept"), kXpOk);
         const bool wrote = FieldProbe::WriteReal(d, u"s", 1.0);
         XpString text;
         EXPECT_EQ(d.Find(u"s")->GetString(&text), kXpOk);
         return Bool(wrote) + " " + text.ToMultiByte().ToStdString();
       },
       "false kept"},
      {"ReadInt of 2^40 fails and keeps the output",
       [](XpIniDict& d) {
         EXPECT_EQ(d.Add(u"n", kXpIniTypeInt, int64_t{1} << 40), kXpOk);
         int32_t out = 3;
         const bool read = FieldProbe::ReadInt(d, u"n", &out);
         return Bool(read) + " " + std::to_string(out);
       },
       "false 3"},
      {"ReadInt of INT32_MIN",
       [](XpIniDict& d) {
         EXPECT_EQ(d.Add(u"n", kXpIniTypeInt, INT32_MIN), kXpOk);
         int32_t out = 3;
         const bool read = FieldProbe::ReadInt(d, u"n", &out);
         return Bool(read) + " " + std::to_string(out);
       },
       "true -2147483648"},
      {"ReadInt of a missing key",
       [](XpIniDict& d) {
         int32_t out = 3;
         const bool read = FieldProbe::ReadInt(d, u"n", &out);
         return Bool(read) + " " + std::to_string(out);
       },
       "false 3"},
      {"ReadFloat of 0.1 narrows to 0.1f",
       [](XpIniDict& d) {
         AddReal(d, u"r", 0.1);
         float out = 0.0f;
         const bool read = FieldProbe::ReadFloat(d, u"r", &out);
         return Bool(read) + " " + Bool(out == 0.1f);
       },
       "true true"},
      {"ReadReal of an integer fails",
       [](XpIniDict& d) {
         EXPECT_EQ(d.Add(u"r", kXpIniTypeInt, 4), kXpOk);
         double out = 2.5;
         const bool read = FieldProbe::ReadReal(d, u"r", &out);
         return Bool(read) + " " + std::to_string(out);
       },
       "false 2.500000"},
      {"ReadPoint with only X fails",
       [](XpIniDict& d) {
         EXPECT_EQ(d.Add(u"p", kXpIniTypeDict), kXpOk);
         AddReal(static_cast<XpIniDict&>(*d.Find(u"p")), u"X", 4.0);
         FieldProbe::Point out{1.0, 2.0};
         const bool read = FieldProbe::ReadPoint(d, u"p", &out);
         return Bool(read) + " " + std::to_string(out.first) + " " + std::to_string(out.second);
       },
       "false 1.000000 2.000000"},
      {"WritePoint then ReadPoint",
       [](XpIniDict& d) {
         const bool wrote = FieldProbe::WritePoint(d, u"p", {1.5, -2.5});
         FieldProbe::Point out{0.0, 0.0};
         const bool read = FieldProbe::ReadPoint(d, u"p", &out);
         return Bool(wrote) + " " + Bool(read) + " " + std::to_string(out.first) + " " +
                std::to_string(out.second);
       },
       "true true 1.500000 -2.500000"},
      {"ReadString of an integer element fails",
       [](XpIniDict& d) {
         EXPECT_EQ(d.Add(u"s", kXpIniTypeInt, 12), kXpOk);
         XpString out(u"kept");
         const bool read = FieldProbe::ReadString(d, u"s", &out);
         return Bool(read) + " " + out.ToMultiByte().ToStdString();
       },
       "false kept"},
      {"WriteString then ReadString",
       [](XpIniDict& d) {
         const bool wrote = FieldProbe::WriteString(d, u"s", u"DCIM/100ABCDE");
         XpString out;
         const bool read = FieldProbe::ReadString(d, u"s", &out);
         return Bool(wrote) + " " + Bool(read) + " " + out.ToMultiByte().ToStdString();
       },
       "true true DCIM/100ABCDE"},
      {"WriteDate then ReadDate",
       [&date](XpIniDict& d) {
         const bool wrote = FieldProbe::WriteDate(d, u"t", date);
         XpDateTime out;
         const bool read = FieldProbe::ReadDate(d, u"t", &out);
         return Bool(wrote) + " " + Bool(read) + " " + Bool(out.IsValid() && out == date);
       },
       "true true true"},
      {"ReadDate of a string fails and keeps the output",
       [&date](XpIniDict& d) {
         EXPECT_EQ(d.Add(u"t", kXpIniTypeString, u"2024"), kXpOk);
         XpDateTime out = date;
         const bool read = FieldProbe::ReadDate(d, u"t", &out);
         return Bool(read) + " " + Bool(out == date);
       },
       "false true"},
  };
  for (const SerializeCase& row : cases) {
    XpIniDict dict;
    EXPECT_EQ(row.run(dict), row.expected) << row.name;
  }
}

}  // namespace
