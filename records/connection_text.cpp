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

TargetAddress AddressOf(std::string_view text) {
  return {std::string(text),
          IsOdbcConnectionText(text) ? TargetKind::kOdbc : TargetKind::kDatabaseFile};
}

bool IsEncodedConnectionText(std::string_view text) { return text.starts_with("ODBC/"); }

namespace {

constexpr std::array<std::string_view, 2> kPasswordKeys = {"PWD", "PASSWORD"};

// Where the value of a password setting that begins at `at` starts (just
// after its "="), or npos when none begins there. A key begins the text or
// follows a ";", a blank, a quote or a bracket, so that a connection text
// quoted inside a message is found too.
size_t PasswordValueAt(std::string_view text, size_t at) {
  if (at > 0 && std::string_view("; \t'\"({[").find(text[at - 1]) == std::string_view::npos) {
    return std::string_view::npos;
  }
  const std::string_view rest = text.substr(at);
  for (std::string_view key : kPasswordKeys) {
    if (rest.size() <= key.size() || !text::EqualsIgnoreCase(rest.substr(0, key.size()), key)) {
      continue;
    }
    const std::string_view after = SkipBlanks(rest.substr(key.size()));
    if (!after.empty() && after.front() == '=') return text.size() - after.size() + 1;
  }
  return std::string_view::npos;
}

// The end of a setting's value from `from`: the next ";", or the closing brace
// of a value in braces (which may hold a ";").
size_t ValueEnd(std::string_view text, size_t from) {
  const size_t start = text.find_first_not_of(" \t", from);
  if (start != std::string_view::npos && text[start] == '{') {
    const size_t close = text.find('}', start);
    if (close != std::string_view::npos) return close + 1;
  }
  const size_t semicolon = text.find(';', from);
  return semicolon == std::string_view::npos ? text.size() : semicolon;
}

}  // namespace

bool HoldsPassword(std::string_view text) {
  for (size_t at = 0; at < text.size(); ++at) {
    const size_t value = PasswordValueAt(text, at);
    if (value == std::string_view::npos) continue;
    const size_t end = ValueEnd(text, value);
    if (text.substr(value, end - value).find_first_not_of(" \t") != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

std::string HidePasswords(std::string_view text) {
  std::string out;
  size_t copied = 0;
  for (size_t at = 0; at < text.size(); ++at) {
    const size_t value = PasswordValueAt(text, at);
    if (value == std::string_view::npos) continue;
    out.append(text.substr(copied, value - copied));
    copied = ValueEnd(text, value);
    at = copied == 0 ? 0 : copied - 1;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace talvenor::records
