#pragma once

#include <memory>
#include <string_view>

#include "records/commit_policy.h"
#include "records/database.h"
#include "records/target_address.h"

namespace talvenor::records {

// Opens the target of an import run: an ODBC connection text (a leading
// "ODBC;" is dropped), or an existing database file.
DbResult<std::unique_ptr<Database>> OpenTarget(const TargetAddress& address);

// How a target is opened beyond its name.
struct TargetSettings {
  // The page cache limit of a database file, in MiB; 0 keeps the engine's
  // default. Has no meaning for an ODBC source.
  int cache_mib = 0;
  // When the lines of a run are committed, on every engine.
  CommitPolicy commit;
  // A database file keeps its changes in a rollback journal instead of a
  // write-ahead log: a small file seldom written can then be read where its
  // folder cannot be written (a log needs a file beside it). Has no meaning
  // for an ODBC source.
  bool rollback_journal = false;
};
DbResult<std::unique_ptr<Database>> OpenTargetWith(const TargetAddress& address,
                                                   const TargetSettings& settings);

// Opens a target to create tables in: a database file is made when it is not
// there (an existing one, empty or not, is opened as it is); a connection
// text is opened as OpenTargetWith opens it.
DbResult<std::unique_ptr<Database>> CreateTarget(const TargetAddress& address,
                                                 const TargetSettings& settings = {});

}  // namespace talvenor::records
