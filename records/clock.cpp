#include "records/clock.h"

#include <chrono>
#include <ctime>
#include <random>

#include "records/date_time.h"

namespace talvenor::records {
namespace {

// The local wall-clock time broken into its parts, with milliseconds.
CivilTime LocalNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  // The broken-down time of the last second asked for is kept: an import asks
  // for the time several times per record, and localtime_r consults the time
  // zone every time.
  thread_local std::time_t last_secs = -1;
  thread_local std::tm local{};
  if (secs != last_secs) {
    localtime_r(&secs, &local);
    last_secs = secs;
  }
  CivilTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.millisecond = int(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return t;
}

}  // namespace

double SystemClock::Now() { return FromCivil(LocalNow()); }

double SystemClock::SecondsSinceMidnight() {
  const CivilTime t = LocalNow();
  return t.hour * 3600.0 + t.minute * 60.0 + t.second + t.millisecond / 1000.0;
}

double SystemClock::Random() {
  // Seeded from the clock at each call.
  std::mt19937_64 generator(
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

}  // namespace talvenor::records
