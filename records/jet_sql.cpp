#include "records/jet_sql.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <system_error>

#include "records/sql_quote.h"
#include "text/ascii.h"

namespace talvenor::records {
namespace {

using text::EqualsIgnoreCase;

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

struct Token {
  Tok kind;
  std::string_view text;  // as written
};

// The value of a quoted token: the text between its quotes, a doubled quote
// read as one.
std::string Unquoted(std::string_view quoted) {
  if (quoted.size() < 2) return {};
  const char q = quoted.front();
  std::string_view inner = quoted.substr(1, quoted.size() - 2);
  if (inner.find(q) == std::string_view::npos) return std::string(inner);
  std::string out;
  out.reserve(inner.size());
  for (size_t i = 0; i < inner.size(); ++i) {
    out.push_back(inner[i]);
    if (inner[i] == q && i + 1 < inner.size() && inner[i + 1] == q) ++i;
  }
  return out;
}

// The braced GUID text inside a {guid {...}} token.
std::string_view GuidOf(std::string_view token) {
  const size_t open = token.find('{', 1);
  const size_t close = token.find('}', open);
  return token.substr(open, close - open + 1);
}

// The name inside [..], "..." or `...`.
std::string NameOf(const Token& t);

// Character classes, looked up once per byte (the lexer runs for every
// statement of an import).
enum : unsigned char { kSpaceClass = 1, kDigitClass = 2, kWordStartClass = 4, kWordClass = 8 };

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
    classes[size_t(c)] = k;
  }
  return classes;
}
constexpr std::array<unsigned char, 256> kClasses = MakeClasses();

bool Is(char c, unsigned char k) { return (kClasses[static_cast<unsigned char>(c)] & k) != 0; }
bool IsWordStart(char c) { return Is(c, kWordStartClass); }
bool IsDigit(char c) { return Is(c, kDigitClass); }
bool IsWordChar(char c) { return Is(c, kWordClass); }
bool IsSpace(char c) { return Is(c, kSpaceClass); }
bool IsHexOrDash(char c) {
  return IsDigit(c) || c == '-' || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Length of a {guid {...}} literal starting at `at`, or 0.
size_t GuidLiteralLength(std::string_view s, size_t at) {
  size_t i = at + 1;
  auto skip_space = [&] {
    while (i < s.size() && IsSpace(s[i])) ++i;
  };
  skip_space();
  if (!EqualsIgnoreCase(s.substr(i, 4), "guid")) return 0;
  i += 4;
  skip_space();
  if (i >= s.size() || s[i] != '{') return 0;
  ++i;
  while (i < s.size() && IsHexOrDash(s[i])) ++i;
  if (i >= s.size() || s[i] != '}') return 0;
  ++i;
  skip_space();
  if (i >= s.size() || s[i] != '}') return 0;
  return i + 1 - at;
}

// Length of a quoted run that ends at `close`, where a doubled `close` stands
// for one. 0 when it never closes.
size_t QuotedLength(std::string_view s, size_t at, char close) {
  for (size_t i = at + 1; i < s.size(); ++i) {
    if (s[i] != close) continue;
    if (i + 1 < s.size() && s[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1 - at;
  }
  return 0;
}

size_t NumberLength(std::string_view s, size_t at) {
  size_t i = at;
  if (s.substr(i, 2) == "0x" || s.substr(i, 2) == "0X") {
    i += 2;
    while (i < s.size() && IsWordChar(s[i])) ++i;
    return i - at;
  }
  while (i < s.size() && IsDigit(s[i])) ++i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      i = j;
    }
  }
  return i - at;
}

void Lex(std::string_view s, std::vector<Token>& tokens) {
  tokens.clear();
  tokens.reserve(s.size() / 3 + 4);
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    Token t{Tok::kPunct, {}};
    size_t n = 1;
    if (IsSpace(c)) {
      t.kind = Tok::kSpace;
      while (i + n < s.size() && IsSpace(s[i + n])) ++n;
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      t.kind = Tok::kComment;
      while (i + n < s.size() && s[i + n] != '\n') ++n;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      t.kind = Tok::kComment;
      const size_t end = s.find("*/", i + 2);
      n = end == std::string_view::npos ? s.size() - i : end + 2 - i;
    } else if (c == '\'') {
      n = QuotedLength(s, i, '\'');
      t.kind = Tok::kString;
      if (n == 0) {
        t.kind = Tok::kBadString;
        n = s.size() - i;
      }
    } else if (c == '"' || c == '`') {
      n = QuotedLength(s, i, c);
      if (n == 0) n = s.size() - i;
      t.kind = Tok::kQuotedName;
    } else if (c == '[') {
      const size_t end = s.find(']', i);
      n = end == std::string_view::npos ? s.size() - i : end + 1 - i;
      t.kind = Tok::kBracketName;
    } else if (c == '{') {
      n = GuidLiteralLength(s, i);
      if (n == 0) {
        n = 1;
      } else {
        t.kind = Tok::kGuid;
      }
    } else if (IsDigit(c) || (c == '.' && i + 1 < s.size() && IsDigit(s[i + 1]))) {
      n = NumberLength(s, i);
      t.kind = Tok::kNumber;
      // "1abc" is no number SQLite reads; keep it whole and never lift it.
      if (i + n < s.size() && IsWordChar(s[i + n])) {
        while (i + n < s.size() && IsWordChar(s[i + n])) ++n;
        t.kind = Tok::kWord;
      }
    } else if (IsWordStart(c)) {
      t.kind = Tok::kWord;
      while (i + n < s.size() && IsWordChar(s[i + n])) ++n;
    } else if (c == '?' ||
               ((c == ':' || c == '@' || c == '$') && i + 1 < s.size() && IsWordChar(s[i + 1]))) {
      t.kind = Tok::kParam;
      while (i + n < s.size() && IsWordChar(s[i + n])) ++n;
    }
    t.text = s.substr(i, n);
    tokens.push_back(t);
    i += n;
  }
}

