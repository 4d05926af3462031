#pragma once

#include <string>

#include "records/db_error.h"
#include "records/target.h"

namespace talvenor::records {

// Creates the run's batch list row in Rollup_Names with the next code of the
// series (CAR.0001, CAR.0002, ..., CAR.10000, ...) and returns the code.
// When no list row could be stored: the error of the failed look-up or
// insert, or an error numbered 0 (no engine error behind it) when every code
// tried was taken.
DbResult<std::string> CreateImportBatch(Target& target);

}  // namespace talvenor::records
