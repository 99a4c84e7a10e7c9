// Paces the two sample rings out as stereo PCM: the stream grows by the
// session rate's worth of frames per second of elapsed time, in 20 ms blocks,
// lagging the clock by a 100 ms cushion. A short ring is padded with silence;
// a ring past the 400 ms backlog limit is cut back to the cushion.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/pipeline/clock.h"
#include "capture/pipeline/sample_ring.h"

class PacedWriter {
 public:
  // `rate` is a session rate (8000 to 48000 Hz); `mic` is the left channel.
  // `clock` and `fd` default to the system clock and standard output.
  PacedWriter(double rate, std::shared_ptr<SampleRing> mic, std::shared_ptr<SampleRing> system,
              Clock& clock = systemClock(), int fd = 1);

  // Called once, on the writer thread, when a write fails while pacing.
  // Set it before run() starts.
  std::function<void()> onBrokenPipe = [] {};

  // The writer thread's body: paces until stop(), then drains both rings and
  // returns; returns at once after a failed write. Called once.
  void run();

  // Ends the paced phase at the end of the current tick. Any thread, any
  // number of times; does not wait for run().
  void stop();

  long block() const { return block_; }
  long cushion() const { return cushion_; }
  long backlogLimit() const { return backlogLimit_; }

 private:
  struct Buffers;
  bool isRunning();
  bool writeBlock(Buffers& buffers, bool trim);

  const double rate_;
  const std::shared_ptr<SampleRing> mic_;
  const std::shared_ptr<SampleRing> system_;
  Clock& clock_;
  const int fd_;
  const long block_;
  const long cushion_;
  const long backlogLimit_;
  std::mutex stateLock_;
  bool running_ = true;
};
