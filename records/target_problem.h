#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "records/database.h"
#include "records/db_error.h"
#include "records/target_address.h"

namespace talvenor::records {

// The messages of a run that cannot start, each saying what happened and
// what to do. `target` is the target as the operator gave it; a connection
// text is never repeated (it may hold a password). `init_advice` is the
// command that creates the import's tables in it, as the front end that
// started the work names it.

// Why the target could not be opened: a missing file names the command that
// creates it, a lock says how long the run waited, and an ODBC failure lists
// every diagnostic of the driver and the server, one a line.
std::string TargetOpenProblem(const DbError& error, const TargetAddress& target,
                              std::string_view init_advice);

// Asks the open target `db` for each table the import writes. When some
// are missing, a message that names them and the command that creates them;
// otherwise nothing.
std::optional<std::string> MissingTablesProblem(Database& db, const TargetAddress& target,
                                                std::string_view init_advice);

// Why the run's batch list could not be created in the open target `db`:
// a lock, or the import's tables missing (named, with the command that
// creates them), found by asking the target for each table; otherwise the
// failed statement's error. `error` is that error when one is known.
std::string BatchListProblem(Database& db, const std::optional<DbError>& error,
                             const TargetAddress& target, std::string_view init_advice);

// The text of an error with every diagnostic behind it that it does not
// already say, each on a line of its own indented by two blanks.
std::string ErrorWithDiagnostics(const DbError& error);

}  // namespace talvenor::records
