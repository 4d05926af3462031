#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace talvenor::records {

// A literal lifted out of a statement, bound in its place: whole numbers as
// int64, other numbers as double, texts as text.
using SqlParam = std::variant<std::int64_t, double, std::string>;

// A Jet SQL text made ready for SQLite.
struct SqliteStatement {
  // The statement in SQLite's dialect. When `params` is not empty, each lifted
  // literal stands as "?" and the text is the statement's shape: statements
  // that differ only in their literal values have the same text.
  std::string text;
  std::vector<SqlParam> params;
  // True for data statements (SELECT, INSERT, UPDATE, DELETE, ...) whose
  // literals were lifted; false for statements that are prepared as written
  // (table definitions, pragmas, statements with their own parameters).
  bool lifted = false;
  // True when more than one statement stands in the text (outside literals).
  bool several_statements = false;
};

// Translates the Jet forms SQLite does not read, outside string literals,
// quoted and bracketed names and comments, and nowhere else:
//   a LIKE pattern literal: "*" -> "%", "?" -> "_" ("[*]", "[?]", "[#]", "[[]"
//     stand for the character itself; a literal "%" or "_" is escaped);
//   {guid {XXXXXXXX-...}}   -> the text literal '{XXXXXXXX-...}';
//   Date(), Time(), Now(), Date()+Time() -> the local date, time, date-time;
//   SELECT [DISTINCT] TOP n ... -> SELECT [DISTINCT] ... LIMIT n.
// When `lift_literals` is true, the string and numeric literals of a data
// statement become "?" parameters, except numbers that mean a column position
// (ORDER BY 1, GROUP BY 1) or a size in a type name (CAST(x AS VARCHAR(10))),
// and texts that name a column (AS 'name').
// A statement whose shape (its text with the literal values taken out) was
// translated before on this thread is translated from that shape's recipe in
// one scan of its text; the result is the same either way.
SqliteStatement TranslateJetSql(std::string_view jet, bool lift_literals = true);

// The table a SELECT reads when it reads exactly one table ("SELECT * FROM T
// WHERE ..."), by its name as written (brackets and quotes removed); nothing
// for a join, a sub-query in FROM, several tables or a statement that is not a
// SELECT. Used to tell which sets can add rows.
std::optional<std::string> SingleTableOf(std::string_view sql);

// True when the text holds nothing but blanks, comments and ";".
bool IsBlankSql(std::string_view sql);

namespace internal {

// The full translation, never served from remembered shapes: what
// TranslateJetSql gives for a shape it has not seen. For tests.
SqliteStatement TranslateJetSqlUncached(std::string_view jet, bool lift_literals = true);

// This thread's remembered shapes: statements translated from a recipe
// (hits), statements that found no recipe and were translated in full
// (misses), and the shapes held (at most 256).
struct JetShapeCacheStats {
  std::size_t hits = 0;
  std::size_t misses = 0;
  std::size_t shapes = 0;
};
JetShapeCacheStats ShapeCacheStats();

// Drops this thread's remembered shapes and zeroes its counts.
void ForgetShapes();

}  // namespace internal

}  // namespace talvenor::records
