// Counts heap allocations to show that a paced block allocates nothing once
// the writer runs. A separate binary: it replaces the global allocator.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "capture/pipeline/fake_clock.h"
#include "capture/pipeline/paced_writer.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(PacedWriterAllocation, BlocksAllocateNothing) {
  auto mic = std::make_shared<SampleRing>(), system = std::make_shared<SampleRing>();
  FILE* sink = std::fopen("/dev/null", "wb");
  ASSERT_NE(sink, nullptr);
  FakeClock clock;
  PacedWriter writer(48000, mic, system, clock, fileno(sink));
  const std::vector<float> delivery(960, 0.25f);
  int tick = 0;
  long before = 0;
  clock.onSleep = [&](std::uint64_t) {
    clock.now += 20'000'000;  // one 960-frame block per tick at 48000 Hz
    mic->push(delivery);
    system->push(delivery);
    if (++tick == 20) before = allocations;  // rings and buffers are warm
    if (tick == 520) writer.stop();
  };
  writer.run();
  EXPECT_EQ(allocations - before, 0) << "over 500 blocks";
  std::fclose(sink);
}

}  // namespace
