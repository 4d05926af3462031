#pragma once

// What the Jet SQL translation and its statement-shape cache share: the
// lexer's token kinds, the one routine that reads a token, and the full
// translation with the record of how it wrote each literal. Not for use
// outside the SQLite engine.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/sqlite/jet_sql.h"

namespace talvenor::records::jet_detail {

// Character classes, looked up once per byte (the lexer runs for every
// statement of an import).
enum : unsigned char {
  kSpaceClass = 1,
  kDigitClass = 2,
  kWordStartClass = 4,
  kWordClass = 8,
  // A character that, where a token starts, is a token of its own or part of
  // a run of blanks, and never starts a literal, name, comment or parameter.
  kPlainClass = 16,
};

constexpr std::array<unsigned char, 256> MakeClasses() {
  std::array<unsigned char, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    unsigned char k = 0;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') k |= kSpaceClass;
    if (c >= '0' && c <= '9') k |= kDigitClass | kWordClass;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80) {
      k |= kWordStartClass | kWordClass;
    }
    if (c == '$') k |= kWordClass;
    const bool starts_something =
        std::string_view("-/'\"`[{?:@$.").find(char(c)) != std::string_view::npos;
    if ((k & (kWordClass | kDigitClass)) == 0 && !starts_something && c != 0) k |= kPlainClass;
    classes[size_t(c)] = k;
  }
  return classes;
}
inline constexpr std::array<unsigned char, 256> kClasses = MakeClasses();

inline bool Is(char c, unsigned char k) {
  return (kClasses[static_cast<unsigned char>(c)] & k) != 0;
}
inline bool IsWordStart(char c) { return Is(c, kWordStartClass); }
inline bool IsDigit(char c) { return Is(c, kDigitClass); }
inline bool IsWordChar(char c) { return Is(c, kWordClass); }
inline bool IsSpace(char c) { return Is(c, kSpaceClass); }
enum class Tok {
  kSpace,
  kComment,
  kString,       // '...' with '' inside
  kBadString,    // an apostrophe without its closing one: left for SQLite to refuse
  kGuid,         // {guid {...}}
  kQuotedName,   // "..." or `...`
  kBracketName,  // [...]
  kNumber,
  kWord,
  kParam,  // ?, ?1, :name, @name, $name
  kPunct,
};

struct TokenSpan {
  Tok kind;
  size_t size;
};

// The token that starts at `i` (i < s.size()). Lex and the shape scan both
// read the text through this one function, so they always agree on where
// each literal starts and ends.
TokenSpan TokenAt(std::string_view s, size_t i);

// How the translation wrote one literal: what a later statement of the same
// shape can reuse.
enum class Use : unsigned char {
  kText,        // lifted: the text between the apostrophes
  kDate,        // lifted: DateLiteral of the text between the apostrophes
  kGuid,        // lifted: the braced GUID text
  kNumber,      // lifted: NumberParam of the literal
  kAsWritten,   // copied into the statement as written
  kByValue,     // rewritten according to its value (a LIKE pattern, ...)
  kUnliftable,  // a number that was to be lifted but does not convert
};

struct LiteralUse {
  size_t at;  // where the literal starts in the Jet text
  Use use;
  size_t out_at;  // where it went in the translated text
};

// The translation itself. When `uses` is given, it receives one entry per
// literal, in the order the literals were written out.
SqliteStatement TranslateFull(std::string_view jet, bool lift_literals,
                              std::vector<LiteralUse>* uses);

// The value of a quoted token: the text between its quotes, a doubled quote
// read as one.
std::string Unquoted(std::string_view quoted);
// The braced GUID text inside a {guid {...}} token.
std::string_view GuidOf(std::string_view token);
// A date literal as SQLite should hold it: the ISO text of the date-time it
// names; a text that names none stays as written.
std::string DateLiteral(std::string text);
// A numeric literal as a bound value of the same type SQLite gives the literal.
std::optional<SqlParam> NumberParam(std::string_view text);

}  // namespace talvenor::records::jet_detail
