#include "records/date_time.h"

#include <date/date.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "text/ascii.h"

namespace talvenor::records {
namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Day 0 of the serials.
constexpr date::sys_days kSerialZero = date::sys_days{date::year{1899} / 12 / 30};
constexpr long long kMsPerDay = 86'400'000;

bool StartsWith(std::string_view text, size_t at, std::string_view what) {
  return text.compare(at, what.size(), what) == 0;
}

// Appends a number with at least `width` digits, zeros in front ("%0*d").
// Dates are written for every activity row, so this avoids printf.
void AppendNumber(std::string& out, int number, int width) {
  char buf[16];
  char* digits = buf;
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, number);
  // The sign counts towards the width and the zeros go after it.
  if (number < 0) out += *digits++;
  for (auto n = end - buf; n < width; ++n) out += '0';
  out.append(digits, end);
}

}  // namespace

CivilTime ToCivil(double serial) {
  // Round to the millisecond first so that 15:04:05.000 stored as
  // 15:04:04.99999 reads back as 15:04:05.
  const long long total_ms = std::llround(serial * kMsPerDay);
  long long days = total_ms / kMsPerDay;
  long long ms_of_day = total_ms % kMsPerDay;
  if (ms_of_day < 0) {
    ms_of_day += kMsPerDay;
    days -= 1;
  }
  const date::year_month_day ymd{kSerialZero + date::days{days}};
  CivilTime t;
  t.year = int(ymd.year());
  t.month = int(unsigned(ymd.month()));
  t.day = int(unsigned(ymd.day()));
  t.hour = int(ms_of_day / 3'600'000);
  t.minute = int(ms_of_day / 60'000 % 60);
  t.second = int(ms_of_day / 1000 % 60);
  t.millisecond = int(ms_of_day % 1000);
  return t;
}

double FromCivil(const CivilTime& t) {
  const date::sys_days d{date::year{t.year} / date::month{unsigned(t.month)} /
                         date::day{unsigned(t.day)}};
  const double days = double((d - kSerialZero).count());
  const double ms = ((t.hour * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.millisecond;
  return days + ms / double(kMsPerDay);
}

namespace {

// The texts FormatDateTime made last. An import formats the same second in
// the same few patterns for every record it stores (the activity memo, its
// date, Last_Activity): a repeat is copied instead of formatted again. The
// text depends on the civil time to the second, the weekday and the pattern
// alone.
struct FormattedDate {
  CivilTime t;
  int weekday = -1;
  std::string pattern;
  std::string text;
};

bool SameSecond(const CivilTime& a, const CivilTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

}  // namespace

std::string FormatDateTime(double serial, std::string_view pattern) {
  const CivilTime t = ToCivil(serial);
  // The weekday of the very date written: a time a hair before midnight rounds
  // to the next day, and so does its weekday.
  const int weekday = int(date::weekday{date::year{t.year} / date::month{unsigned(t.month)} /
                                        date::day{unsigned(t.day)}}
                              .c_encoding());
  constexpr size_t kRemembered = 4;
  thread_local std::array<FormattedDate, kRemembered> remembered;
  thread_local size_t next_slot = 0;
  for (const FormattedDate& f : remembered) {
    if (f.weekday == weekday && SameSecond(f.t, t) && f.pattern == pattern) return f.text;
  }
  const bool twelve_hour = pattern.find("AM/PM") != std::string_view::npos ||
                           pattern.find("a/p") != std::string_view::npos;
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  const int shown_hour = twelve_hour ? hour12 : t.hour;
  std::string out;
  out.reserve(pattern.size() + 8);
  size_t i = 0;
  // The longest letter run wins: "yyyy" before "yy", "mmm" before "mm" before
  // "m"; a letter that starts no run is written as it is.
  while (i < pattern.size()) {
    switch (pattern[i]) {
      case 'y':
        if (StartsWith(pattern, i, "yyyy")) {
          AppendNumber(out, t.year, 4), i += 4;
          continue;
        }
        if (StartsWith(pattern, i, "yy")) {
          AppendNumber(out, t.year % 100, 2), i += 2;
          continue;
        }
        break;
      case 'm':
        if (StartsWith(pattern, i, "mmm")) {
          out += kMonthNames[t.month - 1], i += 3;
        } else if (StartsWith(pattern, i, "mm")) {
          AppendNumber(out, t.month, 2), i += 2;
        } else {
          AppendNumber(out, t.month, 0), i += 1;
        }
        continue;
      case 'd':
        if (StartsWith(pattern, i, "ddd")) {
          out += kDayNames[weekday], i += 3;
        } else if (StartsWith(pattern, i, "dd")) {
          AppendNumber(out, t.day, 2), i += 2;
        } else {
          AppendNumber(out, t.day, 0), i += 1;
        }
        continue;
      case 'h':
        if (StartsWith(pattern, i, "hh")) {
          AppendNumber(out, shown_hour, 2), i += 2;
        } else {
          AppendNumber(out, shown_hour, 0), i += 1;
        }
        continue;
      case 'n':
        if (StartsWith(pattern, i, "nn")) {
          AppendNumber(out, t.minute, 2), i += 2;
          continue;
        }
        break;
      case 's':
        if (StartsWith(pattern, i, "ss")) {
          AppendNumber(out, t.second, 2), i += 2;
          continue;
        }
        break;
      case 'A':
        if (StartsWith(pattern, i, "AM/PM")) {
          out += t.hour < 12 ? "AM" : "PM", i += 5;
          continue;
        }
        break;
      case 'a':
        if (StartsWith(pattern, i, "a/p")) {
          out += t.hour < 12 ? "a" : "p", i += 3;
          continue;
        }
        break;
      default:
        break;
    }
    out += pattern[i], i += 1;
  }
  FormattedDate& slot = remembered[next_slot];
  next_slot = (next_slot + 1) % kRemembered;
  slot.t = t;
  slot.weekday = weekday;
  slot.pattern.assign(pattern);
  slot.text = out;
  return out;
}

std::string GeneralDate(double serial) {
  const CivilTime t = ToCivil(serial);
  if (t.hour == 0 && t.minute == 0 && t.second == 0) return FormatDateTime(serial, "m/d/yyyy");
  return FormatDateTime(serial, "m/d/yyyy h:nn:ss AM/PM");
}

std::string IsoDateText(double serial) {
  const CivilTime t = ToCivil(serial);
  if (t.year < 0 || t.year > 9999) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
  }
  // Written for every date stored, so without printf.
  std::string out = "0000-00-00 00:00:00";
  auto put = [&out](size_t at, int value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10) out[at + size_t(i)] = char('0' + value % 10);
  };
  put(0, t.year, 4);
  put(5, t.month, 2);
  put(8, t.day, 2);
  put(11, t.hour, 2);
  put(14, t.minute, 2);
  put(17, t.second, 2);
  return out;
}

}  // namespace talvenor::records
