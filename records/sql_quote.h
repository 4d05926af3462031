#pragma once

#include <string>
#include <string_view>

namespace talvenor::records {

// Doubles every apostrophe so the text can stand between apostrophes in SQL
// text. Nothing else is changed.
std::string SqlQuote(std::string_view text);
// The same, appended to `out` (no text of its own is made).
void AppendSqlQuoted(std::string& out, std::string_view text);

}  // namespace talvenor::records
