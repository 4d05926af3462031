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

// Reads a date-time text as the platform's date recognition would: "08 Dec 2026
// 15:04:05", "12/8/2026 3:04:05 PM", "2026-12-08 15:04:05[.123]", "12/8/2026".
// Nothing for a text it cannot read.
std::optional<double> ParseDateTime(std::string_view text);

}  // namespace talvenor::records
