#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/database.h"

namespace talvenor::records {

// The tables the import reads and writes, in the order they are created.
const std::vector<std::string>& TargetTableNames();

// The whole target schema as statements of one dialect: every table with its
// keys and its look-up indexes (PostgreSQL first gets the case-insensitive
// collation its text columns use). Statements carry no ";".
std::vector<std::string> SchemaStatements(SqlDialect dialect);

// True when a column of this name holds date-times in a table of the target
// schema (letter case ignored). Statement translators ask it rather than
// keeping a list of their own.
bool IsDateColumnName(std::string_view column);

// Creates the tables of the target schema that `db` lacks, with their
// indexes, and commits. A table that exists is left exactly as it is (never
// altered, no index added). Returns the names of the tables that existed.
DbResult<std::vector<std::string>> CreateTargetSchema(Database& db, SqlDialect dialect);

}  // namespace talvenor::records
