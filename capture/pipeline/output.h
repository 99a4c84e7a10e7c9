// The stdout stream: interleaved signed 16-bit little-endian stereo frames,
// left = microphone, right = system audio, no header.
#pragma once

#include <cstdint>
#include <span>

namespace Output {

// Clamp to [-1, 1] (NaN counts as 1), scale by 32767 in float arithmetic,
// truncate toward zero. -32768 never occurs. Inline: it runs per sample.
inline std::int16_t toPcm(float sample) {
  const float clamped = sample < 1.0f ? (sample < -1.0f ? -1.0f : sample) : 1.0f;
  const float scaled = clamped * 32767.0f;
  return static_cast<std::int16_t>(scaled);
}

// Writes into[0 .. 2F-1] with F = mic.size(): frame i is mic[i], system[i].
// Preconditions: system.size() >= F and into.size() >= 2F.
void interleave(std::span<const float> mic, std::span<const float> system, std::span<std::int16_t> into);

// Writes all of `block`'s bytes to `fd`, continuing short writes; stops at
// the first call that returns less than 1. True when everything was written.
bool write(std::span<const std::int16_t> block, int fd = 1);

}  // namespace Output
