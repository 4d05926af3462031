#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvenor::text {

// The layout every stored phone and fax number takes: area code, exchange,
// line number and extension, each filled from the left with digits and padded
// with underscores.
inline constexpr std::string_view kEmptyPhoneMask = "(___) ___-____  Ex. _____";

// Formats a phone or fax column as the 25-character mask. Only the digits
// 0-9 among the first 32 characters are used (characters beyond are never
// looked at); a leading "1" is dropped as the long-distance prefix, and a
// number of exactly 7 digits gets an empty area code. Digits beyond the 15
// the mask holds are dropped. Never fails: Null (nullopt), an empty text and a
// text without digits give the empty mask.
std::string FormatPhone(std::optional<std::string_view> phone);

}  // namespace talvenor::text
