#pragma once

namespace talvenor::records {

// The local clock and random numbers, injectable so tests can cross minutes
// and midnight without waiting.
class Clock {
 public:
  virtual ~Clock() = default;
  // Local date-time: days since 30 December 1899, time of day as the fraction,
  // with milliseconds.
  virtual double Now() = 0;
  // Seconds since local midnight, with fraction.
  virtual double SecondsSinceMidnight() = 0;
  // A uniform random number in [0, 1) from a generator seeded from the clock.
  virtual double Random() = 0;
};

// The system's clock.
class SystemClock final : public Clock {
 public:
  double Now() override;
  double SecondsSinceMidnight() override;
  double Random() override;
};

}  // namespace talvenor::records
