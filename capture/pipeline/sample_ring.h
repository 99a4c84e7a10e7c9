// The lock-guarded first-in first-out queue of mono samples between one
// source and the paced writer.
#pragma once

#include <mutex>
#include <span>
#include <vector>

class SampleRing {
 public:
  SampleRing() = default;
  SampleRing(const SampleRing&) = delete;
  SampleRing& operator=(const SampleRing&) = delete;

  // Appends every sample, in order; never drops anything.
  void push(std::span<const float> samples);

  // The number of samples held at this moment.
  long count() const;

  // Fills the whole of `out` from the front, zero-padding what the ring
  // lacks, and removes what it took.
  void pull(std::span<float> out);

  // When more than `above` samples are held, discards the oldest so that
  // exactly `keep` remain. Callers pass 0 <= keep <= above.
  void trim(long above, long keep);

 private:
  // Oldest first. Removing from the front shifts the rest down and keeps the
  // storage, so a steady stream stops allocating once the ring is warm.
  std::vector<float> samples_;
  mutable std::mutex lock_;
};
