#include <sndfile.h>

#include <algorithm>
#include <vector>

#include "capture/pipeline/audio_system.h"
#include "capture/pipeline/platform_error.h"
#include "capture/pipeline/soxr_converter.h"

namespace {

class SndfileAudioFile final : public AudioFile {
 public:
  SndfileAudioFile(SNDFILE* file, const SF_INFO& info)
      : file_(file), format_{static_cast<double>(info.samplerate), static_cast<std::uint32_t>(info.channels)},
        length_(info.frames), pcm16_((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {}
  ~SndfileAudioFile() override { sf_close(file_); }

  const AudioFormat& processingFormat() const override { return format_; }
  std::int64_t framePosition() const override { return position_; }
  std::int64_t length() const override { return length_; }

  void read(PcmBuffer& buffer, std::uint32_t frameCount) override {
    if (pcm16_) {
      readPcm16(buffer, frameCount);
      return;
    }
    const std::uint32_t channels = format_.channelCount;
    const std::size_t wanted = std::min(frameCount, buffer.frameCapacity());
    float* const* out = buffer.floatChannelData();
    // libsndfile decodes interleaved; the pipeline works per channel. Mono
    // needs no reordering.
    float* target = out[0];
    if (channels > 1) {
      interleaved_.resize(wanted * channels);
      target = interleaved_.data();
    }
    const sf_count_t got = sf_readf_float(file_, target, static_cast<sf_count_t>(wanted));
    if (got < 0 || sf_error(file_) != SF_ERR_NO_ERROR) throw PlatformError(sf_strerror(file_));
    const auto frames = static_cast<std::size_t>(got);
    const float* in = interleaved_.data();
    if (channels == 2) {
      float* left = out[0];
      float* right = out[1];
      for (std::size_t i = 0; i < frames; ++i) {
        left[i] = in[2 * i];
        right[i] = in[2 * i + 1];
      }
    } else if (channels > 2) {
      for (std::uint32_t c = 0; c < channels; ++c) {
        float* channel = out[c];
        for (std::size_t i = 0; i < frames; ++i) channel[i] = in[i * channels + c];
      }
    }
    buffer.setFrameLength(static_cast<std::uint32_t>(got));
    position_ += got;
  }

 private:
  // 16-bit PCM, the usual recording format: read the integers and scale them
  // while spreading the channels, in one pass. The scale is libsndfile's own
  // (1/32768, a power of two), so the floats are bit-identical to its float
  // reads at a fraction of the cost.
  void readPcm16(PcmBuffer& buffer, std::uint32_t frameCount) {
    const std::uint32_t channels = format_.channelCount;
    const std::size_t wanted = std::min(frameCount, buffer.frameCapacity());
    shorts_.resize(wanted * channels);
    const sf_count_t got = sf_readf_short(file_, shorts_.data(), static_cast<sf_count_t>(wanted));
    if (got < 0 || sf_error(file_) != SF_ERR_NO_ERROR) throw PlatformError(sf_strerror(file_));
    const auto frames = static_cast<std::size_t>(got);
    constexpr float kScale = 1.0f / 32768.0f;
    const std::int16_t* in = shorts_.data();
    float* const* out = buffer.floatChannelData();
    if (channels == 1) {
      float* mono = out[0];
      for (std::size_t i = 0; i < frames; ++i) mono[i] = static_cast<float>(in[i]) * kScale;
    } else if (channels == 2) {
      float* left = out[0];
      float* right = out[1];
      for (std::size_t i = 0; i < frames; ++i) {
        left[i] = static_cast<float>(in[2 * i]) * kScale;
        right[i] = static_cast<float>(in[2 * i + 1]) * kScale;
      }
    } else {
      for (std::uint32_t c = 0; c < channels; ++c) {
        float* channel = out[c];
        for (std::size_t i = 0; i < frames; ++i) channel[i] = static_cast<float>(in[i * channels + c]) * kScale;
      }
    }
    buffer.setFrameLength(static_cast<std::uint32_t>(got));
    position_ += got;
  }

  SNDFILE* file_;
  AudioFormat format_;
  std::int64_t length_;
  std::int64_t position_ = 0;
  const bool pcm16_;
  std::vector<float> interleaved_;
  std::vector<std::int16_t> shorts_;
};

class LinuxAudioSystem final : public AudioSystem {
 public:
  std::unique_ptr<AudioFile> openForReading(const std::string& path) override {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw PlatformError(sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1) {
      sf_close(file);
      throw PlatformError("the file holds no audio channels");
    }
    return std::make_unique<SndfileAudioFile>(file, info);
  }

  std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from, const AudioFormat& to,
                                                bool downmix) override {
    return makeSoxrConverter(from, to, downmix);
  }
};

}  // namespace

AudioSystem& linuxAudioSystem() {
  static LinuxAudioSystem* system = new LinuxAudioSystem;  // never destroyed: replay threads outlive exit
  return *system;
}
