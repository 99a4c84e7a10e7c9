// The audio platform as the pipeline and the sources reach it: file decoding
// and format conversion. One real implementation (libsndfile and libsoxr);
// tests put scripted ones in its place to reach the failure paths.
#pragma once

#include <memory>
#include <string>

#include "capture/pipeline/audio_converter.h"
#include "capture/pipeline/audio_file.h"

class AudioSystem {
 public:
  virtual ~AudioSystem() = default;

  // Opens `path` (relative to the current directory) for reading. Throws
  // PlatformError with the decoder's own description when it cannot.
  virtual std::unique_ptr<AudioFile> openForReading(const std::string& path) = 0;

  // A converter from `from` to the mono format `to`, mixing all channels
  // with equal weights when `downmix` is set (else taking the first); none
  // when the conversion is refused.
  virtual std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from, const AudioFormat& to,
                                                        bool downmix) = 0;
};

// libsndfile for decoding (WAV, AIFF, CAF, FLAC, Ogg Vorbis, Opus, MP3, ...)
// and libsoxr for rate conversion.
AudioSystem& linuxAudioSystem();
