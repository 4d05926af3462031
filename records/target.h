#pragma once

#include <array>
#include <memory>

#include "records/clock.h"
#include "records/clock_cache.h"
#include "records/database.h"
#include "records/operator.h"

namespace talvenor::records {

// The sets the activity writers add rows to (companies, candidates,
// positions), kept open for a whole run so that a row costs no set opening
// (a round trip on a server). Close before the target is closed.
struct ActivitySets {
  std::array<std::unique_ptr<Recordset>, 3> sets;
  void Close();
};

// The open target of an import run and the services the record routines
// need beside it. What differs by engine the rules ask `db`.
struct Target {
  Database& db;
  Clock& clock;
  Operator& op;
  ClockCache& clock_cache;
  // Where a run keeps its activity sets; without it every activity row opens
  // and closes a set of its own.
  ActivitySets* activity_sets = nullptr;
  // Keys of new rows come from NewRunKey (the server clock asked once a
  // minute) rather than from a clock query per key.
  bool run_keys = false;
};

}  // namespace talvenor::records
