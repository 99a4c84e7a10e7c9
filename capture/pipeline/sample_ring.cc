#include "capture/pipeline/sample_ring.h"

#include <algorithm>

void SampleRing::push(std::span<const float> samples) {
  std::lock_guard<std::mutex> guard(lock_);
  samples_.insert(samples_.end(), samples.begin(), samples.end());
}

long SampleRing::count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<long>(samples_.size());
}

void SampleRing::pull(std::span<float> out) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::size_t n = std::min(samples_.size(), out.size());
  std::copy_n(samples_.begin(), n, out.begin());
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), 0.0f);
  samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(n));
}

void SampleRing::trim(long above, long keep) {
  std::lock_guard<std::mutex> guard(lock_);
  const long held = static_cast<long>(samples_.size());
  if (held > above) samples_.erase(samples_.begin(), samples_.begin() + (held - keep));
}
