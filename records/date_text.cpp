// Reading date-time texts: the forms a US export, a US desktop database and
// the servers' clock answers write.

#include <date/date.h>

#include <array>
#include <optional>
#include <string_view>

#include "records/date_time.h"
#include "text/ascii.h"

namespace talvenor::records {
namespace {

constexpr std::array<std::string_view, 12> kMonths = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};

// The earliest and latest years a date-time may hold.
constexpr int kFirstYear = 100;
constexpr int kLastYear = 9999;

// Reads one text from start to end; any text left over means no date.
class DateTextReader {
 public:
  explicit DateTextReader(std::string_view text) : s_(text) {}

  std::optional<double> Read() {
    SkipBlanks();
    CivilTime t;
    if (!ReadDate(t) || !ReadTime(t)) return std::nullopt;
    SkipBlanks();
    if (at_ != s_.size()) return std::nullopt;
    const date::year_month_day ymd{date::year{t.year}, date::month{unsigned(t.month)},
                                   date::day{unsigned(t.day)}};
    // February 31, February 29 of a common year, month 13: not another date.
    if (t.year < kFirstYear || t.year > kLastYear || !ymd.ok()) return std::nullopt;
    return FromCivil(t);
  }

 private:
  bool AtEnd() const { return at_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[at_]; }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

  void SkipBlanks() {
    while (!AtEnd() && IsBlank(s_[at_])) ++at_;
  }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++at_;
    return true;
  }

  // A run of 1 to `max` digits; its length goes to `digits`.
  std::optional<int> Number(size_t max, size_t* digits = nullptr) {
    const size_t from = at_;
    int value = 0;
    while (!AtEnd() && IsDigit(s_[at_])) {
      if (at_ - from == max) return std::nullopt;
      value = value * 10 + (s_[at_++] - '0');
    }
    if (at_ == from) return std::nullopt;
    if (digits) *digits = at_ - from;
    return value;
  }

  // A year of four digits as written, or of two: 30 to 99 are 19xx, 00 to 29
  // are 20xx.
  std::optional<int> Year() {
    size_t digits = 0;
    const std::optional<int> y = Number(4, &digits);
    if (!y || (digits != 2 && digits != 4)) return std::nullopt;
    if (digits == 4) return *y;
    return *y < 30 ? 2000 + *y : 1900 + *y;
  }

  // A month's name, whole or cut to its first three letters ("Sept" too), in
  // any letter case, with an optional "." after a short form.
  std::optional<int> MonthName() {
    const size_t from = at_;
    while (!AtEnd() && IsLetter(s_[at_])) ++at_;
    const std::string_view word = s_.substr(from, at_ - from);
    for (size_t m = 0; m < kMonths.size(); ++m) {
      const bool whole = text::EqualsIgnoreCase(word, kMonths[m]);
      const bool short_form = word.size() >= 3 && word.size() < kMonths[m].size() &&
                              text::EqualsIgnoreCase(word, kMonths[m].substr(0, word.size())) &&
                              (word.size() == 3 || (m == 8 && word.size() == 4));
      if (whole || short_form) {
        if (short_form) Take('.');
        return int(m) + 1;
      }
    }
    return std::nullopt;
  }

  bool ReadDate(CivilTime& t) {
    if (IsLetter(Peek())) return ReadNameFirst(t);
    size_t digits = 0;
    const std::optional<int> first = Number(4, &digits);
    if (!first) return false;
    const char separator = Peek();
    if (digits == 4) {
      // yyyy-mm-dd or yyyy/mm/dd.
      if (separator != '-' && separator != '/') return false;
      ++at_;
      const std::optional<int> month = Number(2);
      if (!month || !Take(separator)) return false;
      const std::optional<int> day = Number(2);
      if (!day) return false;
      t.year = *first, t.month = *month, t.day = *day;
      // The servers' form may join the time with a "T".
      if (Peek() == 'T' && at_ + 1 < s_.size() && IsDigit(s_[at_ + 1])) {
        ++at_;
        time_joined_ = true;
      }
      return true;
    }
    if (digits > 2) return false;
    if (separator == '/' || separator == '-') {
      ++at_;
      if (IsLetter(Peek())) {
        // 8-Dec-2026, 08-DEC-26.
        const std::optional<int> month = MonthName();
        if (!month || !Take(separator)) return false;
        const std::optional<int> year = Year();
        if (!year) return false;
        t.year = *year, t.month = *month, t.day = *first;
        return true;
      }
      // m/d/yyyy, m/d/yy (and the same with "-"); d/m/yyyy when the first
      // number cannot be a month (25/12/2026).
      const std::optional<int> day = Number(2);
      if (!day || !Take(separator)) return false;
      const std::optional<int> year = Year();
      if (!year) return false;
      const bool day_first = *first > 12;
      t.year = *year, t.month = day_first ? *day : *first, t.day = day_first ? *first : *day;
      return true;
    }
    if (IsBlank(separator)) {
      // 8 Dec 2026, and the servers' clock form 08 Dec 2026 15:04:05:123.
      SkipBlanks();
      const std::optional<int> month = MonthName();
      if (!month) return false;
      SkipBlanks();
      const std::optional<int> year = Year();
      if (!year) return false;
      t.year = *year, t.month = *month, t.day = *first;
      return true;
    }
    return false;
  }

