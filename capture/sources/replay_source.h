// Plays an audio file into a sample ring as if it were a live device: 100 ms
// chunks, converted to mono at the session rate, paced by sleeping so the
// ring fills at the speed of real time. readAll() converts a whole file at
// once for the fast run.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/pipeline/audio_system.h"
#include "capture/pipeline/clock.h"
#include "capture/pipeline/mono_resampler.h"
#include "capture/pipeline/sample_ring.h"
#include "capture/sources/semaphore.h"
#include "capture/sources/source.h"

class ReplaySource final : public Source, public std::enable_shared_from_this<ReplaySource> {
 public:
  // Opens the file and prepares its conversion. Throws PlatformError when
  // the file does not open, CaptureError::unsupportedFormat(path) when its
  // format cannot be converted.
  static std::shared_ptr<ReplaySource> make(const std::string& path, std::shared_ptr<SampleRing> ring, double rate,
                                            AudioSystem& audio = linuxAudioSystem(), Clock& clock = systemClock());

  // Starts the replay thread; never fails. Called once.
  void start() override;
  // Asks the replay thread to stop after the chunk in progress; returns at once.
  void stop() override;
  // Blocks until the replay thread has ended. Called at most once.
  void waitUntilFinished();

  // The whole file as mono samples at `rate`, the converter's tail included.
  // Throws as make() does, and PlatformError when a read fails.
  static std::vector<float> readAll(const std::string& path, double rate, AudioSystem& audio = linuxAudioSystem());

  // As above, streaming the samples to `sink` as they are converted.
  static void readAll(const std::string& path, double rate, const Sink& sink, AudioSystem& audio);

  // About how many samples readAll() yields for the file, from its header,
  // with room for the converter's tail; 0 when the file does not open.
  static std::int64_t expectedSamples(const std::string& path, double rate, AudioSystem& audio);

 private:
  ReplaySource(std::unique_ptr<AudioFile> file, std::shared_ptr<SampleRing> ring,
               std::unique_ptr<MonoResampler> resampler, Clock& clock);
  void play();
  bool isRunning();

  std::unique_ptr<AudioFile> file_;
  std::shared_ptr<SampleRing> ring_;
  std::unique_ptr<MonoResampler> resampler_;
  Clock& clock_;
  Semaphore finished_;
  std::mutex stateLock_;
  bool running_ = true;
};
