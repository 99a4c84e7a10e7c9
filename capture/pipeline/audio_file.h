// An audio file open for reading, decoded to float frames at the file's own
// rate and channel count.
#pragma once

#include <cstdint>

#include "capture/pipeline/audio_format.h"

class AudioFile {
 public:
  virtual ~AudioFile() = default;

  // 32-bit float, non-interleaved, the file's rate and channel count.
  virtual const AudioFormat& processingFormat() const = 0;

  // The read position and the total length, in frames.
  virtual std::int64_t framePosition() const = 0;
  virtual std::int64_t length() const = 0;

  // Decodes up to `frameCount` frames (at most the buffer's capacity) from
  // the position into `buffer`, sets its frame length to the number read
  // (0 at the end) and advances the position. Throws PlatformError.
  virtual void read(PcmBuffer& buffer, std::uint32_t frameCount) = 0;
};
