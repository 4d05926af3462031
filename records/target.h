#pragma once

#include "records/clock.h"
#include "records/database.h"
#include "records/operator.h"

namespace talvenor::records {

// What the server clock keeps between calls; lives as long as the program.
struct ClockCache {
  bool filled = false;          // false until the first server query
  double last_fetch_local = 0;  // local date-time at the last server query
  double server_time = 0;       // the server's answer then
  double counter_at_fetch = 0;  // local seconds since midnight then
};

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
