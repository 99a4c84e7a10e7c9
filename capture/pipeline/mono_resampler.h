// Converts source buffers in any format the converter accepts into mono
// float samples at the session rate and hands each converted span to a sink.
#pragma once

#include <functional>
#include <memory>
#include <span>

#include "capture/pipeline/audio_system.h"

// Receives converted samples; the span lives only until the sink returns.
using Sink = std::function<void(std::span<const float>)>;

class MonoResampler {
 public:
  // None when the output format or the conversion is refused.
  static std::unique_ptr<MonoResampler> make(const AudioFormat& from, double rate,
                                             AudioSystem& audio = linuxAudioSystem());

  // One converter call for `buffer` (in the format given to make()), which is
  // handed over exactly once; the sink is called at most once. A failed
  // conversion drops the buffer without a word.
  void convert(const PcmBuffer& buffer, const Sink& sink);

  // Ends the stream and hands the converter's tail (at most 8192 frames) to
  // the sink, at most once.
  void flush(const Sink& sink);

 private:
  MonoResampler(std::unique_ptr<AudioConverter> converter, AudioFormat outFormat)
      : converter_(std::move(converter)), outFormat_(outFormat) {}
  void deliver(ConverterOutputStatus status, const PcmBuffer& output, const Sink& sink);

  std::unique_ptr<AudioConverter> converter_;
  AudioFormat outFormat_;
};
