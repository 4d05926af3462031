#include "records/sqlite/jet_sql.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <system_error>
#include <unordered_map>

#include "records/date_time.h"
#include "records/sql_quote.h"
#include "records/sqlite/jet_sql_detail.h"
#include "records/target_schema.h"
#include "text/ascii.h"

namespace talvenor::records {
namespace jet_detail {

using text::EqualsIgnoreCase;

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
  for (size_t i = s.find(close, at + 1); i != std::string_view::npos; i = s.find(close, i + 2)) {
    if (i + 1 < s.size() && s[i + 1] == close) continue;  // a doubled quote
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

// The token that starts at `i` (i < s.size()). Lex and the shape scan both
// read the text through this one function, so they always agree on where
// each literal starts and ends.
TokenSpan TokenAt(std::string_view s, size_t i) {
  const char c = s[i];
  const bool more = i + 1 < s.size();
  auto word_run = [&](size_t n) {
    while (i + n < s.size() && IsWordChar(s[i + n])) ++n;
    return n;
  };
  switch (c) {
    case '-':
      if (more && s[i + 1] == '-') {
        const size_t end = s.find('\n', i);
        return {Tok::kComment, end == std::string_view::npos ? s.size() - i : end - i};
      }
      return {Tok::kPunct, 1};
    case '/':
      if (more && s[i + 1] == '*') {
        const size_t end = s.find("*/", i + 2);
        return {Tok::kComment, end == std::string_view::npos ? s.size() - i : end + 2 - i};
      }
      return {Tok::kPunct, 1};
    case '\'': {
      const size_t n = QuotedLength(s, i, '\'');
      // An apostrophe without its closing one: left for SQLite to refuse.
      return n == 0 ? TokenSpan{Tok::kBadString, s.size() - i} : TokenSpan{Tok::kString, n};
    }
    case '"':
    case '`': {
      const size_t n = QuotedLength(s, i, c);
      return {Tok::kQuotedName, n == 0 ? s.size() - i : n};
    }
    case '[': {
      const size_t end = s.find(']', i);
      return {Tok::kBracketName, end == std::string_view::npos ? s.size() - i : end + 1 - i};
    }
    case '{': {
      const size_t n = GuidLiteralLength(s, i);
      return n == 0 ? TokenSpan{Tok::kPunct, 1} : TokenSpan{Tok::kGuid, n};
    }
    case '?':
      return {Tok::kParam, word_run(1)};
    case ':':
    case '@':
    case '$':
      if (more && IsWordChar(s[i + 1])) return {Tok::kParam, word_run(1)};
      return {Tok::kPunct, 1};
    case '.':
      if (!more || !IsDigit(s[i + 1])) return {Tok::kPunct, 1};
      break;
    default:
      if (IsSpace(c)) {
        size_t n = 1;
        while (i + n < s.size() && IsSpace(s[i + n])) ++n;
        return {Tok::kSpace, n};
      }
      if (IsWordStart(c)) return {Tok::kWord, word_run(1)};
      if (!IsDigit(c)) return {Tok::kPunct, 1};
      break;
  }
  // A number, starting with a digit or with "." and a digit.
  const size_t n = NumberLength(s, i);
  // "1abc" is no number SQLite reads; keep it whole and never lift it.
  if (i + n < s.size() && IsWordChar(s[i + n])) return {Tok::kWord, word_run(n)};
  return {Tok::kNumber, n};
}

void Lex(std::string_view s, std::vector<Token>& tokens) {
  tokens.clear();
  tokens.reserve(s.size() / 3 + 4);
  for (size_t i = 0; i < s.size();) {
    const TokenSpan t = TokenAt(s, i);
    tokens.push_back({t.kind, s.substr(i, t.size)});
    i += t.size;
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
  bool whole = true;
  for (char c : text) whole = whole && IsDigit(c);
  if (whole && text.size() <= 18) {
    // Short runs of digits, the keys and counts of an import, cannot overflow.
    std::int64_t v = 0;
    for (char c : text) v = v * 10 + (c - '0');
    return SqlParam{v};
  }
  if (text.find_first_of(".eE") == std::string_view::npos) {
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

// A date-time column of the target's tables. SQLite keeps a date as the
// text it is given; a date assigned to one of these columns in the host's
// general form ("12/8/2026 3:04:05 PM") would then sort and compare as text
// among the ISO dates ("2026-12-08 15:04:05") the rows are stored with.
bool IsDateColumn(const Token& t) {
  std::string_view name = t.text;
  if (t.kind == Tok::kBracketName && name.size() >= 2) {
    name = name.substr(1, name.size() - 2);
  } else if (t.kind != Tok::kWord) {
    return false;
  }
  return IsDateColumnName(name);
}

// True for the literal of "Column = 'text'" where Column is a date column.
bool IsDateAssignment(const Token* prev, const Token* prev2) {
  return prev != nullptr && prev2 != nullptr && IsPunct(*prev, '=') && IsDateColumn(*prev2);
}

// A date literal as SQLite should hold it: the ISO text of the date-time it
// names; a text that names none stays as written.
std::string DateLiteral(std::string text) {
  if (const std::optional<double> serial = ParseDateTime(text)) return IsoDateText(*serial);
  return text;
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

namespace {

// TOP n becomes LIMIT n, written where the SELECT's depth closes.
struct PendingLimit {
  int depth;
  const Token* count;
};

// One translation in progress: the statement written so far and what the
// tokens read so far left open. Each kind of token the translation rewrites
// has its own step.
struct Translator {
  std::string_view jet;
  const std::vector<Token>& tokens;
  std::vector<LiteralUse>* uses;
  SqliteStatement& out;
  bool lift;

  int depth = 0;
  std::vector<PendingLimit> limits = {};
  int positions_depth = -1;     // inside ORDER BY / GROUP BY at this depth
  int type_size_depth = -1;     // inside the parentheses of a type name
  const Token* prev = nullptr;  // previous significant token
  const Token* prev2 = nullptr;
  bool ended = false;  // a ";" at depth 0 was seen

  void Note(const Token& t, Use use, size_t out_at) {
    if (uses) uses->push_back({size_t(t.text.data() - jet.data()), use, out_at});
  }

  void FlushLimits(int at_depth) {
    while (!limits.empty() && limits.back().depth == at_depth) {
      out.text += " LIMIT ";
      Note(*limits.back().count, Use::kAsWritten, out.text.size());
      out.text += limits.back().count->text;
      limits.pop_back();
    }
  }

  // Writes a text literal's value; true when it was lifted.
  bool EmitTextLiteral(std::string value) {
    if (lift && !(prev && IsWord(*prev, "AS"))) {
      out.text += '?';
      out.params.emplace_back(std::move(value));
      return true;
    }
    out.text += '\'';
    AppendSqlQuoted(out.text, value);
    out.text += '\'';
    return false;
  }

  // A quoted text: a LIKE pattern, a date given to a date column, or a text.
  void String(const Token& t, size_t out_at) {
    if (prev && IsWord(*prev, "LIKE")) {
      bool needs_escape = false;
      EmitTextLiteral(LikePattern(Unquoted(t.text), &needs_escape));
      if (needs_escape) out.text += " ESCAPE '\\'";
      Note(t, Use::kByValue, out_at);
    } else if (IsDateAssignment(prev, prev2)) {
      Note(t, EmitTextLiteral(DateLiteral(Unquoted(t.text))) ? Use::kDate : Use::kByValue, out_at);
    } else {
      // Not lifted, the literal is written back quoted as it came.
      Note(t, EmitTextLiteral(Unquoted(t.text)) ? Use::kText : Use::kAsWritten, out_at);
    }
  }

  void Guid(const Token& t, size_t out_at) {
    Note(t, EmitTextLiteral(std::string(GuidOf(t.text))) ? Use::kGuid : Use::kByValue, out_at);
  }

  void Number(const Token& t, size_t out_at) {
    const bool keep = !lift || positions_depth == depth || type_size_depth >= 0;
    std::optional<SqlParam> p = keep ? std::nullopt : NumberParam(t.text);
    if (p) {
      out.text += '?';
      out.params.push_back(std::move(*p));
      Note(t, Use::kNumber, out_at);
    } else {
      out.text += t.text;
      Note(t, keep ? Use::kAsWritten : Use::kUnliftable, out_at);
    }
  }

  // Date(), Time(), Now() and Date()+Time() at token `i`: true when one was
  // written, with `i` at its last token.
  bool ClockCall(size_t& i) {
    const Token& t = tokens[i];
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
      return true;
    }
    if (empty_call && (IsWord(t, "Time") || IsWord(t, "Now"))) {
      out.text += IsWord(t, "Time") ? "time('now','localtime')" : "datetime('now','localtime')";
      i = close;
      return true;
    }
    return false;
  }

  // SELECT [DISTINCT|ALL] TOP n at token `i`: true when "TOP n" and the blank
  // after it were dropped (the LIMIT is pending), with `i` at the last token
  // dropped.
  bool Top(size_t& i) {
    if (!IsWord(tokens[i], "TOP") || !prev ||
        !(IsWord(*prev, "SELECT") || IsWord(*prev, "DISTINCT") || IsWord(*prev, "ALL"))) {
      return false;
    }
    const size_t count = NextSignificant(tokens, i);
    if (count >= tokens.size() || tokens[count].kind != Tok::kNumber) return false;
    const size_t after = NextSignificant(tokens, count);
    if (after < tokens.size() && IsWord(tokens[after], "PERCENT")) return false;
    limits.push_back({depth, &tokens[count]});
    i = count;
    if (i + 1 < tokens.size() && tokens[i + 1].kind == Tok::kSpace) ++i;
    return true;
  }

  // Any other word, written as it stands; ORDER BY and GROUP BY lists are
  // followed, as their numbers are column positions.
  void Word(const Token& t) {
    if (IsWord(t, "BY") && prev && (IsWord(*prev, "ORDER") || IsWord(*prev, "GROUP"))) {
      positions_depth = depth;
    } else if (positions_depth == depth && EndsPositionList(t)) {
      positions_depth = -1;
    }
    out.text += t.text;
  }

  // A punctuation mark; false when it ended a statement (";" at depth 0).
  bool Punct(const Token& t) {
    if (t.text[0] == '(') {
      // CAST(x AS VARCHAR(10)): the size is part of the type name.
      if (type_size_depth < 0 && prev && prev->kind == Tok::kWord && prev2 &&
          IsWord(*prev2, "AS")) {
        type_size_depth = depth + 1;
      }
      ++depth;
      out.text += '(';
    } else if (t.text[0] == ')') {
      FlushLimits(depth);
      if (positions_depth == depth) positions_depth = -1;
      if (type_size_depth == depth) type_size_depth = -1;
      --depth;
      out.text += ')';
    } else if (t.text[0] == ';' && depth <= 0) {
      FlushLimits(depth);
      positions_depth = -1;
      ended = true;
      out.text += ';';
      return false;
    } else {
      out.text += t.text;
    }
    return true;
  }

  // A LIMIT still pending at the end goes before trailing blanks and comments.
  void LimitAtEnd() {
    if (ended || limits.empty()) return;
    size_t keep = out.text.size();
    for (size_t i = tokens.size(); i-- > 0 && !Significant(tokens[i]);) {
      keep -= tokens[i].text.size();
    }
    const std::string tail = out.text.substr(keep);
    out.text.resize(keep);
    FlushLimits(0);
    out.text += tail;
  }
};

}  // namespace

// The translation itself. When `uses` is given, it receives one entry per
// literal, in the order the literals were written out.
SqliteStatement TranslateFull(std::string_view jet, bool lift_literals,
                              std::vector<LiteralUse>* uses) {
  // The token list is kept from one call to the next instead of being
  // allocated afresh.
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

  Translator tr{jet, tokens, uses, out, lift};
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (!Significant(t)) {
      out.text += t.text;
      continue;
    }
    if (tr.ended) out.several_statements = true;
    const Token* self = &t;
    const size_t out_at = out.text.size();
    switch (t.kind) {
      case Tok::kString:
        tr.String(t, out_at);
        break;
      case Tok::kGuid:
        tr.Guid(t, out_at);
        break;
      case Tok::kNumber:
        tr.Number(t, out_at);
        break;
      case Tok::kWord:
        if (tr.ClockCall(i)) {
          self = &tokens[i];
        } else if (tr.Top(i)) {
          continue;  // prev stays the SELECT
        } else {
          tr.Word(t);
        }
        break;
      case Tok::kPunct:
        if (!tr.Punct(t)) self = nullptr;
        break;
      default:
        out.text += t.text;
        break;
    }
    if (self) {
      tr.prev2 = tr.prev;
      tr.prev = self;
    } else {
      tr.prev = tr.prev2 = nullptr;
    }
  }
  tr.LimitAtEnd();
  return out;
}

}  // namespace jet_detail

using jet_detail::Lex;
using jet_detail::NameOf;
using jet_detail::NextSignificant;
using jet_detail::Significant;
using jet_detail::Tok;
using jet_detail::Token;

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