std::vector<Token> Lex(std::string_view s) {
  std::vector<Token> tokens;
  Lex(s, tokens);
  return tokens;
}

std::string NameOf(const Token& t) {
  if (t.kind == Tok::kBracketName) {
    return std::string(t.text.substr(1, t.text.size() >= 2 ? t.text.size() - 2 : 0));
  }
  return Unquoted(t.text);
}

bool Significant(const Token& t) { return t.kind != Tok::kSpace && t.kind != Tok::kComment; }

bool IsWord(const Token& t, std::string_view word) {
  return t.kind == Tok::kWord && EqualsIgnoreCase(t.text, word);
}
bool IsPunct(const Token& t, char c) { return t.kind == Tok::kPunct && t.text[0] == c; }

// Index of the next significant token after `i` (tokens.size() when none).
size_t NextSignificant(const std::vector<Token>& tokens, size_t i) {
  for (++i; i < tokens.size(); ++i) {
    if (Significant(tokens[i])) return i;
  }
  return tokens.size();
}

// A Jet LIKE pattern as SQLite's: "*" any run, "?" any character, "[x]" the
// character x itself. SQLite reads "%" and "_" as wildcards, Jet does not:
// they are escaped with "\" and `needs_escape` is set.
std::string LikePattern(std::string_view jet, bool* needs_escape) {
  std::string out;
  auto literal = [&](char c) {
    if (c == '%' || c == '_' || c == '\\') {
      out.push_back('\\');
      *needs_escape = true;
    }
    out.push_back(c);
  };
  for (size_t i = 0; i < jet.size(); ++i) {
    const char c = jet[i];
    if (c == '*') {
      out.push_back('%');
    } else if (c == '?') {
      out.push_back('_');
    } else if (c == '[' && i + 2 < jet.size() && jet[i + 2] == ']') {
      literal(jet[i + 1]);
      i += 2;
    } else {
      literal(c);
    }
  }
  return out;
}

// A numeric literal as a bound value of the same type SQLite gives the literal.
std::optional<SqlParam> NumberParam(std::string_view text) {
  if (text.size() > 1 && (text[1] == 'x' || text[1] == 'X')) return std::nullopt;
  const bool whole = text.find_first_of(".eE") == std::string_view::npos;
  if (whole) {
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    // A whole number past int64 is a REAL to SQLite; left as written.
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return SqlParam{v};
  }
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return SqlParam{v};
}

bool IsDataStatement(const Token& first) {
  for (std::string_view w : {"SELECT", "INSERT", "UPDATE", "DELETE", "WITH", "REPLACE", "VALUES"}) {
    if (IsWord(first, w)) return true;
  }
  return false;
}

// Words that end an ORDER BY or GROUP BY list at the same depth.
bool EndsPositionList(const Token& t) {
  for (std::string_view w :
       {"LIMIT", "OFFSET", "HAVING", "UNION", "EXCEPT", "INTERSECT", "WINDOW", "FROM", "WHERE"}) {
    if (IsWord(t, w)) return true;
  }
  return false;
}

}  // namespace

