#include "records/server_clock.h"

#include <cmath>
#include <optional>
#include <string>

#include "records/date_time.h"

namespace talvenor::records {
namespace {

constexpr double kSecondsPerDay = 86400;

// The server's answer to the clock query as a date-time.
std::optional<double> AskServerTime(Database& db) {
  auto set = db.OpenRecordset("SELECT GetDate()");
  if (!set) return std::nullopt;
  std::optional<double> answer;
  if (!(*set)->Eof()) {
    if (auto value = (*set)->Field(0)) {
      if (value->IsDateTime() || value->IsNumber()) {
        answer = value->number();
      } else if (value->IsText()) {
        answer = ParseDateTime(value->text());
      }
    }
  }
  (*set)->Close();
  return answer;
}

}  // namespace

double ServerNow(Target& target) {
  const double local = target.clock.Now();
  // A database file's engine tells the time by the host's clock.
  if (target.db.Dialect() == SqlDialect::kSqlite) return local;

  ClockCache& cache = target.clock_cache;
  // Within the local minute of the last query the server's answer is advanced
  // by the local seconds counter. A call a whole number of days later can land
  // in the same "hh:nn" and is advanced by the counter difference alone.
  if (cache.filled &&
      FormatDateTime(local, "hh:nn") == FormatDateTime(cache.last_fetch_local, "hh:nn")) {
    // nearbyint rounds halves to the even number in the default rounding mode.
    const double elapsed =
        std::nearbyint(target.clock.SecondsSinceMidnight() - cache.counter_at_fetch);
    return cache.server_time + elapsed / kSecondsPerDay;
  }

  // The first call always asks, also at 00:00 when an unfilled cache would
  // compare equal. A failed query caches the local time as the server's until
  // the local minute changes, so a missing server is not asked on every call.
  cache.last_fetch_local = local;
  const double result = AskServerTime(target.db).value_or(local);
  cache.server_time = result;
  cache.counter_at_fetch = target.clock.SecondsSinceMidnight();
  cache.filled = true;
  return result;
}

}  // namespace talvenor::records
