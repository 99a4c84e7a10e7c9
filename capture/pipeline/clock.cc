#include "capture/pipeline/clock.h"

#include <time.h>

#include <cerrno>

namespace {

class SystemClock final : public Clock {
 public:
  std::uint64_t nowNanoseconds() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
  }

  void sleepMicroseconds(std::uint64_t microseconds) override {
    timespec left{static_cast<time_t>(microseconds / 1000000u), static_cast<long>(microseconds % 1000000u) * 1000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
};

}  // namespace

Clock& systemClock() {
  static SystemClock* clock = new SystemClock;  // never destroyed: threads may outlive exit handlers
  return *clock;
}
