#include "import/field_value.h"

#include <charconv>
#include <system_error>

#include "text/string_utils.h"
#include "text/utf8.h"

namespace talvenor::import {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<double> ParseNumber(std::string_view text) {
  const std::string_view s = text::TrimView(text);
  std::string plain;  // the number without sign and thousands separators
  plain.reserve(s.size());
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';

  // Whole part. Commas are taken only as thousands separators: one to three
  // digits first, then groups of exactly three. A text such as "12,5" is left
  // as text rather than guessed at.
  size_t whole_digits = 0;
  size_t group = 0;
  bool grouped = false;
  for (; i < s.size(); ++i) {
    if (IsDigit(s[i])) {
      plain += s[i];
      ++whole_digits;
      ++group;
    } else if (s[i] == ',') {
      if (group == 0 || (grouped && group != 3) || (!grouped && group > 3)) return std::nullopt;
      grouped = true;
      group = 0;
    } else {
      break;
    }
  }
  if (grouped && group != 3) return std::nullopt;

  size_t fraction_digits = 0;
  if (i < s.size() && s[i] == '.') {
    plain += s[i++];
    for (; i < s.size() && IsDigit(s[i]); ++i, ++fraction_digits) plain += s[i];
  }
  if (whole_digits + fraction_digits == 0) return std::nullopt;

  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    plain += s[i++];
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain += s[i++];
    size_t exponent_digits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i, ++exponent_digits) plain += s[i];
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;

  double value = 0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (error != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
  if (value == 0) return 0.0;  // no negative zero
  return negative ? -value : value;
}

records::Value FieldValue(const records::Value& v) {
  if (!v.IsText()) return v;
  const std::string& text = v.text();
  if (text.empty()) return records::Value::Null();
  if (text.front() == '0' || text.front() == '$') return v;
  if (const std::optional<double> number = ParseNumber(text)) {
    return records::Value::Number(*number);
  }
  return v;
}

std::string CleanText(const records::Value& v) {
  if (!v.HasValue()) return {};
  const std::string whole = v.ToText();
  return text::ReplaceAll(text::TrimView(whole), text::kNoBreakSpace, " ");
}

std::string CutToSize(std::string_view text, int size) {
  if (size <= 0) return std::string(text);
  return std::string(text::Utf8Prefix(text, static_cast<size_t>(size)));
}

}  // namespace talvenor::import
