// A scripted clock for tests: time moves only when the code under test
// sleeps (by the sleep itself, or as `onSleep` decides) or when a test says so.
#pragma once

#include <functional>

#include "capture/pipeline/clock.h"

class FakeClock final : public Clock {
 public:
  std::uint64_t nowNanoseconds() override { return now; }

  // Runs `onSleep` (which may move `now` and feed the code under test), then
  // advances by the sleep unless `onSleep` already moved the clock.
  void sleepMicroseconds(std::uint64_t microseconds) override {
    ++sleeps;
    const std::uint64_t before = now;
    if (onSleep) onSleep(microseconds);
    if (now == before) now += microseconds * 1000;
  }

  std::uint64_t now = 1'000'000'000;  // arbitrary epoch: only differences count
  int sleeps = 0;
  std::function<void(std::uint64_t)> onSleep;
};
