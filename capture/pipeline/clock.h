// Time as the pacing code sees it: a monotonic clock and a sleep. The real
// one is the system's; tests put a scripted clock in its place.
#pragma once

#include <cstdint>

class Clock {
 public:
  virtual ~Clock() = default;

  // Nanoseconds on a clock that never jumps; only differences matter.
  virtual std::uint64_t nowNanoseconds() = 0;

  // Blocks the calling thread for at least `microseconds`.
  virtual void sleepMicroseconds(std::uint64_t microseconds) = 0;
};

// The process-wide monotonic clock (CLOCK_MONOTONIC) with nanosleep.
Clock& systemClock();
