#pragma once

#include <memory>
#include <string_view>

#include "records/database.h"

namespace talvenor::records {

// Opens the target of an import run: an ODBC connection text (a leading
// "ODBC;" is dropped) when `is_odbc`, otherwise an existing database file.
DbResult<std::unique_ptr<Database>> OpenTarget(std::string_view path, bool is_odbc);

}  // namespace talvenor::records
