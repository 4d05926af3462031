#include "records/sql_quote.h"

#include <string>

namespace talvenor::records {

std::string SqlQuote(std::string_view text) {
  std::string out;
  AppendSqlQuoted(out, text);
  return out;
}

void AppendSqlQuoted(std::string& out, std::string_view text) {
  for (size_t at = 0;;) {
    const size_t apostrophe = text.find('\'', at);
    if (apostrophe == std::string_view::npos) {
      out.append(text.substr(at));
      return;
    }
    out.append(text.substr(at, apostrophe + 1 - at)).push_back('\'');
    at = apostrophe + 1;
  }
}

}  // namespace talvenor::records
