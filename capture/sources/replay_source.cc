#include "capture/sources/replay_source.h"

#include <thread>

#include "capture/sources/capture_error.h"

namespace {

constexpr std::uint32_t kFastChunkFrames = 65536;

struct Opened {
  std::unique_ptr<AudioFile> file;
  std::unique_ptr<MonoResampler> resampler;
};

Opened open(const std::string& path, double rate, AudioSystem& audio) {
  Opened opened{audio.openForReading(path), nullptr};  // throws the decoder's own error
  opened.resampler = MonoResampler::make(opened.file->processingFormat(), rate, audio);
  if (!opened.resampler) throw CaptureError::unsupportedFormat(path);
  return opened;
}

}  // namespace

ReplaySource::ReplaySource(std::unique_ptr<AudioFile> file, std::shared_ptr<SampleRing> ring,
                           std::unique_ptr<MonoResampler> resampler, Clock& clock)
    : file_(std::move(file)), ring_(std::move(ring)), resampler_(std::move(resampler)), clock_(clock) {}

std::shared_ptr<ReplaySource> ReplaySource::make(const std::string& path, std::shared_ptr<SampleRing> ring,
                                                 double rate, AudioSystem& audio, Clock& clock) {
  Opened opened = open(path, rate, audio);
  return std::shared_ptr<ReplaySource>(
      new ReplaySource(std::move(opened.file), std::move(ring), std::move(opened.resampler), clock));
}

void ReplaySource::start() {
  // The thread keeps the source alive until play() returns; it is never joined.
  std::thread([self = shared_from_this()] { self->play(); }).detach();
}

void ReplaySource::stop() {
  std::lock_guard<std::mutex> guard(stateLock_);
  running_ = false;
}

bool ReplaySource::isRunning() {
  std::lock_guard<std::mutex> guard(stateLock_);
  return running_;
}

void ReplaySource::waitUntilFinished() { finished_.wait(); }

void ReplaySource::play() {
  const AudioFormat& format = file_->processingFormat();
  const double fileRate = format.sampleRate;
  const double tenth = fileRate / 10;
  const auto chunk = tenth < 4294967296.0 ? static_cast<std::uint32_t>(tenth) : UINT32_MAX;
  const auto buffer = PcmBuffer::make(format, chunk);
  const Sink push = [this](std::span<const float> samples) { ring_->push(samples); };
  if (buffer) {
    const std::uint64_t start = clock_.nowNanoseconds();
    double played = 0.0;
    bool flush = true;
    while (isRunning() && file_->framePosition() < file_->length()) {
      try {
        file_->read(*buffer, chunk);
      } catch (const std::exception&) {
        flush = false;  // a failed read ends the replay quietly
        break;
      }
      const std::uint32_t frames = buffer->frameLength();
      if (frames == 0) {
        flush = false;
        break;
      }
      resampler_->convert(*buffer, push);
      played += frames / fileRate;
      const double elapsed = static_cast<double>(clock_.nowNanoseconds() - start) / 1e9;
      const double lead = played - elapsed;
      // Ahead of real time: wait. Behind: read on at once, never skip audio.
      if (lead > 0) clock_.sleepMicroseconds(static_cast<std::uint64_t>(lead * 1000000));
    }
    if (flush) resampler_->flush(push);
  }
  finished_.signal();
}

void ReplaySource::readAll(const std::string& path, double rate, const Sink& sink, AudioSystem& audio) {
  Opened opened = open(path, rate, audio);
  AudioFile& file = *opened.file;
  const auto buffer = PcmBuffer::make(file.processingFormat(), kFastChunkFrames);
  if (!buffer) throw CaptureError::unsupportedFormat(path);
  while (file.framePosition() < file.length()) {
    file.read(*buffer, kFastChunkFrames);  // a failure propagates: the caller discards the samples
    if (buffer->frameLength() == 0) break;
    opened.resampler->convert(*buffer, sink);
  }
  opened.resampler->flush(sink);
}

std::int64_t ReplaySource::expectedSamples(const std::string& path, double rate, AudioSystem& audio) {
  try {
    const auto file = audio.openForReading(path);
    const double samples = static_cast<double>(file->length()) * rate / file->processingFormat().sampleRate;
    if (!(samples >= 0 && samples < 1e15)) return 0;
    return static_cast<std::int64_t>(samples) + 8192 + 64;  // the flush yields at most 8192
  } catch (const std::exception&) {
    return 0;
  }
}

std::vector<float> ReplaySource::readAll(const std::string& path, double rate, AudioSystem& audio) {
  std::vector<float> samples;
  try {
    samples.reserve(static_cast<std::size_t>(expectedSamples(path, rate, audio)));
  } catch (const std::exception&) {
    // A length the header cannot back up: grow as the samples come.
  }
  readAll(path, rate, [&](std::span<const float> s) { samples.insert(samples.end(), s.begin(), s.end()); }, audio);
  return samples;
}
