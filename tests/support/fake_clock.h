#pragma once

// A local clock the test sets by hand. The seconds-since-midnight counter
// follows the set date-time, so crossing midnight resets it as the real one
// does.

#include <cmath>

#include "records/clock.h"
#include "records/date_time.h"

namespace talvenor::testing {

using records::CivilTime;
using records::Clock;
using records::FromCivil;

class FakeClock : public Clock {
 public:
  explicit FakeClock(double now = FromCivil({2026, 12, 8, 15, 4, 5, 0})) : now_(now) {}

  void Set(double serial) { now_ = serial; }
  void Set(const CivilTime& t) { now_ = FromCivil(t); }
  void Advance(double seconds) { now_ += seconds / 86400.0; }
  void SetRandom(double r) { random_ = r; }

  double Now() override { return now_; }
  double SecondsSinceMidnight() override {
    const double ms = std::round((now_ - std::floor(now_)) * 86'400'000.0);
    return ms / 1000.0;
  }
  double Random() override { return random_; }

 private:
  double now_;
  double random_ = 0.5;
};

}  // namespace talvenor::testing
