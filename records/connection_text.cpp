#include "records/connection_text.h"

#include <array>

#include "text/ascii.h"

namespace talvenor::records {
namespace {

constexpr std::string_view kOdbcPrefix = "ODBC;";
constexpr std::array<std::string_view, 3> kConnectionKeys = {"DSN", "FILEDSN", "DRIVER"};

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// True when `setting` (the text of one setting, up to the next ";") is
// KEY=... for one of the connection keys.
bool IsConnectionKey(std::string_view setting) {
  setting = SkipBlanks(setting);
  const size_t equals = setting.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view key = setting.substr(0, equals);
  while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
  for (std::string_view known : kConnectionKeys) {
    if (text::EqualsIgnoreCase(key, known)) return true;
  }
  return false;
}

}  // namespace

bool IsOdbcConnectionText(std::string_view text) {
  if (text.size() >= kOdbcPrefix.size() &&
      text::EqualsIgnoreCase(text.substr(0, kOdbcPrefix.size()), kOdbcPrefix)) {
    return true;
  }
  // Settings are separated by ";". A value in braces may hold a ";" of its
  // own; a key found after it would be a false match only for a text that is
  // a connection text anyway.
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(';', start);
    if (IsConnectionKey(
            text.substr(start, end == std::string_view::npos ? text.npos : end - start))) {
      return true;
    }
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

bool IsEncodedConnectionText(std::string_view text) { return text.starts_with("ODBC/"); }

}  // namespace talvenor::records
