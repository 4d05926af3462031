#include "records/date_time.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "records/value.h"

namespace talvenor::records {
namespace {

const double kTuesdayAfternoon = FromCivil({2026, 12, 8, 15, 4, 5, 123});

TEST(FormatDateTime, WritesThePatternsInUse) {
  struct Case {
    std::string_view pattern, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"m/d/yyyy", "12/8/2026"},
           {"m/d/yyyy h:nn:ss AM/PM", "12/8/2026 3:04:05 PM"},
           {"ddd mmm-d 'yy h:nna/p", "Tue Dec-8 '26 3:04p"},
           {"hh:nn", "15:04"},
           {"0000", "0000"},  // digits are not pattern letters
       }) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(FormatDateTime(kTuesdayAfternoon, c.pattern), c.want);
  }
}

TEST(FormatDateTime, TheLongestLetterRunWinsAndOtherLettersStay) {
  struct Case {
    std::string_view pattern, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"dd/mm/yy hh:nn:ss", "08/12/26 15:04:05"},
           {"mmmm dddd", "Dec12 Tue8"},
           {"yyy n s", "26y n s"},
           {"yyyyy", "2026y"},
       }) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(FormatDateTime(kTuesdayAfternoon, c.pattern), c.want);
  }
}

TEST(FormatDateTime, TwelveHourClockAroundMidnightAndNoon) {
  struct Case {
    int hour;
    std::string_view want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {0, "12:07 AM a"}, {11, "11:07 AM a"}, {12, "12:07 PM p"}, {23, "11:07 PM p"}}) {
    SCOPED_TRACE(c.hour);
    const double t = FromCivil({2026, 1, 3, c.hour, 7, 0, 0});
    EXPECT_EQ(FormatDateTime(t, "h:nn AM/PM a/p"), c.want);
  }
}

// Texts are remembered and copied for a repeat: a repeat must only ever be a
// call with the same second, the same weekday and the same pattern.
TEST(FormatDateTime, RepeatsNeverGiveAnotherCallsText) {
  struct Case {
    double serial;
    std::string_view pattern, want;
  };
  const double next_second = FromCivil({2026, 12, 8, 15, 4, 6, 0});
  const double same_second_later = FromCivil({2026, 12, 8, 15, 4, 5, 900});
  const double rounds_to_next_day = FromCivil({2026, 12, 8, 23, 59, 59, 999}) + 0.6 / 86400000;
  const std::initializer_list<Case> cases = {
      {kTuesdayAfternoon, "h:nn:ss", "15:04:05"},
      {next_second, "h:nn:ss", "15:04:06"},
      {same_second_later, "h:nn:ss", "15:04:05"},
      {kTuesdayAfternoon, "h:nn:ss AM/PM", "3:04:05 PM"},
      {kTuesdayAfternoon + 1, "h:nn:ss ddd", "15:04:05 Wed"},
      {kTuesdayAfternoon + 7, "h:nn:ss ddd", "15:04:05 Tue"},
      {kTuesdayAfternoon + 7, "h:nn:ss d", "15:04:05 15"},
      {rounds_to_next_day, "m/d h:nn:ss ddd", "12/9 0:00:00 Wed"},
  };
  for (int round = 0; round < 3; ++round) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.pattern) + " " + std::string(c.want));
      EXPECT_EQ(FormatDateTime(c.serial, c.pattern), c.want);
    }
  }
}

TEST(GeneralDate, OmitsAMidnightTime) {
  EXPECT_EQ(GeneralDate(FromCivil({2026, 12, 8, 0, 0, 0, 0})), "12/8/2026");
  EXPECT_EQ(GeneralDate(kTuesdayAfternoon), "12/8/2026 3:04:05 PM");
}

