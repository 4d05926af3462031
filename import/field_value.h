#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "records/value.h"

namespace talvenor::import {

// The value a field of the target receives for `v`:
// - an empty text gives Null (the field is left without a value);
// - a text that reads as a number (see ParseNumber) and whose first character
//   is neither "0" nor "$" gives that number, so postal codes with a leading
//   zero, a lone 0 and dollar amounts stay text while 12345, -5, .5 and 1E3
//   become numbers; only the first character is looked at, so " 07" gives 7;
// - anything else, Null included, comes back unchanged.
records::Value FieldValue(const records::Value& v);

// Reads `text` as a number the way a person would write one: optional blanks
// around it, an optional sign, digits with an optional decimal point (at least
// one digit), an optional exponent (e or E, optional sign, digits). The whole
// part may group its digits by thousands with commas ("1,000", "12,345,678");
// the commas are dropped before converting. Hexadecimal forms, "Inf", "NaN",
// currency signs and numbers beyond the range of a double are not numbers.
std::optional<double> ParseNumber(std::string_view text);

// The text of a person's name as it is stored: Null and the empty text give
// the empty text; otherwise leading and trailing blanks are trimmed and then
// every no-break space (U+00A0) becomes a blank. The trimming comes first, so
// a no-break space at either end becomes a blank that stays.
std::string CleanText(const records::Value& v);

// The first `size` characters (code points) of `text`, all of a shorter text.
// A size of 0 or less means no limit is known: the text is returned whole.
std::string CutToSize(std::string_view text, int size);

}  // namespace talvenor::import
