#include <cstdint>
#include <cstdlib>
#include <limits>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/tests/XdbExtFixture.h"

namespace {

using fsk::Value;
namespace names = CatalogGrammarNames;

// 2009-03-15 00:00:00 UTC.
constexpr int64_t kMarch15 = 1237075200;

// Pins TZ for the test and restores it after.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* previous = std::getenv("TZ")) {
      previous_ = previous;
    }
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (previous_) {
      ::setenv("TZ", previous_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

class XdbDateKeys : public xdbtest::XdbExtFixture {
 protected:
  Value Key(const char* method, const Value& time) {
    return fsk::CallMethod(the_, Path(names::kExtDateField), method, {time});
  }

  Value Global(const char* function, const Value& time) {
    return fsk::CallFunction(the_, Path(function), Value(), {time});
  }
};

TEST_F(XdbDateKeys, KeysOfTheUtcCalendarDate) {
  struct Case {
    Value time;
    int64_t year;
    int64_t month;
    int64_t day;
  };
  const std::vector<Case> cases{
      {Value::Integer(kMarch15), 2009, 200903, 20090315},
      {Value::Integer(kMarch15 - 1), 2009, 200903, 20090314},
      {Value::Number(kMarch15 + 86399.9), 2009, 200903, 20090315},
      {Value::Integer(-1), 1969, 196912, 19691231},
      {Value::Number(-0.5), 1969, 196912, 19691231},
      {Value::Integer(0), 1970, 197001, 19700101},
      {Value::Integer(951782400), 2000, 200002, 20000229},
      {Value::Integer(4102444800), 2100, 210001, 21000101},
  };
  ScopedTimeZone zone("JST-9");
  for (const Case& c : cases) {
    EXPECT_EQ(Integer(Key("yearKey", c.time)), c.year) << c.day;
    EXPECT_EQ(Integer(Key("monthKey", c.time)), c.month) << c.day;
    EXPECT_EQ(Integer(Key("dayKey", c.time)), c.day) << c.day;
  }
  EXPECT_TRUE(RaisedNative([&] { Key("dayKey", Value::Number(std::numeric_limits<double>::quiet_NaN())); }, xdbtest::kIllegalDB));
}

TEST_F(XdbDateKeys, LocalToUTCOnlyClamps) {
  struct Case {
    Value time;
    int64_t result;
  };
  const std::vector<Case> cases{
      {Value::Integer(0), 86400},
      {Value::Integer(-5), 86400},
      {Value::Integer(86400), 86400},
      {Value::Integer(kMarch15), kMarch15},
      {Value::Number(3e9), 2145916799},
      {Value::Integer(2145916799), 2145916799},
  };
  ScopedTimeZone zone("JST-9");
  for (const Case& c : cases) {
    EXPECT_EQ(Integer(Global(names::kLocalToUTC, c.time)), c.result) << c.result;
  }
}

TEST_F(XdbDateKeys, UtcToLocalGivesTheUtcFieldsAsLocalTime) {
  {
    ScopedTimeZone zone("JST-9");
    EXPECT_EQ(Integer(Global(names::kUtcToLocal, Value::Integer(kMarch15))), kMarch15 - 9 * 3600);
  }
  {
    ScopedTimeZone zone("UTC0");
    EXPECT_EQ(Integer(Global(names::kUtcToLocal, Value::Integer(kMarch15))), kMarch15);
  }
  // Central Europe: winter one hour east, summer two.
  ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(Integer(Global(names::kUtcToLocal, Value::Integer(kMarch15))), kMarch15 - 3600);
  constexpr int64_t kJuly1 = 1246406400;  // 2009-07-01 00:00:00 UTC
  EXPECT_EQ(Integer(Global(names::kUtcToLocal, Value::Integer(kJuly1))), kJuly1 - 7200);
}

TEST_F(XdbDateKeys, UtcToUTCDateMakesAClampedDate) {
  struct Case {
    Value time;
    double milliseconds;
  };
  const std::vector<Case> cases{
      {Value::Integer(kMarch15), 1237075200000.0},
      {Value::Integer(kMarch15 + 3723), 1237078923000.0},
      {Value::Integer(0), 86400000.0},
      {Value::Number(3e9), 2145916799000.0},
  };
  for (const Case& c : cases) {
    Value date = Global(names::kUtcToUTCDate, c.time);
    ASSERT_TRUE(date.IsObject());
    EXPECT_TRUE(fsk::IsInstanceOf(the_, date, Path("Date.prototype")));
    EXPECT_EQ(fsk::ToNumber(the_, fsk::Call(the_, date, "valueOf")), c.milliseconds);
  }
}

}  // namespace