TEST(DateSerial, CountsDaysFrom30December1899) {
  EXPECT_DOUBLE_EQ(FromCivil({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(FromCivil({1900, 1, 1, 18, 0, 0, 0}), 2.75);
  const CivilTime back = ToCivil(kTuesdayAfternoon);
  EXPECT_EQ(back.year, 2026);
  EXPECT_EQ(back.day, 8);
  EXPECT_EQ(back.second, 5);
  EXPECT_EQ(back.millisecond, 123);
}

TEST(ParseDateTime, ReadsServerAndLocalForms) {
  struct Case {
    std::string_view in;
    bool ok;
    int hour, second;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"08 Dec 2026 15:04:05", true, 15, 5},
           {"12/8/2026 3:04:05 PM", true, 15, 5},
           {"12/8/2026 12:04:05 AM", true, 0, 5},
           {"2026-12-08 15:04:05.123456", true, 15, 5},
           {"2026-12-08", true, 0, 0},
           {"12/8/2026", true, 0, 0},
           {"12/08/2026 15:04:05", true, 15, 5},
           {"12/8/2026 3:04:05 pm", true, 15, 5},
           {"12/8/2026 3:04:05 Pm", true, 15, 5},
           {"12/8/2026 13:04:05 PM", false, 0, 0},
           {"12/8/2026 24:00:00", false, 0, 0},
           {"31 Foo 2026 10:00:00", false, 0, 0},
           {"not a date", false, 0, 0},
           {"13/45/2026", false, 0, 0},
       }) {
    SCOPED_TRACE(c.in);
    const auto got = ParseDateTime(c.in);
    ASSERT_EQ(got.has_value(), c.ok);
    if (!c.ok) continue;
    const CivilTime t = ToCivil(*got);
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 8);
    EXPECT_EQ(t.hour, c.hour);
    EXPECT_EQ(t.second, c.second);
  }
}

// A time a hair before midnight is written as the next day; its weekday must
// be that day's, not the day before's.
TEST(FormatDateTime, WeekdayBelongsToTheDateWritten) {
  struct Case {
    double serial;
    std::string_view want;
  };
  const double sunday_night = FromCivil({2026, 12, 6, 23, 59, 59, 999});
  for (const Case& c : std::initializer_list<Case>{
           {sunday_night, "Sun 12/6 23:59:59"},
           {sunday_night + 0.4 / 86400000, "Sun 12/6 23:59:59"},
           {sunday_night + 0.6 / 86400000, "Mon 12/7 0:00:00"},
           {FromCivil({2026, 12, 7, 0, 0, 0, 0}) - 1e-12, "Mon 12/7 0:00:00"},
           {FromCivil({1900, 1, 1, 0, 0, 0, 0}), "Mon 1/1 0:00:00"},
       }) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(FormatDateTime(c.serial, "ddd m/d h:nn:ss"), c.want);
  }
}

// The forms a US export and a US desktop database write, and the servers'
// clock answers, each read as the date and time it names.
TEST(ParseDateTime, ReadsUsExportForms) {
  struct Case {
    std::string_view in;
    CivilTime want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"12/8/2026", {2026, 12, 8, 0, 0, 0, 0}},
           {"2/29/2028", {2028, 2, 29, 0, 0, 0, 0}},
           {"12/08/26", {2026, 12, 8, 0, 0, 0, 0}},
           {"1/2/29", {2029, 1, 2, 0, 0, 0, 0}},
           {"1/2/30", {1930, 1, 2, 0, 0, 0, 0}},
           {"1/2/99", {1999, 1, 2, 0, 0, 0, 0}},
           {"1/2/00", {2000, 1, 2, 0, 0, 0, 0}},
           {"12-8-2026", {2026, 12, 8, 0, 0, 0, 0}},
           {"2026-12-08", {2026, 12, 8, 0, 0, 0, 0}},
           {"2026/12/08", {2026, 12, 8, 0, 0, 0, 0}},
           {"2026-12-08T15:04:05", {2026, 12, 8, 15, 4, 5, 0}},
           {"Dec 8, 2026", {2026, 12, 8, 0, 0, 0, 0}},
           {"December 8 2026", {2026, 12, 8, 0, 0, 0, 0}},
           {"dec. 8, 2026", {2026, 12, 8, 0, 0, 0, 0}},
           {"Sept 30, 2026", {2026, 9, 30, 0, 0, 0, 0}},
           {"8-Dec-2026", {2026, 12, 8, 0, 0, 0, 0}},
           {"08-DEC-26", {2026, 12, 8, 0, 0, 0, 0}},
           {"8 december 2026", {2026, 12, 8, 0, 0, 0, 0}},
           {"12/8/2026 3:04 PM", {2026, 12, 8, 15, 4, 0, 0}},
           {"12/8/2026 3:04PM", {2026, 12, 8, 15, 4, 0, 0}},
           {"12/8/2026 3:04 p", {2026, 12, 8, 15, 4, 0, 0}},
           {"12/8/2026 12:30 AM", {2026, 12, 8, 0, 30, 0, 0}},
           {"12/8/2026 12:30 PM", {2026, 12, 8, 12, 30, 0, 0}},
           {"Dec 8, 2026 15:04:05", {2026, 12, 8, 15, 4, 5, 0}},
           {"8-Dec-2026 3:04:05 am", {2026, 12, 8, 3, 4, 5, 0}},
           {"08 Dec 2026 15:04:05:123", {2026, 12, 8, 15, 4, 5, 123}},
           {"2026-12-08 15:04:05.1", {2026, 12, 8, 15, 4, 5, 100}},
           {"  12/8/2026  ", {2026, 12, 8, 0, 0, 0, 0}},
           {"25/12/2026", {2026, 12, 25, 0, 0, 0, 0}},  // the day can only come first
           {"13-1-26", {2026, 1, 13, 0, 0, 0, 0}},
           {"31/12/2026 23:59", {2026, 12, 31, 23, 59, 0, 0}},
           {"2026-03-01T10:00:00Z", {2026, 3, 1, 10, 0, 0, 0}},  // the zone is dropped
           {"2026-03-01T10:00:00+02:00", {2026, 3, 1, 10, 0, 0, 0}},
           {"2026-03-01T10:00:00.250+0200", {2026, 3, 1, 10, 0, 0, 250}},
           {"2026-03-01T10:00-05", {2026, 3, 1, 10, 0, 0, 0}},
       }) {
    SCOPED_TRACE(c.in);
    const auto got = ParseDateTime(c.in);
    ASSERT_TRUE(got.has_value());
    const CivilTime t = ToCivil(*got);
    EXPECT_EQ(t.year, c.want.year);
    EXPECT_EQ(t.month, c.want.month);
    EXPECT_EQ(t.day, c.want.day);
    EXPECT_EQ(t.hour, c.want.hour);
    EXPECT_EQ(t.minute, c.want.minute);
    EXPECT_EQ(t.second, c.want.second);
    EXPECT_EQ(t.millisecond, c.want.millisecond);
  }
}

