#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskDate.h"
#include "outside/fsk/tests/FskTestMachine.h"

namespace {

using fsk::Value;

constexpr double kMarch31Noon2009 = 1238500800000.0;
constexpr double kFebruary15Noon2009 = 1234699200000.0;

class FskDate : public FskTestMachine {
 protected:
  void SetUp() override {
    FskTestMachine::SetUp();
    previousClock_ = FskSetClock([this] { return now_; });
  }

  void TearDown() override {
    FskSetClock(std::move(previousClock_));
    FskTestMachine::TearDown();
  }

  Value NewDate() { return fsk::New(the_, fsk::Global(the_), "Date"); }
  Value NewDate(double time) { return fsk::New(the_, fsk::Global(the_), "Date", time); }

  double Number(const Value& date, const char* method) { return fsk::ToNumber(the_, fsk::Call(the_, date, method)); }

  std::vector<double> Fields(const Value& date) {
    return {Number(date, "getUTCFullYear"), Number(date, "getUTCMonth"),   Number(date, "getUTCDate"),
            Number(date, "getUTCHours"),    Number(date, "getUTCMinutes"), Number(date, "getUTCSeconds")};
  }

  double now_ = 0;

 private:
  FskClock previousClock_;
};

struct FieldsCase {
  double time;
  std::vector<double> fields;
};

TEST_F(FskDate, UtcFieldsOfTimes) {
  const FieldsCase cases[] = {
      {946683000000.0, {1999, 11, 31, 23, 30, 0}},
      {-1, {1969, 11, 31, 23, 59, 59}},
      {0, {1970, 0, 1, 0, 0, 0}},
      {951782400000.0, {2000, 1, 29, 0, 0, 0}},
      {-2208988800000.0, {1900, 0, 1, 0, 0, 0}},
      {4107542399000.0, {2100, 1, 28, 23, 59, 59}},
  };
  for (const FieldsCase& test : cases) {
    EXPECT_EQ(Fields(NewDate(test.time)), test.fields) << test.time;
  }
}

struct SetCase {
  const char* label;
  double clock;
  int year;
  int month;
  int day;
  double expected;
};

TEST_F(FskDate, HoursThenFullYearSetTheDateInOneStep) {
  const SetCase cases[] = {
      {"28 February from 31 March", kMarch31Noon2009, 2009, 1, 28, 1235779200000.0},
      {"31 January from 15 February", kFebruary15Noon2009, 2009, 0, 31, 1233360000000.0},
      {"month 12 is January of the next year", kFebruary15Noon2009, 2009, 12, 1, 1262304000000.0},
      {"before 1970", kMarch31Noon2009, 1969, 6, 20, -14256000000.0},
  };
  for (const SetCase& test : cases) {
    now_ = test.clock;
    Value date = NewDate();
    fsk::Call(the_, date, "setUTCHours", 0, 0, 0, 0);
    fsk::Call(the_, date, "setUTCFullYear", test.year, test.month, test.day);
    EXPECT_EQ(Number(date, "valueOf"), test.expected) << test.label;
  }
}

TEST_F(FskDate, NewDateReadsTheClock) {
  now_ = kMarch31Noon2009;
  EXPECT_EQ(Number(NewDate(), "valueOf"), kMarch31Noon2009);
  EXPECT_EQ(Number(NewDate(5), "getTime"), 5);
}

TEST_F(FskDate, InvalidDates) {
  Value invalid = NewDate(std::nan(""));
  EXPECT_TRUE(std::isnan(Number(invalid, "valueOf")));
  EXPECT_TRUE(std::isnan(Number(invalid, "getUTCFullYear")));
  fsk::Call(the_, invalid, "setUTCHours", 1, 2, 3, 4);
  EXPECT_TRUE(std::isnan(Number(invalid, "valueOf")));
  // An invalid date counts as +0 for setUTCFullYear.
  fsk::Call(the_, invalid, "setUTCFullYear", 2001);
  EXPECT_EQ(Number(invalid, "valueOf"), 978307200000.0);
  EXPECT_TRUE(std::isnan(Number(NewDate(8.64e15 + 1), "valueOf")));
}

TEST_F(FskDate, SettersKeepTheFieldsTheyAreNotGiven) {
  Value date = NewDate(946683000000.0);
  fsk::Call(the_, date, "setUTCHours", 5);
  EXPECT_EQ(Fields(date), (std::vector<double>{1999, 11, 31, 5, 30, 0}));
  fsk::Call(the_, date, "setUTCFullYear", 2004, 1);
  EXPECT_EQ(Fields(date), (std::vector<double>{2004, 2, 2, 5, 30, 0}));
}

TEST_F(FskDate, DatesConvertToTheirTime) {
  Value date = NewDate(1234.0);
  EXPECT_EQ(fsk::ToNumber(the_, date), 1234.0);
  EXPECT_EQ(fsk::ToInteger(the_, date), 1234);
  Value copy = fsk::New(the_, fsk::Global(the_), "Date", date);
  EXPECT_EQ(Number(copy, "valueOf"), 1234.0);
  EXPECT_THROW(fsk::Call(the_, fsk::NewObject(the_), "valueOf"), FskException);
}

}  // namespace
