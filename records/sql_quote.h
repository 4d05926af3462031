#pragma once

#include <string>
#include <string_view>

namespace talvenor::records {

// Doubles every apostrophe so the text can stand between apostrophes in SQL
// text. Nothing else is changed.
std::string SqlQuote(std::string_view text);

}  // namespace talvenor::records
