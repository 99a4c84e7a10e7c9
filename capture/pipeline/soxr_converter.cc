#include "capture/pipeline/soxr_converter.h"

#include <soxr.h>

#include <algorithm>
#include <vector>

namespace {

class SoxrConverter final : public AudioConverter {
 public:
  SoxrConverter(const AudioFormat& from, soxr_t soxr, bool downmix) : from_(from), soxr_(soxr), downmix_(downmix) {}
  ~SoxrConverter() override {
    if (soxr_) soxr_delete(soxr_);
  }

  ConverterOutputStatus convert(PcmBuffer& output, const ConverterInput& input) override {
    output.setFrameLength(0);
    float* out = output.floatChannelData()[0];
    const std::size_t capacity = output.frameCapacity();
    std::size_t produced = 0;
    for (;;) {
      if (produced == capacity) break;
      if (start_ < pending_.size()) {
        const std::size_t available = pending_.size() - start_;
        std::size_t used = 0, made = 0;
        if (!soxr_) {
          used = made = std::min(available, capacity - produced);
          std::copy_n(pending_.data() + start_, used, out + produced);
        } else if (soxr_process(soxr_, pending_.data() + start_, available, &used, out + produced,
                                capacity - produced, &made) != nullptr) {
          return fail(output);
        }
        start_ += used;
        produced += made;
        if (start_ == pending_.size()) {
          pending_.clear();
          start_ = 0;
        }
        if (used == 0 && made == 0) return finish(output, produced, ConverterOutputStatus::inputRanDry);
        continue;
      }
      if (ended_) {
        if (!soxr_) return finish(output, produced, ConverterOutputStatus::endOfStream);
        std::size_t made = 0;
        if (soxr_process(soxr_, nullptr, 0, nullptr, out + produced, capacity - produced, &made) != nullptr) {
          return fail(output);
        }
        produced += made;
        if (made == 0) return finish(output, produced, ConverterOutputStatus::endOfStream);
        continue;
      }
      ConverterInputStatus status = ConverterInputStatus::noDataNow;
      const PcmBuffer* buffer = input(&status);
      if (status == ConverterInputStatus::haveData && buffer) {
        if (!(buffer->format() == from_)) return fail(output);
        append(*buffer);
      } else if (status == ConverterInputStatus::endOfStream) {
        ended_ = true;
      } else {
        return finish(output, produced, ConverterOutputStatus::inputRanDry);
      }
    }
    return finish(output, produced, ConverterOutputStatus::haveData);
  }

 private:
  static ConverterOutputStatus finish(PcmBuffer& output, std::size_t produced, ConverterOutputStatus status) {
    output.setFrameLength(static_cast<std::uint32_t>(produced));
    return status;
  }
  static ConverterOutputStatus fail(PcmBuffer& output) {
    output.setFrameLength(0);
    return ConverterOutputStatus::error;
  }

  // Mixes the buffer down to mono onto the end of the pending input.
  void append(const PcmBuffer& buffer) {
    const std::size_t frames = buffer.frameLength();
    const std::uint32_t channels = buffer.format().channelCount;
    float* const* data = buffer.floatChannelData();
    const std::size_t at = pending_.size();
    if (!downmix_ || channels == 1) {
      pending_.insert(pending_.end(), data[0], data[0] + frames);
      return;
    }
    pending_.resize(at + frames);
    float* mono = pending_.data() + at;
    const float scale = 1.0f / static_cast<float>(channels);
    if (channels == 2) {  // the common case, in one pass
      const float* left = data[0];
      const float* right = data[1];
      for (std::size_t i = 0; i < frames; ++i) mono[i] = (left[i] + right[i]) * scale;
      return;
    }
    std::copy_n(data[0], frames, mono);
    for (std::uint32_t c = 1; c < channels; ++c) {
      const float* channel = data[c];
      for (std::size_t i = 0; i < frames; ++i) mono[i] += channel[i];
    }
    for (std::size_t i = 0; i < frames; ++i) mono[i] *= scale;
  }

  const AudioFormat from_;
  soxr_t soxr_;  // null when the rates are equal
  const bool downmix_;
  std::vector<float> pending_;  // mono input not yet taken by the resampler
  std::size_t start_ = 0;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<AudioConverter> makeSoxrConverter(const AudioFormat& from, const AudioFormat& to, bool downmix) {
  if (!from.isUsable() || !to.isUsable() || to.channelCount != 1) return nullptr;
  soxr_t soxr = nullptr;
  if (from.sampleRate != to.sampleRate) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // no worker threads of its own
    soxr_error_t error = nullptr;
    soxr = soxr_create(from.sampleRate, to.sampleRate, 1, &error, &io, &quality, &runtime);
    if (error || !soxr) return nullptr;
  }
  return std::make_unique<SoxrConverter>(from, soxr, downmix);
}