  // Dec 8, 2026; December 8 2026.
  bool ReadNameFirst(CivilTime& t) {
    const std::optional<int> month = MonthName();
    if (!month) return false;
    SkipBlanks();
    const std::optional<int> day = Number(2);
    if (!day) return false;
    Take(',');
    if (!IsBlank(Peek())) return false;
    SkipBlanks();
    const std::optional<int> year = Year();
    if (!year) return false;
    t.year = *year, t.month = *month, t.day = *day;
    return true;
  }

  // An optional time after blanks: h:nn, h:nn:ss, with ".fff" or ":fff"
  // milliseconds (more fraction digits are dropped), and an optional AM/PM,
  // A/P, with or without a blank before it; after a "T", a zone instead.
  bool ReadTime(CivilTime& t) {
    const size_t before = at_;
    SkipBlanks();
    if (AtEnd() && !time_joined_) return true;
    if (at_ == before && !time_joined_) return false;
    const std::optional<int> hour = Number(2);
    if (!hour || !Take(':')) return false;
    const std::optional<int> minute = Number(2);
    if (!minute) return false;
    int second = 0, millisecond = 0;
    if (Take(':')) {
      const std::optional<int> s = Number(2);
      if (!s) return false;
      second = *s;
      if (Peek() == '.' || Peek() == ':') {
        ++at_;
        size_t digits = 0;
        int scale = 100;
        while (!AtEnd() && IsDigit(s_[at_])) {
          if (digits < 3) millisecond += (s_[at_] - '0') * scale, scale /= 10;
          ++digits, ++at_;
        }
        if (digits == 0) return false;
      }
    }
    if (time_joined_ && !ReadZone()) return false;
    SkipBlanks();
    int h = *hour;
    if (IsLetter(Peek()) && !time_joined_) {
      const char c = Peek();
      const bool pm = c == 'p' || c == 'P';
      if (!pm && c != 'a' && c != 'A') return false;
      ++at_;
      if (Peek() == 'm' || Peek() == 'M') ++at_;
      if (h < 1 || h > 12) return false;
      h = h % 12 + (pm ? 12 : 0);
    }
    if (h > 23 || *minute > 59 || second > 59) return false;
    t.hour = h, t.minute = *minute, t.second = second, t.millisecond = millisecond;
    return true;
  }

  // The optional zone of an ISO 8601 time: "Z", or a sign and hours with
  // optional minutes ("+02:00", "+0200", "-05"). It is read and dropped: the
  // time is kept as written, on the clock of the place that wrote it.
  bool ReadZone() {
    if (Take('Z') || Take('z')) return true;
    if (!Take('+') && !Take('-')) return true;
    size_t digits = 0;
    const std::optional<int> hours = Number(4, &digits);
    if (!hours) return false;
    if (digits == 2 && Take(':')) {
      size_t minute_digits = 0;
      const std::optional<int> minutes = Number(2, &minute_digits);
      return minutes && minute_digits == 2 && *hours <= 23 && *minutes <= 59;
    }
    if (digits == 2) return *hours <= 23;
    return digits == 4 && *hours / 100 <= 23 && *hours % 100 <= 59;
  }

  std::string_view s_;
  size_t at_ = 0;
  bool time_joined_ = false;  // a "T" joined date and time: a time must follow
};

}  // namespace

std::optional<double> ParseDateTime(std::string_view text) { return DateTextReader(text).Read(); }

}  // namespace talvenor::records
