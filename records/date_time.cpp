#include "records/date_time.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "text/ascii.h"

namespace talvenor::records {
namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Serial of 1 January 1970.
constexpr long long kUnixEpochSerial = 25569;
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

// Reads up to 9 digits at `at`; nothing when there is no digit there.
std::optional<int> DigitsAt(std::string_view s, size_t& at) {
  int value = 0;
  size_t n = 0;
  for (; at < s.size() && s[at] >= '0' && s[at] <= '9' && n < 9; ++at, ++n) {
    value = value * 10 + (s[at] - '0');
  }
  if (n == 0 || (at < s.size() && s[at] >= '0' && s[at] <= '9')) return std::nullopt;
  return value;
}

// The form the import meets in nearly every date it stores, "m/d/yyyy" with
// an optional " h:nn:ss" and an optional " AM" or " PM", read without the
// general reader's scanning. Nothing for any other text, also for a date it
// finds invalid: the general reader then gives the answer.
std::optional<double> ParseUsDateTime(std::string_view s) {
  CivilTime t;
  size_t at = 0;
  auto number_then = [&](int& into, char separator) {
    const std::optional<int> n = DigitsAt(s, at);
    if (!n) return false;
    into = *n;
    if (separator == '\0') return true;
    if (at >= s.size() || s[at] != separator) return false;
    ++at;
    return true;
  };
  if (!number_then(t.month, '/') || !number_then(t.day, '/') || !number_then(t.year, '\0')) {
    return std::nullopt;
  }
  if (at < s.size()) {
    if (s[at++] != ' ' || !number_then(t.hour, ':') || !number_then(t.minute, ':') ||
        !number_then(t.second, '\0')) {
      return std::nullopt;
    }
    if (at < s.size()) {
      const std::string_view marker = s.substr(at);
      const bool pm = marker == " PM" || marker == " pm";
      const bool am = marker == " AM" || marker == " am";
      if ((!pm && !am) || t.hour < 1 || t.hour > 12) return std::nullopt;
      t.hour = t.hour % 12 + (pm ? 12 : 0);
    }
  }
  if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
      t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return FromCivil(t);
}

}  // namespace

CivilTime ToCivil(double serial) {
  using namespace std::chrono;
  // Round to the millisecond first so that 15:04:05.000 stored as
  // 15:04:04.99999 reads back as 15:04:05.
  const long long total_ms = std::llround(serial * kMsPerDay);
  long long days = total_ms / kMsPerDay;
  long long ms_of_day = total_ms % kMsPerDay;
  if (ms_of_day < 0) {
    ms_of_day += kMsPerDay;
    days -= 1;
  }
  const year_month_day ymd{sys_days{std::chrono::days{days - kUnixEpochSerial}}};
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
  using namespace std::chrono;
  const sys_days d{year{t.year} / month{unsigned(t.month)} / day{unsigned(t.day)}};
  const double days = double(d.time_since_epoch().count() + kUnixEpochSerial);
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
  const int weekday = int(std::chrono::weekday{
      std::chrono::sys_days{std::chrono::days{
          static_cast<long long>(std::floor(serial)) -
          kUnixEpochSerial}}}.c_encoding());
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

std::optional<double> ParseDateTime(std::string_view text) {
  if (const std::optional<double> us = ParseUsDateTime(text)) return us;
  std::string s(text);
  CivilTime t;
  char month_name[4] = {};
  char ampm[3] = {};
  int n = 0;
  auto valid = [&t]() {
    return t.year >= 100 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= 31 && t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 &&
           t.second >= 0 && t.second < 60 && t.millisecond >= 0 && t.millisecond < 1000;
  };
  // 08 Dec 2026 15:04:05[:123]
  if (std::sscanf(s.c_str(), "%d %3s %d %d:%d:%d%n", &t.day, month_name, &t.year, &t.hour,
                  &t.minute, &t.second, &n) == 6) {
    for (int m = 0; m < 12; ++m) {
      if (text::EqualsIgnoreCase(month_name, kMonthNames[m])) {
        t.month = m + 1;
        if (valid()) return FromCivil(t);
        return std::nullopt;
      }
    }
  }
  // 2026-12-08 15:04:05[.123]
  t = CivilTime{};
  int fields = std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d.%d", &t.year, &t.month, &t.day, &t.hour,
                           &t.minute, &t.second, &t.millisecond);
  if (fields >= 3 && (fields == 3 || fields >= 6)) {
    if (fields == 7) {
      // A fraction of more than three digits: keep the milliseconds only.
      const size_t dot = s.find('.');
      std::string frac = s.substr(dot + 1, 3);
      while (frac.size() < 3) frac += '0';
      t.millisecond = std::atoi(frac.c_str());
    }
    if (valid()) return FromCivil(t);
    return std::nullopt;
  }
  // 12/8/2026[ 3:04:05[ PM]]
  t = CivilTime{};
  fields = std::sscanf(s.c_str(), "%d/%d/%d %d:%d:%d %2s", &t.month, &t.day, &t.year, &t.hour,
                       &t.minute, &t.second, ampm);
  if (fields == 3 || fields >= 6) {
    if (fields == 7) {
      const bool pm = text::EqualsIgnoreCase(ampm, "PM");
      const bool am = text::EqualsIgnoreCase(ampm, "AM");
      if (!pm && !am) return std::nullopt;
      if (t.hour < 1 || t.hour > 12) return std::nullopt;
      t.hour = t.hour % 12 + (pm ? 12 : 0);
    }
    if (valid()) return FromCivil(t);
  }
  return std::nullopt;
}

}  // namespace talvenor::records
