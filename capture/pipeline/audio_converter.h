// Sample-rate and channel conversion between two formats, one call at a time.
#pragma once

#include <functional>

#include "capture/pipeline/audio_format.h"

enum class ConverterInputStatus { haveData = 0, noDataNow = 1, endOfStream = 2 };
enum class ConverterOutputStatus { haveData = 0, inputRanDry = 1, endOfStream = 2, error = 3 };

// Asked for input by convert(): answers a buffer with haveData, or nullptr
// with noDataNow or endOfStream (written to *status).
using ConverterInput = std::function<const PcmBuffer*(ConverterInputStatus* status)>;

class AudioConverter {
 public:
  virtual ~AudioConverter() = default;

  // Fills `output` (frame length set to what was produced, at most its
  // capacity), asking `input` as many times as it needs until the output is
  // full or the input answers noDataNow or endOfStream. Every buffer handed
  // in is consumed whole: what does not fit the output now is kept and
  // handed out by later calls. After endOfStream the converter drains its
  // tail. Returns error (3) when the input cannot be converted; otherwise
  // haveData (output full), inputRanDry (input said noDataNow) or
  // endOfStream (everything drained).
  virtual ConverterOutputStatus convert(PcmBuffer& output, const ConverterInput& input) = 0;
};
