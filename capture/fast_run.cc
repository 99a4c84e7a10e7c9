#include "capture/fast_run.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "capture/events.h"
#include "capture/pipeline/output.h"
#include "capture/sources/replay_source.h"

namespace {

// Makes room for the longer file's frames up front, from both headers, so
// the stream never regrows (a regrowth would briefly hold it twice). Only a
// hint: a file that fails to open here fails again, in order, when read.
void reserveFrames(std::vector<std::int16_t>& stream, const Options& options, AudioSystem& audio) {
  std::int64_t frames = 0;
  for (const auto& path : {options.replayMic, options.replaySystem}) {
    if (path) frames = std::max(frames, ReplaySource::expectedSamples(*path, options.sampleRate, audio));
  }
  try {
    stream.reserve(static_cast<std::size_t>(frames) * 2);
  } catch (const std::exception&) {
    // A length the header cannot back up: grow as the samples come.
  }
}

}  // namespace

void runFastReplay(const Options& options, AudioSystem& audio, int outputFd) {
  // Samples become 16-bit as they are decoded, straight into their slot of
  // the interleaved stream: about 4 bytes per output frame at the peak.
  std::vector<std::int16_t> stream;
  std::size_t micFrames = 0, systemFrames = 0;
  reserveFrames(stream, options, audio);
  try {
    if (options.replayMic) {
      ReplaySource::readAll(
          *options.replayMic, options.sampleRate,
          [&](std::span<const float> samples) {
            stream.resize(stream.size() + 2 * samples.size());
            std::int16_t* frame = stream.data() + 2 * micFrames;
            for (const float s : samples) {
              *frame++ = Output::toPcm(s);
              *frame++ = 0;
            }
            micFrames += samples.size();
          },
          audio);
    }
    if (options.replaySystem) {
      ReplaySource::readAll(
          *options.replaySystem, options.sampleRate,
          [&](std::span<const float> samples) {
            // Past the left side's end the stream grows by silent-left frames.
            const std::size_t end = systemFrames + samples.size();
            if (2 * end > stream.size()) stream.resize(2 * end);
            std::int16_t* right = stream.data() + 2 * systemFrames + 1;
            for (const float s : samples) {
              *right = Output::toPcm(s);
              right += 2;
            }
            systemFrames = end;
          },
          audio);
    }
  } catch (const std::exception& error) {
    Events::fatal("replay_failed", error.what(), 3);
  }
  Events::emit({{"event", "ready"},
                {"sampleRate", static_cast<long long>(options.sampleRate)},
                {"mic", micFrames > 0},
                {"system", systemFrames > 0}});
  if (!Output::write(stream, outputFd)) std::exit(4);
  Events::emit({{"event", "ended"}, {"reason", "replay_finished"}});
  Events::emit({{"event", "stopped"}});
  std::exit(0);
}
