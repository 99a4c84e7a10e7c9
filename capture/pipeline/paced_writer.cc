#include "capture/pipeline/paced_writer.h"

#include "capture/pipeline/output.h"

namespace {
constexpr std::uint64_t kTickSleepMicroseconds = 5000;
}

// Allocated once per run() and reused for every block.
struct PacedWriter::Buffers {
  explicit Buffers(long block)
      : mic(static_cast<std::size_t>(block)), system(mic.size()), stereo(2 * mic.size()) {}
  std::vector<float> mic;
  std::vector<float> system;
  std::vector<std::int16_t> stereo;
};

PacedWriter::PacedWriter(double rate, std::shared_ptr<SampleRing> mic, std::shared_ptr<SampleRing> system,
                         Clock& clock, int fd)
    : rate_(rate),
      mic_(std::move(mic)),
      system_(std::move(system)),
      clock_(clock),
      fd_(fd),
      block_(static_cast<long>(rate / 50.0)),
      cushion_(static_cast<long>(rate / 10.0)),
      backlogLimit_(static_cast<long>(rate * 0.4)) {}

void PacedWriter::stop() {
  std::lock_guard<std::mutex> guard(stateLock_);
  running_ = false;
}

bool PacedWriter::isRunning() {
  std::lock_guard<std::mutex> guard(stateLock_);
  return running_;
}

bool PacedWriter::writeBlock(Buffers& buffers, bool trim) {
  if (trim) {
    mic_->trim(backlogLimit_, cushion_);
    system_->trim(backlogLimit_, cushion_);
  }
  mic_->pull(buffers.mic);
  system_->pull(buffers.system);
  Output::interleave(buffers.mic, buffers.system, buffers.stereo);
  return Output::write(buffers.stereo, fd_);
}

void PacedWriter::run() {
  const std::uint64_t start = clock_.nowNanoseconds();
  Buffers buffers(block_);
  if (isRunning()) {
    long long written = 0;
    do {
      const std::uint64_t elapsed = clock_.nowNanoseconds() - start;
      const auto due = static_cast<long long>(static_cast<double>(elapsed) / 1e9 * rate_);
      const long long target = due - cushion_;
      // A late tick catches up completely, block after block.
      while (target >= written + block_) {
        written += block_;
        if (!writeBlock(buffers, true)) {
          onBrokenPipe();
          return;
        }
      }
      clock_.sleepMicroseconds(kTickSleepMicroseconds);
    } while (isRunning());
  }
  // The sources have stopped: write out what is left, without pacing. A
  // failed write here is not reported; the session is already stopping.
  while (mic_->count() != 0 || system_->count() != 0) {
    if (!writeBlock(buffers, false)) return;
  }
}
