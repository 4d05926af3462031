#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/database.h"

namespace talvenor::records {

enum class SqlDialect { kSqlite, kPostgres, kSqlServer };

// The tables the import reads and writes, in the order they are created.
const std::vector<std::string>& TargetTableNames();

// The whole target schema as statements of one dialect: every table with its
// keys and its look-up indexes (PostgreSQL first gets the case-insensitive
// collation its text columns use). Statements carry no ";".
std::vector<std::string> SchemaStatements(SqlDialect dialect);

// The statements that create one table (and its indexes); empty for a name
// that is not a target table. Letter case of `table` is ignored.
std::vector<std::string> TableStatements(std::string_view table, SqlDialect dialect);

// The defined size of a text column of the target schema (0 for other
// columns and unknown names).
int TargetColumnSize(std::string_view table, std::string_view column);

// Creates the tables of the target schema that `db` lacks, with their
// indexes, and commits. A table that exists is left exactly as it is (never
// altered, no index added). Returns the names of the tables that existed.
DbResult<std::vector<std::string>> CreateTargetSchema(Database& db, SqlDialect dialect);

}  // namespace talvenor::records
