#include "records/sql_quote.h"

#include <algorithm>

namespace talvenor::records {

std::string SqlQuote(std::string_view text) {
  const auto apostrophes = static_cast<size_t>(std::count(text.begin(), text.end(), '\''));
  if (apostrophes == 0) return std::string(text);
  std::string out;
  out.reserve(text.size() + apostrophes);
  for (const char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

}  // namespace talvenor::records