SqliteStatement TranslateJetSql(std::string_view jet, bool lift_literals) {
  // Every statement of an import passes here: the token list is kept from
  // one call to the next instead of being allocated afresh.
  thread_local std::vector<Token> tokens;
  Lex(jet, tokens);
  SqliteStatement out;
  out.text.reserve(jet.size() + 16);

  const size_t first = NextSignificant(tokens, size_t(-1));
  bool lift = lift_literals && first < tokens.size() && IsDataStatement(tokens[first]);
  for (const Token& t : tokens) {
    if (t.kind == Tok::kParam) lift = false;  // the caller binds; keep numbering intact
  }
  out.lifted = lift;

  int depth = 0;
  // TOP n becomes LIMIT n, written where the SELECT's depth closes.
  struct PendingLimit {
    int depth;
    std::string count;
  };
  std::vector<PendingLimit> limits;
  int positions_depth = -1;     // inside ORDER BY / GROUP BY at this depth
  int type_size_depth = -1;     // inside the parentheses of a type name
  const Token* prev = nullptr;  // previous significant token
  const Token* prev2 = nullptr;
  bool ended = false;  // a ";" at depth 0 was seen

  auto flush_limits = [&](int at_depth) {
    while (!limits.empty() && limits.back().depth == at_depth) {
      out.text += " LIMIT " + limits.back().count;
      limits.pop_back();
    }
  };
  auto emit_text_literal = [&](std::string value) {
    if (lift && !(prev && IsWord(*prev, "AS"))) {
      out.text += '?';
      out.params.emplace_back(std::move(value));
    } else {
      out.text += "'" + SqlQuote(value) + "'";
    }
  };

  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (!Significant(t)) {
      out.text += t.text;
      continue;
    }
    if (ended) out.several_statements = true;
    const Token* self = &t;
    switch (t.kind) {
      case Tok::kString:
        if (prev && IsWord(*prev, "LIKE")) {
          bool needs_escape = false;
          emit_text_literal(LikePattern(Unquoted(t.text), &needs_escape));
          if (needs_escape) out.text += " ESCAPE '\\'";
        } else {
          emit_text_literal(Unquoted(t.text));
        }
        break;
      case Tok::kGuid:
        emit_text_literal(std::string(GuidOf(t.text)));
        break;
      case Tok::kNumber: {
        const bool keep = !lift || positions_depth == depth || type_size_depth >= 0;
        std::optional<SqlParam> p = keep ? std::nullopt : NumberParam(t.text);
        if (p) {
          out.text += '?';
          out.params.push_back(std::move(*p));
        } else {
          out.text += t.text;
        }
        break;
      }
      case Tok::kWord: {
        // Date(), Time(), Now() and Date()+Time().
        bool empty_call = false;
        size_t close = i;
        if (IsWord(t, "Date") || IsWord(t, "Time") || IsWord(t, "Now")) {
          const size_t open = NextSignificant(tokens, i);
          close = NextSignificant(tokens, open);
          empty_call =
              close < tokens.size() && IsPunct(tokens[open], '(') && IsPunct(tokens[close], ')');
        }
        if (empty_call && IsWord(t, "Date")) {
          const size_t plus = NextSignificant(tokens, close);
          const size_t time = NextSignificant(tokens, plus);
          const size_t time_open = NextSignificant(tokens, time);
          const size_t time_close = NextSignificant(tokens, time_open);
          if (time_close < tokens.size() && IsPunct(tokens[plus], '+') &&
              IsWord(tokens[time], "Time") && IsPunct(tokens[time_open], '(') &&
              IsPunct(tokens[time_close], ')')) {
            out.text += "datetime('now','localtime')";
            i = time_close;
          } else {
            out.text += "date('now','localtime')";
            i = close;
          }
          self = &tokens[i];
          break;
        }
        if (empty_call && (IsWord(t, "Time") || IsWord(t, "Now"))) {
          out.text += IsWord(t, "Time") ? "time('now','localtime')" : "datetime('now','localtime')";
          i = close;
          self = &tokens[i];
          break;
        }
        // SELECT [DISTINCT|ALL] TOP n.
        if (IsWord(t, "TOP") && prev &&
            (IsWord(*prev, "SELECT") || IsWord(*prev, "DISTINCT") || IsWord(*prev, "ALL"))) {
          const size_t count = NextSignificant(tokens, i);
          if (count < tokens.size() && tokens[count].kind == Tok::kNumber) {
            const size_t after = NextSignificant(tokens, count);
            if (after >= tokens.size() || !IsWord(tokens[after], "PERCENT")) {
              limits.push_back({depth, std::string(tokens[count].text)});
              // Drop "TOP n" and the blank after it.
              i = count;
              if (i + 1 < tokens.size() && tokens[i + 1].kind == Tok::kSpace) ++i;
              continue;  // prev stays the SELECT
            }
          }
        }
        if (IsWord(t, "BY") && prev && (IsWord(*prev, "ORDER") || IsWord(*prev, "GROUP"))) {
          positions_depth = depth;
        } else if (positions_depth == depth && EndsPositionList(t)) {
          positions_depth = -1;
        }
        out.text += t.text;
        break;
      }
      case Tok::kPunct:
        if (t.text[0] == '(') {
          // CAST(x AS VARCHAR(10)): the size is part of the type name.
          if (type_size_depth < 0 && prev && prev->kind == Tok::kWord && prev2 &&
              IsWord(*prev2, "AS")) {
            type_size_depth = depth + 1;
          }
          ++depth;
          out.text += '(';
        } else if (t.text[0] == ')') {
          flush_limits(depth);
          if (positions_depth == depth) positions_depth = -1;
          if (type_size_depth == depth) type_size_depth = -1;
          --depth;
          out.text += ')';
        } else if (t.text[0] == ';' && depth <= 0) {
          flush_limits(depth);
          positions_depth = -1;
          ended = true;
          out.text += ';';
          self = nullptr;
        } else {
          out.text += t.text;
        }
        break;
      default:
        out.text += t.text;
        break;
    }
    if (self) {
      prev2 = prev;
      prev = self;
    } else {
      prev = prev2 = nullptr;
    }
  }
  if (!ended) {
    // Put the LIMIT before trailing blanks and comments.
    size_t keep = out.text.size();
    std::string tail;
    for (size_t i = tokens.size(); i-- > 0 && !Significant(tokens[i]);) {
      keep -= tokens[i].text.size();
    }
    if (!limits.empty()) {
      tail = out.text.substr(keep);
      out.text.resize(keep);
      flush_limits(0);
      out.text += tail;
    }
  }
  return out;
}

