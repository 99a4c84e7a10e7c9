#include "capture/pipeline/mono_resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// A scripted converter: records what it is given and answers as told.
class ScriptedConverter final : public AudioConverter {
 public:
  ConverterOutputStatus convert(PcmBuffer& output, const ConverterInput& input) override {
    ++calls;
    capacities.push_back(output.frameCapacity());
    ConverterInputStatus status{};
    buffersGiven = 0;
    for (int ask = 0; ask < 3; ++ask) {  // ask more often than the resampler gives
      if (input(&status)) ++buffersGiven;
      lastStatus = status;
    }
    output.setFrameLength(produce);
    for (std::uint32_t i = 0; i < produce; ++i) output.floatChannelData()[0][i] = 0.5f;
    return answer;
  }
  int calls = 0;
  int buffersGiven = 0;
  ConverterInputStatus lastStatus{};
  std::vector<std::uint32_t> capacities;
  std::uint32_t produce = 10;
  ConverterOutputStatus answer = ConverterOutputStatus::inputRanDry;
};

class ScriptedAudio final : public AudioSystem {
 public:
  std::unique_ptr<AudioFile> openForReading(const std::string&) override { return nullptr; }
  std::unique_ptr<AudioConverter> makeConverter(const AudioFormat&, const AudioFormat& to, bool downmix) override {
    EXPECT_TRUE(downmix);
    EXPECT_EQ(to, (AudioFormat{16000, 1}));
    if (refuse) return nullptr;
    auto c = std::make_unique<ScriptedConverter>();
    converter = c.get();
    return c;
  }
  bool refuse = false;
  ScriptedConverter* converter = nullptr;
};

struct Collect {
  int calls = 0;
  std::vector<float> samples;
  Sink sink() {
    return [this](std::span<const float> s) {
      ++calls;
      samples.insert(samples.end(), s.begin(), s.end());
    };
  }
};

TEST(MonoResampler, IsRefusedWhenTheConverterIs) {
  ScriptedAudio audio;
  audio.refuse = true;
  EXPECT_EQ(MonoResampler::make({48000, 2}, 16000, audio), nullptr);
}

TEST(MonoResampler, SizesEachCallByTheRateRatioPlusHeadroomAndHandsTheBufferOverOnce) {
  const struct {
    double rate;
    std::uint32_t frames, capacity;
  } cases[] = {{48000, 480, 224}, {44100, 512, 249}, {16000, 1, 65}};
  for (const auto& c : cases) {
    ScriptedAudio audio;
    auto resampler = MonoResampler::make({c.rate, 2}, 16000, audio);
    const auto buffer = PcmBuffer::make({c.rate, 2}, c.frames);
    buffer->setFrameLength(c.frames);
    Collect got;
    resampler->convert(*buffer, got.sink());
    EXPECT_EQ(audio.converter->capacities, std::vector<std::uint32_t>{c.capacity});
    EXPECT_EQ(audio.converter->buffersGiven, 1);
    EXPECT_EQ(audio.converter->lastStatus, ConverterInputStatus::noDataNow);
    EXPECT_EQ(got.calls, 1);
  }
}

TEST(MonoResampler, CallsTheSinkOnlyForAGoodNonEmptyResult) {
  ScriptedAudio audio;
  auto resampler = MonoResampler::make({48000, 1}, 16000, audio);
  const auto buffer = PcmBuffer::make({48000, 1}, 480);
  Collect got;
  resampler->convert(*buffer, got.sink());  // frame length 0: converter untouched
  EXPECT_EQ(audio.converter->calls, 0);
  buffer->setFrameLength(480);
  audio.converter->produce = 0;  // still priming
  resampler->convert(*buffer, got.sink());
  audio.converter->produce = 10;
  audio.converter->answer = ConverterOutputStatus::error;
  resampler->convert(*buffer, got.sink());
  EXPECT_EQ(got.calls, 0);
  audio.converter->answer = ConverterOutputStatus::haveData;
  resampler->convert(*buffer, got.sink());  // the next buffer converts normally
  EXPECT_EQ(got.calls, 1);
  EXPECT_EQ(got.samples.size(), 10u);
}

TEST(MonoResampler, FlushAsksForTheTailOnceWithRoomFor8192Frames) {
  ScriptedAudio audio;
  auto resampler = MonoResampler::make({48000, 1}, 16000, audio);
  Collect got;
  resampler->flush(got.sink());
  EXPECT_EQ(audio.converter->capacities, std::vector<std::uint32_t>{8192});
  EXPECT_EQ(audio.converter->buffersGiven, 0);
  EXPECT_EQ(audio.converter->lastStatus, ConverterInputStatus::endOfStream);
  EXPECT_EQ(got.calls, 1);
}

// The real converter: stereo is mixed, not the right channel dropped.
TEST(MonoResampler, MixesBothChannels) {
  auto resampler = MonoResampler::make({16000, 2}, 16000);
  std::vector<float> left(320, 0.0f), right(320, 0.5f);
  const auto buffer = PcmBuffer::wrap({16000, 2}, {left.data(), right.data()}, 320);
  Collect got;
  resampler->convert(*buffer, got.sink());
  ASSERT_EQ(got.samples.size(), 320u);
  for (const float s : got.samples) ASSERT_EQ(s, 0.25f);
}

// Feeds a sine in device-sized buffers and returns the output after the
// filter has settled.
std::vector<float> resampledSine(double frequency, double inRate, double outRate) {
  auto resampler = MonoResampler::make({inRate, 2}, outRate);
  Collect got;
  const std::uint32_t frames = 480;
  std::vector<float> left(frames), right(frames);
  const auto buffer = PcmBuffer::wrap({inRate, 2}, {left.data(), right.data()}, frames);
  for (long start = 0; start < static_cast<long>(inRate) * 2; start += frames) {
    for (std::uint32_t i = 0; i < frames; ++i) {
      left[i] = right[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequency * (start + i) / inRate));
    }
    resampler->convert(*buffer, got.sink());
  }
  resampler->flush(got.sink());
  const auto settled = static_cast<std::ptrdiff_t>(outRate / 4);
  return std::vector<float>(got.samples.begin() + settled, got.samples.end() - settled);
}

// Amplitude of `frequency` in `x` at `rate` (single-bin DFT over whole periods).
double amplitudeAt(const std::vector<float>& x, double frequency, double rate) {
  const std::size_t n = static_cast<std::size_t>(std::floor(x.size() * frequency / rate) * rate / frequency);
  double re = 0, im = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double phase = 2 * std::numbers::pi * frequency * i / rate;
    re += x[i] * std::cos(phase);
    im += x[i] * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / n;
}

TEST(MonoResampler, KeepsAPassbandSineAndRejectsWhatWouldAlias) {
  const auto passband = resampledSine(1000, 48000, 16000);
  const double db = 20 * std::log10(amplitudeAt(passband, 1000, 16000) / 0.5);
  EXPECT_LT(std::fabs(db), 0.1) << db << " dB";
  // 10 kHz is above the new Nyquist frequency; it would alias to 6 kHz.
  const auto stopband = resampledSine(10000, 48000, 16000);
  double peak = 0;
  for (const float s : stopband) peak = std::max(peak, static_cast<double>(std::fabs(s)));
  EXPECT_LT(20 * std::log10(std::max(peak, 1e-12) / 0.5), -90.0);
  EXPECT_LT(20 * std::log10(std::max(amplitudeAt(stopband, 6000, 16000), 1e-12) / 0.5), -90.0);
}

}  // namespace
