#pragma once

#include <memory>
#include <string_view>

#include "records/commit_policy.h"
#include "records/database.h"

namespace talvenor::records {

// Opens the target of an import run: an ODBC connection text (a leading
// "ODBC;" is dropped) when `is_odbc`, otherwise an existing database file.
DbResult<std::unique_ptr<Database>> OpenTarget(std::string_view path, bool is_odbc);

// How a target is opened beyond its name.
struct TargetSettings {
  // The page cache limit of a database file, in MiB; 0 keeps the engine's
  // default. Has no meaning for an ODBC source.
  int cache_mib = 0;
  // When the lines of a run are committed, on every engine.
  CommitPolicy commit;
};
DbResult<std::unique_ptr<Database>> OpenTargetWith(std::string_view path, bool is_odbc,
                                                   const TargetSettings& settings);

}  // namespace talvenor::records
