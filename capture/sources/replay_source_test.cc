#include "capture/sources/replay_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "capture/pipeline/fake_clock.h"
#include "capture/pipeline/platform_error.h"
#include "capture/sources/capture_error.h"

namespace {

std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "replay." + std::to_string(getpid()) + "." + name;
}

// A 16-bit WAV file that holds no frames.
void writeEmptyWav(const std::string& path, int rate, int channels) {
  const auto le = [](std::string& s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  std::string h = "RIFF";
  le(h, 36, 4);
  h += "WAVEfmt ";
  le(h, 16, 4);
  le(h, 1, 2);
  le(h, static_cast<std::uint32_t>(channels), 2);
  le(h, static_cast<std::uint32_t>(rate), 4);
  le(h, static_cast<std::uint32_t>(rate * channels * 2), 4);
  le(h, static_cast<std::uint32_t>(channels * 2), 2);
  le(h, 16, 2);
  h += "data";
  le(h, 0, 4);
  std::ofstream(path, std::ios::binary) << h;
}

// A tone made by sox: `seconds` long, at `rate` with `channels`.
std::string makeTone(const std::string& name, double seconds, int rate, int channels) {
  const std::string path = tempPath(name);
  if (seconds <= 0) {  // sox's synth takes a zero length as "forever"
    writeEmptyWav(path, rate, channels);
    return path;
  }
  const std::string command = "sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " '" + path +
                              "' synth " + std::to_string(seconds) + " sine 440 vol 0.5";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return path;
}

// The real audio system, with faults on request: a refused converter, or a
// file whose reads fail after `readsBeforeFailure` good ones.
class FaultyAudio final : public AudioSystem {
 public:
  std::unique_ptr<AudioFile> openForReading(const std::string& path) override {
    auto file = linuxAudioSystem().openForReading(path);
    if (readsBeforeFailure < 0) return file;
    return std::make_unique<FailingFile>(std::move(file), readsBeforeFailure);
  }
  std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from, const AudioFormat& to, bool downmix) override {
    if (refuseConverter) return nullptr;
    return linuxAudioSystem().makeConverter(from, to, downmix);
  }
  bool refuseConverter = false;
  int readsBeforeFailure = -1;

 private:
  class FailingFile final : public AudioFile {
   public:
    FailingFile(std::unique_ptr<AudioFile> inner, int goodReads) : inner_(std::move(inner)), left_(goodReads) {}
    const AudioFormat& processingFormat() const override { return inner_->processingFormat(); }
    std::int64_t framePosition() const override { return inner_->framePosition(); }
    std::int64_t length() const override { return inner_->length(); }
    void read(PcmBuffer& buffer, std::uint32_t frames) override {
      if (left_-- == 0) throw PlatformError("scripted read failure");
      inner_->read(buffer, frames);
    }

   private:
    std::unique_ptr<AudioFile> inner_;
    int left_;
  };
};

struct Replay {
  Replay(const std::string& path, AudioSystem& audio = linuxAudioSystem())
      : source(ReplaySource::make(path, ring, 16000, audio, clock)) {}
  std::shared_ptr<SampleRing> ring = std::make_shared<SampleRing>();
  FakeClock clock;
  std::vector<std::uint64_t> sleeps;  // microseconds
  std::vector<long> ringCounts;       // ring size at each sleep
  std::shared_ptr<ReplaySource> source;

  void record() {
    clock.onSleep = [this](std::uint64_t us) {
      sleeps.push_back(us);
      ringCounts.push_back(ring->count());
    };
  }
  void playToTheEnd() {
    source->start();
    source->waitUntilFinished();
  }
};

TEST(ReplaySource, Plays48kStereoAt16kInTenthSecondChunksPacedByTheClock) {
  Replay replay(makeTone("a.wav", 1.0, 48000, 2));
  replay.record();
  replay.playToTheEnd();
  // Ten chunks of 4800 frames: each puts about 1600 samples in the ring and
  // sleeps the lead, 100 ms, since the fake clock only moves by sleeping.
  ASSERT_EQ(replay.sleeps.size(), 10u);
  for (std::size_t i = 0; i < replay.sleeps.size(); ++i) {
    EXPECT_NEAR(static_cast<double>(replay.sleeps[i]), 100000, 1) << i;
    // The converter may hold back up to about 50 ms of its filter's work.
    EXPECT_LE(replay.ringCounts[i], 1600 * static_cast<long>(i + 1) + 64) << i;
    EXPECT_GE(replay.ringCounts[i], 1600 * static_cast<long>(i + 1) - 800) << i;
  }
  EXPECT_NEAR(static_cast<double>(replay.ring->count()), 16000, 2);  // the flush adds the tail
}