// A text that names no real date is never taken for a nearby one.
TEST(ParseDateTime, RefusesTextsThatNameNoRealDate) {
  for (std::string_view in : {
           "20260102",            // a bare number
           "2/31/2026",           // no February 31
           "2/29/2025",           // 2025 is a common year
           "2/29/1900",           // so is 1900
           "13/13/2026",          // neither number a month
           "32/1/2026",           // no day 32
           "31/2/2026",           // day first, but no February 31
           "0/1/2026",            // month 0
           "1/0/2026",            // day 0
           "12/8/10000",          // a year above 9999
           "12/8/0099",           // before the year 100
           "12/8/202",            // a year of three digits
           "12/8",                // no year
           "12/8/2026/1",         // one part too many
           "12/8-2026",           // mixed separators
           "Dec 32, 2026",        // no such day
           "Decem 8, 2026",       // no month's name
           "Foo 8, 2026",         // no month's name
           "Dec 8 2026,",         // text left over
           "12/8/2026 25:00",     // no such hour
           "12/8/2026 24:00:00",  // midnight is 0:00
           "12/8/2026 13:04 PM",  // 13 o'clock PM
           "12/8/2026 0:04 AM",   // 0 o'clock AM
           "12/8/2026 3:60",      // no such minute
           "12/8/2026 3:04:60",   // no such second
           "12/8/2026 3",         // an hour without minutes
           "12/8/2026 3:04 XM",   // no AM or PM
           "12/8/2026T3:04",      // a "T" only after a year-first date
           "2026-12-08T",         // a "T" without a time
           "2026-1-8T3:04+2",     // a zone of one digit
           "2026-1-8T3:04+25",    // no such zone
           "2026-1-8T3:04 PM",    // AM/PM only without a "T"
           "12/8/2026 3:04Z",     // a zone only after a "T"
           "12/8/2026x",          // text joined to the date
           "",                    // nothing
           "   ",                 // blanks only
           "soon",                // words
           "-1/2/2026",           // a sign
       }) {
    SCOPED_TRACE(in);
    EXPECT_FALSE(ParseDateTime(in).has_value());
  }
}

TEST(NumberToText, PlainDecimalWithoutTrailingZero) {
  struct Case {
    double in;
    std::string_view want;
  };
  for (const Case& c : std::initializer_list<Case>{{12345, "12345"},
                                                   {4636462783123.0, "4636462783123"},
                                                   {-5, "-5"},
                                                   {0.5, "0.5"},
                                                   {-0.0, "0"},
                                                   {1e3, "1000"},
                                                   {1.25, "1.25"}}) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(NumberToText(c.in), c.want);
  }
}

TEST(Value, NullAndEmptyAreDistinct) {
  EXPECT_FALSE(Value::Null() == Value::Empty());
  EXPECT_FALSE(Value::Null().HasValue());
  EXPECT_FALSE(Value::Text("").IsNull());
  EXPECT_EQ(Value::Number(7).ToText(), "7");
}

}  // namespace
}  // namespace talvenor::records
