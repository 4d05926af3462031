#include "records/target_schema.h"

#include <initializer_list>

#include "records/stop_request.h"
#include "text/ascii.h"

namespace talvenor::records {
namespace {

enum class Type {
  kAutoKey,  // the table numbers its rows (an AutoNumber on a database file)
  kGuidKey,  // a GUID text on a database file, a number on a server
  kKey,      // a key of another table
  kText,     // sized text, compared without regard to letter case
  kCode,     // sized text searched with LIKE (batch list codes)
  kMemo,     // text without a size
  kDateTime,
  kSmallInt,
};

struct ColumnDef {
  const char* name;
  Type type;
  int size = 0;
  bool required = false;
};

struct IndexDef {
  const char* name;
  std::vector<const char*> columns;
  bool unique = false;
};

struct TableDef {
  const char* name;
  std::vector<ColumnDef> columns;
  std::vector<const char*> primary_key;  // a key of several columns
  std::vector<IndexDef> indexes;
};

// Sizes are those of the recruiting database the import feeds: phone and fax
// columns hold the 25-character phone mask; Contact_Name holds a first name,
// a blank and a last name uncut; Scripts.Description an e-mail address uncut.
const std::vector<TableDef>& Tables() {
  static const std::vector<TableDef> tables = {
      {"Companies",
       {{"Company_Id", Type::kAutoKey},
        {"Company_Name", Type::kText, 50},
        {"Phone", Type::kText, 25},
        {"Fax", Type::kText, 25},
        {"Address_1", Type::kText, 50},
        {"City", Type::kText, 30},
        {"State", Type::kText, 20},
        {"Zip", Type::kText, 10},
        {"Email_Address", Type::kText, 60},
        {"Last_Activity", Type::kDateTime}},
       {},
       {{"Companies_Lookup", {"Company_Name", "Phone"}}}},
      {"Candidates",
       {{"Candidate_Id", Type::kAutoKey},
        {"Company_Id", Type::kKey},
        {"First_Name", Type::kText, 30},
        {"Last_Name", Type::kText, 30},
        {"Middle_Init", Type::kText, 20},
        {"Title", Type::kText, 50},
        {"Work_Phone", Type::kText, 25},
        {"Fax_Phone", Type::kText, 25},
        {"Email_Address", Type::kText, 60},
        {"Specialty_2", Type::kText, 10},
        {"Last_Activity", Type::kDateTime}},
       {},
       {{"Candidates_Lookup", {"First_Name", "Last_Name", "Title", "Work_Phone"}}}},
      {"Positions",
       {{"Job_Id", Type::kAutoKey},
        {"Company_Id", Type::kKey},
        {"Job_Title", Type::kText, 60},
        {"City", Type::kText, 30},
        {"Zip", Type::kText, 10},
        {"Candidate_Id", Type::kKey},
        {"Contact_Name", Type::kText, 80},
        {"Contact_Phone", Type::kText, 25},
        {"Date_Posted", Type::kDateTime},
        {"Last_Activity", Type::kDateTime}},
       {},
       {{"Positions_Lookup", {"Job_Title", "City"}}}},
      {"Scripts",
       {{"Script_Id", Type::kGuidKey},
        {"Description", Type::kText, 255},
        {"Job_Id", Type::kKey},
        {"Script_Type", Type::kText, 20}},
       {},
       {}},
      {"Company_Activity",
       {{"Activity_Id", Type::kAutoKey},
        {"Company_Id", Type::kKey},
        {"User_Name", Type::kText, 20},
        {"Date_Entered", Type::kDateTime},
        {"Act_Type", Type::kText, 20},
        {"Memo", Type::kMemo}},
       {},
       {}},
      {"Candidate_Activity",
       {{"Activity_Id", Type::kAutoKey},
        {"Candidate_Id", Type::kKey},
        {"User_Name", Type::kText, 20},
        {"Entry_Date", Type::kDateTime},
        {"Act_Type", Type::kText, 20},
        {"Memo", Type::kMemo}},
       {},
       {}},
      {"Position_Activities",
       {{"Activity_Id", Type::kGuidKey},
        {"Position_Id", Type::kKey},
        {"User_Name", Type::kText, 20},
        {"Date_Entered", Type::kDateTime},
        {"Act_Type", Type::kText, 20},
        {"Memo", Type::kMemo}},
       {},
       {}},
      {"Rollup_Names",
       {{"Code", Type::kCode, 20, /*required=*/true},
        {"Description", Type::kText, 50},
        {"Memo", Type::kMemo},
        {"Shared", Type::kSmallInt},
        {"Date_Entered", Type::kDateTime}},
       {},
       {{"Rollup_Names_Code", {"Code"}, /*unique=*/true}}},
      {"RollupC_Records",
       {{"Rollup_Name", Type::kCode, 20, true}, {"Company_Id", Type::kKey, 0, true}},
       {"Rollup_Name", "Company_Id"},
       {}},
      {"Rollup_Records",
       {{"Rollup_Name", Type::kCode, 20, true}, {"Candidate_Id", Type::kKey, 0, true}},
       {"Rollup_Name", "Candidate_Id"},
       {}},
      {"RollupP_Records",
       {{"Rollup_Name", Type::kCode, 20, true}, {"Job_Id", Type::kKey, 0, true}},
       {"Rollup_Name", "Job_Id"},
       {}},
  };
  return tables;
}

// PostgreSQL's case-insensitive comparison that still keeps varchar(n)
// sizes. It cannot serve LIKE (PostgreSQL refuses LIKE on such collations),
// so codes keep the default collation.
constexpr const char* kPostgresCollation =
    "CREATE COLLATION IF NOT EXISTS talvenor_nocase "
    "(provider = icu, locale = 'und-u-ks-level2', deterministic = false)";

std::string Sized(const char* type, int size) {
  return std::string(type) + "(" + std::to_string(size) + ")";
}

std::string ColumnType(const ColumnDef& c, SqlDialect d) {
  switch (d) {
    case SqlDialect::kSqlite:
      switch (c.type) {
        case Type::kAutoKey:
          return "INTEGER PRIMARY KEY AUTOINCREMENT";
        case Type::kGuidKey:
          return "VARCHAR(38) NOT NULL PRIMARY KEY COLLATE NOCASE";
        case Type::kKey:
        case Type::kSmallInt:
          return "INTEGER";
        case Type::kText:
        case Type::kCode:
          return Sized("VARCHAR", c.size) + " COLLATE NOCASE";
        case Type::kMemo:
          return "TEXT COLLATE NOCASE";
        case Type::kDateTime:
          return "DATETIME";
      }
      break;
    case SqlDialect::kPostgres:
      switch (c.type) {
        case Type::kAutoKey:
        case Type::kGuidKey:
          return "BIGINT NOT NULL PRIMARY KEY";
        case Type::kKey:
          return "BIGINT";
        case Type::kSmallInt:
          return "SMALLINT";
        case Type::kText:
          return Sized("VARCHAR", c.size) + " COLLATE talvenor_nocase";
        case Type::kCode:
          return Sized("VARCHAR", c.size);
        case Type::kMemo:
          return "TEXT COLLATE talvenor_nocase";
        case Type::kDateTime:
          return "TIMESTAMP";
      }
      break;
    case SqlDialect::kSqlServer:
      // The server's default collation already ignores letter case.
      switch (c.type) {
        case Type::kAutoKey:
        case Type::kGuidKey:
          return "BIGINT NOT NULL PRIMARY KEY";
        case Type::kKey:
          return "BIGINT";
        case Type::kSmallInt:
          return "SMALLINT";
        case Type::kText:
        case Type::kCode:
          return Sized("NVARCHAR", c.size);
        case Type::kMemo:
          return "NVARCHAR(MAX)";
        case Type::kDateTime:
          return "DATETIME";
      }
      break;
  }
  return {};
}

std::string JoinNames(const std::vector<const char*>& names) {
  std::string out;
  for (const char* n : names) {
    if (!out.empty()) out += ", ";
    out += n;
  }
  return out;
}

std::vector<std::string> Render(const TableDef& t, SqlDialect d) {
  std::string create = std::string("CREATE TABLE ") + t.name + " (";
  bool first = true;
  for (const ColumnDef& c : t.columns) {
    create += first ? "\n  " : ",\n  ";
    first = false;
    create += std::string(c.name) + " " + ColumnType(c, d);
    if (c.required) create += " NOT NULL";
  }
  if (!t.primary_key.empty()) create += ",\n  PRIMARY KEY (" + JoinNames(t.primary_key) + ")";
  create += "\n)";
  // A batch-list table is its key and nothing else: on SQLite it is stored as
  // that key's index alone, so that a membership is written to one b-tree
  // rather than to a table and its key index.
  if (d == SqlDialect::kSqlite && !t.primary_key.empty()) create += " WITHOUT ROWID";
  std::vector<std::string> out = {create};
  for (const IndexDef& i : t.indexes) {
    out.push_back(std::string(i.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + i.name +
                  " ON " + t.name + " (" + JoinNames(i.columns) + ")");
  }
  return out;
}

}  // namespace

const std::vector<std::string>& TargetTableNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const TableDef& t : Tables()) out.emplace_back(t.name);
    return out;
  }();
  return names;
}

