// The converter on libsoxr: input channels mixed down (mean) or the first
// taken, then resampled at high quality. Equal rates skip the resampler, so
// mono at the same rate is a bit-exact pass-through.
#pragma once

#include <memory>

#include "capture/pipeline/audio_converter.h"

// None when `to` is not mono, either format is unusable, or libsoxr refuses.
std::unique_ptr<AudioConverter> makeSoxrConverter(const AudioFormat& from, const AudioFormat& to, bool downmix);
