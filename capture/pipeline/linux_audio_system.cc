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
        length_(info.frames) {}
  ~SndfileAudioFile() override { sf_close(file_); }

  const AudioFormat& processingFormat() const override { return format_; }
  std::int64_t framePosition() const override { return position_; }
  std::int64_t length() const override { return length_; }

  void read(PcmBuffer& buffer, std::uint32_t frameCount) override {
    const std::uint32_t channels = format_.channelCount;
    const std::size_t wanted = std::min(frameCount, buffer.frameCapacity());
    interleaved_.resize(wanted * channels);
    const sf_count_t got = sf_readf_float(file_, interleaved_.data(), static_cast<sf_count_t>(wanted));
    if (got < 0 || sf_error(file_) != SF_ERR_NO_ERROR) throw PlatformError(sf_strerror(file_));
    float* const* out = buffer.floatChannelData();
    // libsndfile decodes interleaved; the pipeline works per channel.
    for (sf_count_t i = 0; i < got; ++i) {
      const float* frame = interleaved_.data() + static_cast<std::size_t>(i) * channels;
      for (std::uint32_t c = 0; c < channels; ++c) out[c][i] = frame[c];
    }
    buffer.setFrameLength(static_cast<std::uint32_t>(got));
    position_ += got;
  }

 private:
  SNDFILE* file_;
  AudioFormat format_;
  std::int64_t length_;
  std::int64_t position_ = 0;
  std::vector<float> interleaved_;
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
