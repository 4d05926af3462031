#pragma once

#include <optional>
#include <string>

#include "records/target.h"

namespace talvenor::records {

// Creates the run's batch list row in Rollup_Names with the next code of the
// series (CAR.0001, CAR.0002, ..., CAR.10000, ...) and returns the code.
// Nothing when no list row could be stored; `why` (when given) then receives
// the error of the failed look-up or insert, if there was one.
std::optional<std::string> CreateImportBatch(Target& target, DbError* why = nullptr);

}  // namespace talvenor::records
