#include "capture/pipeline/audio_format.h"

#include <cmath>
#include <new>
#include <sstream>

std::string AudioFormat::description() const {
  std::ostringstream s;
  s.precision(15);
  s << sampleRate << " Hz, " << channelCount << " ch, 32-bit float, non-interleaved";
  return s.str();
}

bool AudioFormat::isUsable() const { return channelCount > 0 && sampleRate > 0 && std::isfinite(sampleRate); }

std::unique_ptr<PcmBuffer> PcmBuffer::make(const AudioFormat& format, std::uint32_t frameCapacity) {
  if (!format.isUsable() || frameCapacity == 0) return nullptr;
  try {
    std::unique_ptr<PcmBuffer> buffer(new PcmBuffer(format, frameCapacity));
    buffer->storage_.assign(static_cast<std::size_t>(frameCapacity) * format.channelCount, 0.0f);
    for (std::uint32_t c = 0; c < format.channelCount; ++c) {
      buffer->channels_.push_back(buffer->storage_.data() + static_cast<std::size_t>(c) * frameCapacity);
    }
    return buffer;
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const std::length_error&) {
    return nullptr;
  }
}

std::unique_ptr<PcmBuffer> PcmBuffer::wrap(const AudioFormat& format, std::vector<float*> channels,
                                           std::uint32_t frames) {
  if (!format.isUsable() || channels.size() != format.channelCount) return nullptr;
  std::unique_ptr<PcmBuffer> buffer(new PcmBuffer(format, frames));
  buffer->channels_ = std::move(channels);
  buffer->frameLength_ = frames;
  return buffer;
}

void PcmBuffer::setFrameLength(std::uint32_t frames) { frameLength_ = frames < frameCapacity_ ? frames : frameCapacity_; }