std::optional<std::string> SingleTableOf(std::string_view sql) {
  const std::vector<Token> tokens = Lex(sql);
  size_t i = NextSignificant(tokens, size_t(-1));
  if (i >= tokens.size() || !IsWord(tokens[i], "SELECT")) return std::nullopt;
  int depth = 0;
  for (i = NextSignificant(tokens, i); i < tokens.size(); i = NextSignificant(tokens, i)) {
    const Token& t = tokens[i];
    if (IsPunct(t, '(')) ++depth;
    if (IsPunct(t, ')')) --depth;
    if (depth == 0 && IsWord(t, "FROM")) break;
  }
  const size_t name = NextSignificant(tokens, i);
  if (name >= tokens.size()) return std::nullopt;
  std::string table;
  switch (tokens[name].kind) {
    case Tok::kWord:
      table = std::string(tokens[name].text);
      break;
    case Tok::kBracketName:
    case Tok::kQuotedName:
      table = NameOf(tokens[name]);
      break;
    default:
      return std::nullopt;
  }
  // What may follow one table: its end, a filter, an order, a limit.
  const size_t after = NextSignificant(tokens, name);
  if (after >= tokens.size() || IsPunct(tokens[after], ';')) return table;
  for (std::string_view w : {"WHERE", "ORDER", "LIMIT"}) {
    if (IsWord(tokens[after], w)) {
      // A join hidden in a sub-query of the filter is fine; a second FROM
      // item or a GROUP BY is not.
      for (size_t k = after; k < tokens.size(); k = NextSignificant(tokens, k)) {
        if (IsWord(tokens[k], "GROUP") || IsWord(tokens[k], "UNION") ||
            IsWord(tokens[k], "EXCEPT") || IsWord(tokens[k], "INTERSECT")) {
          return std::nullopt;
        }
      }
      return table;
    }
  }
  return std::nullopt;
}

bool IsBlankSql(std::string_view sql) {
  for (const Token& t : Lex(sql)) {
    if (Significant(t) && !IsPunct(t, ';')) return false;
  }
  return true;
}

}  // namespace talvenor::records
