#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvenor::records {

// Date-times are doubles: days since 30 December 1899, time of day as the
// fraction. Regional settings are fixed to the US forms: "/" and ":" as
// separators, English day and month names.

struct CivilTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Splits a serial into its calendar parts (milliseconds rounded).
CivilTime ToCivil(double serial);
double FromCivil(const CivilTime& t);

// Formats with a pattern whose letters mean: d dd ddd (day, padded, abbreviated
// name), m mm mmm (month, padded, abbreviated name), yy yyyy, h hh, nn, ss;
// "AM/PM" and "a/p" switch to the 12-hour clock. Every other character is
// written unchanged. Example: "ddd mmm-d 'yy h:nna/p" -> "Tue Dec-8 '26 3:04p".
std::string FormatDateTime(double serial, std::string_view pattern);

// The host's general date: short date, a blank, long time ("12/8/2026 3:04:05
// PM"); a date without time of day gives the date alone.
std::string GeneralDate(double serial);

// A date-time as "YYYY-MM-DD HH:MM:SS", the form SQLite's date functions read
// and that sorts as the dates do (years beyond 0 to 9999 written as they come).
std::string IsoDateText(double serial);

// Reads a date-time text in the forms a US export, a US desktop database and
// the servers' clock answers write, with blanks around it:
//   m/d/yyyy and m/d/yy (also with "-"; two-digit years 30-99 are 19xx,
//     00-29 are 20xx), yyyy-mm-dd and yyyy/mm/dd;
//   month names whole or cut to three letters, in any letter case: "Dec 8,
//     2026", "December 8 2026", "8-Dec-2026", "08-DEC-26", "08 Dec 2026";
//   each with an optional time: "3:04 PM", "15:04", "15:04:05", "15:04:05.123"
//   (further fraction digits dropped), "15:04:05:123", or after "T" for the
//   year-first form.
// Nothing for any other text and for a text that names no real date or time:
// February 31, February 29 of a common year, month 13, 24:00, a year before
// 100 or after 9999, a bare number such as 20260102, words. Such a text is
// never taken for a nearby date.
std::optional<double> ParseDateTime(std::string_view text);

}  // namespace talvenor::records
