#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/db_error.h"
#include "records/value.h"

namespace talvenor::records {

// The result of a query, every row of it.
struct QueryRows {
  std::vector<std::string> names;        // the result's column names, in order
  std::vector<std::vector<Value>> rows;  // in the order the statement gives
};

// Runs one SELECT on an existing database file, on a read-only connection of
// its own, and returns all of its rows (a Recordset shows only the first).
// Values: NULL -> Null, whole numbers and reals -> Number, texts (and blobs)
// -> Text. A missing file, a statement that does not run or more than one
// statement is an error; nothing is ever written.
DbResult<QueryRows> ReadAllRows(std::string_view path, std::string_view sql);

}  // namespace talvenor::records
