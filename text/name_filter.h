#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvenor::text {

// Reduces a free-text contact name to its given names and surname, separated
// by single blanks, with no blank at either end. On the way it:
//  - removes periods, text in parentheses or double quotes (an unclosed mark
//    cuts the text at it), and a " - role" tail behind a comma-form name;
//  - glues a surname particle (de, van, Mc, O', ...) to the word after it when
//    that word starts with a letter and the particle does not stand inside a
//    word; only the first occurrence of each particle is looked at;
//  - turns "Surname, Given" and "Surname, Given, Middle" into given-first order;
//  - drops honorifics, generational suffixes and degrees (whole words, letter
//    case ignored), including the lone letters I and V.
// Letter case is never changed. Null (nullopt) gives Null, and so does a name
// of which no word survives (an empty text included).
std::optional<std::string> FilterName(std::optional<std::string_view> name);

}  // namespace talvenor::text