std::vector<std::string> SchemaStatements(SqlDialect dialect) {
  std::vector<std::string> out;
  if (dialect == SqlDialect::kPostgres) out.emplace_back(kPostgresCollation);
  for (const TableDef& t : Tables()) {
    for (std::string& s : Render(t, dialect)) out.push_back(std::move(s));
  }
  return out;
}

bool IsDateColumnName(std::string_view column) {
  for (const TableDef& t : Tables()) {
    for (const ColumnDef& c : t.columns) {
      if (c.type == Type::kDateTime && text::EqualsIgnoreCase(c.name, column)) return true;
    }
  }
  return false;
}

DbResult<std::vector<std::string>> CreateTargetSchema(Database& db, SqlDialect dialect) {
  std::vector<std::string> existing;
  bool collation_made = false;
  for (const TableDef& t : Tables()) {
    // A stop asked for (Ctrl-C, SIGTERM) is heard between tables.
    if (StopRequested()) return std::unexpected(StoppedError());
    // A table that answers a query that reads no row is there.
    if (auto probe = db.OpenRecordset(std::string("SELECT * FROM ") + t.name + " WHERE 1=0")) {
      (*probe)->Close();
      existing.emplace_back(t.name);
      continue;
    }
    if (dialect == SqlDialect::kPostgres && !collation_made) {
      if (auto ok = db.Execute(kPostgresCollation); !ok) return std::unexpected(ok.error());
      collation_made = true;
    }
    for (const std::string& statement : Render(t, dialect)) {
      if (auto ok = db.Execute(statement); !ok) return std::unexpected(ok.error());
    }
  }
  if (auto ok = db.Flush(); !ok) return std::unexpected(ok.error());
  return existing;
}

}  // namespace talvenor::records
