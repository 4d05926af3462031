#pragma once

#include "records/clock.h"
#include "records/clock_cache.h"
#include "records/database.h"
#include "records/operator.h"

namespace talvenor::records {

// The open target of an import run and the services the record routines
// need beside it. `is_odbc` is TargetIsOdbc: true for an ODBC source.
struct Target {
  Database& db;
  bool is_odbc;
  Clock& clock;
  Operator& op;
  ClockCache& clock_cache;
};

}  // namespace talvenor::records