TEST(ReplaySource, ALateReplayCatchesUpWithoutSkipping) {
  const std::string path = makeTone("b.wav", 1.0, 44100, 1);
  // Each read finds the clock 250 ms on: the thread never gets ahead again.
  struct Late final : Clock {
    std::uint64_t now = 0;
    int sleeps = 0;
    std::uint64_t nowNanoseconds() override { return now += 250'000'000; }
    void sleepMicroseconds(std::uint64_t) override { ++sleeps; }
  } late;
  auto ring = std::make_shared<SampleRing>();
  auto source = ReplaySource::make(path, ring, 16000, linuxAudioSystem(), late);
  source->start();
  source->waitUntilFinished();
  EXPECT_EQ(late.sleeps, 0);
  EXPECT_NEAR(static_cast<double>(ring->count()), 16000, 2);
}

TEST(ReplaySource, StopEndsAfterTheCurrentChunkAndStillFlushes) {
  Replay replay(makeTone("c.wav", 1.0, 48000, 1));
  int sleeps = 0;
  replay.clock.onSleep = [&](std::uint64_t) {
    if (++sleeps == 3) replay.source->stop();  // stopped while it sleeps
  };
  replay.playToTheEnd();
  EXPECT_EQ(sleeps, 3);
  EXPECT_NEAR(static_cast<double>(replay.ring->count()), 4800, 30);  // three chunks plus the tail
}

TEST(ReplaySource, StopBeforeTheFirstCheckReadsNothing) {
  Replay replay(makeTone("d.wav", 1.0, 48000, 1));
  replay.record();
  replay.source->stop();
  replay.playToTheEnd();
  EXPECT_TRUE(replay.sleeps.empty());
  EXPECT_EQ(replay.ring->count(), 0);  // a converter given nothing has no tail
}

TEST(ReplaySource, EmptyAndShortFiles) {
  {
    Replay empty(makeTone("e.wav", 0.0, 48000, 1));
    empty.record();
    empty.playToTheEnd();
    EXPECT_TRUE(empty.sleeps.empty());
    EXPECT_EQ(empty.ring->count(), 0);
  }
  Replay shortFile(makeTone("f.wav", 0.05, 48000, 1));
  shortFile.record();
  shortFile.playToTheEnd();
  ASSERT_EQ(shortFile.sleeps.size(), 1u);
  EXPECT_NEAR(static_cast<double>(shortFile.sleeps[0]), 50000, 1);
  EXPECT_NEAR(static_cast<double>(shortFile.ring->count()), 800, 2);
}

TEST(ReplaySource, AFailedReadEndsTheReplayQuietlyWithoutTheFlush) {
  FaultyAudio audio;
  audio.readsBeforeFailure = 2;
  Replay replay(makeTone("g.wav", 1.0, 48000, 1), audio);
  replay.record();
  replay.playToTheEnd();
  EXPECT_EQ(replay.sleeps.size(), 2u);
  const long twoChunks = replay.ring->count();
  EXPECT_GT(twoChunks, 2400);
  EXPECT_LT(twoChunks, 3100);  // a flush would have brought the two chunks to 3200
}

TEST(ReplaySource, ConstructionFailures) {
  EXPECT_THROW(Replay(tempPath("missing.wav")), PlatformError);
  FaultyAudio refusing;
  refusing.refuseConverter = true;
  const std::string odd = makeTone("Räume a b.wav", 0.1, 8000, 1);
  try {
    Replay replay(odd, refusing);
    ADD_FAILURE() << "constructed";
  } catch (const CaptureError& error) {
    EXPECT_EQ(error.description(), "unsupported audio format: " + odd);
  }
}

TEST(ReplaySource, ReadAllConvertsTheWholeFileWhateverItsRateAndChannels) {
  for (const auto& [rate, channels] : {std::pair{48000, 2}, std::pair{44100, 1}, std::pair{8000, 6}}) {
    const std::string path = makeTone("h" + std::to_string(rate) + ".flac", 10.0, rate, channels);
    const auto samples = ReplaySource::readAll(path, 16000);
    EXPECT_NEAR(static_cast<double>(samples.size()), 160000, 2) << rate;
    EXPECT_NEAR(static_cast<double>(ReplaySource::expectedSamples(path, 16000, linuxAudioSystem())), 160000 + 8256, 1);
  }
}

TEST(ReplaySource, ReadAllFailures) {
  EXPECT_THROW(ReplaySource::readAll(tempPath("missing.wav"), 16000), PlatformError);
  FaultyAudio audio;
  audio.readsBeforeFailure = 1;
  const std::string path = makeTone("i.wav", 3.0, 48000, 1);
  EXPECT_THROW(ReplaySource::readAll(path, 16000, audio), PlatformError);
  audio.readsBeforeFailure = -1;
  audio.refuseConverter = true;
  EXPECT_THROW(ReplaySource::readAll(path, 16000, audio), CaptureError);
}

}  // namespace
