// TranslateJetSql on any text: statements translated from a remembered shape
// come out exactly as their full translation. The input holds statements
// parted by 0x1E; each is followed by a sibling of the same shape with other
// digits in it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "records/sqlite/jet_sql.h"

namespace {

using talvenor::records::SqliteStatement;

void Check(std::string_view sql) {
  const SqliteStatement got = talvenor::records::TranslateJetSql(sql);
  const SqliteStatement want = talvenor::records::internal::TranslateJetSqlUncached(sql);
  if (got.text != want.text || got.params != want.params || got.lifted != want.lifted ||
      got.several_statements != want.several_statements) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  talvenor::records::internal::ForgetShapes();
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (true) {
    const size_t end = rest.find('\x1e');
    const std::string_view sql = rest.substr(0, end);
    Check(sql);
    std::string sibling(sql);
    for (char& c : sibling) {
      if (c >= '0' && c <= '9') c = char('0' + (c - '0' + 7) % 10);
    }
    Check(sibling);
    Check(sql);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return 0;
}
