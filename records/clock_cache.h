#pragma once

namespace talvenor::records {

// What the server clock keeps between calls; lives as long as the program.
struct ClockCache {
  bool filled = false;          // false until the first server query
  double last_fetch_local = 0;  // local date-time at the last server query
  double server_time = 0;       // the server's answer then
  double counter_at_fetch = 0;  // local seconds since midnight then

  // The clock the keys of an import run are made from (NewRunKey): the
  // server's time to the millisecond at its last query, the local state then,
  // and the last key handed out.
  bool key_filled = false;
  double key_fetch_local = 0;       // local date-time at the last key clock query
  double key_counter_at_fetch = 0;  // local seconds since midnight then
  long long key_day = 0;            // the server's answer: whole days since 1899-12-30,
  long long key_millisecond = 0;    // and milliseconds into that day
  double last_key = 0;              // the last key NewRunKey returned
};

}  // namespace talvenor::records
