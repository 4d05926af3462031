#pragma once

#include <string>
#include <string_view>

namespace talvenor::text {

// Letter case is ignored for ASCII letters only; other characters (including
// every byte of a multi-byte UTF-8 character) compare exactly.
inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
inline bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

inline std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// Byte offset of the first occurrence of `needle` at or after `from`, letter
// case ignored; npos when there is none.
inline size_t FindIgnoreCase(std::string_view hay, std::string_view needle, size_t from = 0) {
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  if (hay.size() < needle.size()) return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
    if (EqualsIgnoreCase(hay.substr(i, needle.size()), needle)) return i;
  }
  return std::string_view::npos;
}

}  // namespace talvenor::text
