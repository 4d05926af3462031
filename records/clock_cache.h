#pragma once

namespace talvenor::records {

// What the server clock keeps between calls; lives as long as the program.
struct ClockCache {
  bool filled = false;          // false until the first server query
  double last_fetch_local = 0;  // local date-time at the last server query
  double server_time = 0;       // the server's answer then
  double counter_at_fetch = 0;  // local seconds since midnight then
};

}  // namespace talvenor::records
