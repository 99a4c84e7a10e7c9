// Micro-benchmarks of the paced output path at 48000 Hz, the highest
// session rate: the float-to-16-bit interleave of one 20 ms block, and one
// whole writer block (trim, pull, interleave, write to /dev/null) with the
// 5 ms tick sleep taken out by a scripted clock.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "capture/pipeline/fake_clock.h"
#include "capture/pipeline/output.h"
#include "capture/pipeline/paced_writer.h"

namespace {

constexpr long kBlock48k = 960;

std::vector<float> noise(long n) {
  std::vector<float> v(static_cast<std::size_t>(n));
  unsigned x = 12345;
  for (auto& s : v) {
    x = x * 1103515245u + 12345u;
    s = static_cast<float>(x >> 8) / static_cast<float>(1u << 23) - 1.0f;
  }
  return v;
}

void BM_Interleave(benchmark::State& state) {
  const auto mic = noise(kBlock48k), system = noise(kBlock48k);
  std::vector<std::int16_t> stereo(2 * kBlock48k);
  for (auto _ : state) {
    Output::interleave(mic, system, stereo);
    benchmark::DoNotOptimize(stereo.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBlock48k);
}
BENCHMARK(BM_Interleave);

void BM_WriterBlock(benchmark::State& state) {
  auto mic = std::make_shared<SampleRing>(), system = std::make_shared<SampleRing>();
  FILE* devNull = std::fopen("/dev/null", "wb");
  FakeClock clock;
  PacedWriter writer(48000, mic, system, clock, fileno(devNull));
  const auto delivery = noise(kBlock48k);
  clock.onSleep = [&](std::uint64_t) {
    clock.now += 20'000'000;  // exactly one block due per tick
    mic->push(delivery);
    system->push(delivery);
    if (!state.KeepRunning()) writer.stop();
  };
  writer.run();
  state.SetItemsProcessed(state.iterations() * kBlock48k);
  std::fclose(devNull);
}
BENCHMARK(BM_WriterBlock);

}  // namespace

BENCHMARK_MAIN();
