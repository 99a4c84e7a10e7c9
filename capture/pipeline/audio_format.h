// Audio formats and PCM buffers of the audio layer. Every buffer in the
// capture pipeline holds 32-bit float samples, one array per channel
// (non-interleaved); a format is then its rate and channel count.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AudioFormat {
  double sampleRate = 0;
  std::uint32_t channelCount = 0;

  // For messages, e.g. "48000 Hz, 2 ch, 32-bit float, non-interleaved".
  std::string description() const;

  // At least one channel at a finite, positive rate.
  bool isUsable() const;

  bool operator==(const AudioFormat&) const = default;
};

class PcmBuffer {
 public:
  // A buffer owning room for `frameCapacity` frames, frame length 0; none
  // when the format has no channels or no positive rate, the capacity is
  // 0, or the memory cannot be had.
  static std::unique_ptr<PcmBuffer> make(const AudioFormat& format, std::uint32_t frameCapacity);

  // A buffer over memory it does not own: one pointer per channel, each to
  // `frames` valid samples. The frame length is `frames`.
  static std::unique_ptr<PcmBuffer> wrap(const AudioFormat& format, std::vector<float*> channels,
                                         std::uint32_t frames);

  const AudioFormat& format() const { return format_; }
  std::uint32_t frameCapacity() const { return frameCapacity_; }
  std::uint32_t frameLength() const { return frameLength_; }
  // Clamped to the capacity.
  void setFrameLength(std::uint32_t frames);
  // One pointer per channel.
  float* const* floatChannelData() const { return channels_.data(); }

 private:
  PcmBuffer(const AudioFormat& format, std::uint32_t capacity) : format_(format), frameCapacity_(capacity) {}
  AudioFormat format_;
  std::uint32_t frameCapacity_;
  std::uint32_t frameLength_ = 0;
  std::vector<float> storage_;  // empty for a wrapping buffer
  std::vector<float*> channels_;
};
