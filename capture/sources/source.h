// The common interface of the capture sources: each fills one sample ring
// with mono samples at the session rate.
#pragma once

class Source {
 public:
  virtual ~Source() = default;

  // Begins delivering samples into the source's ring. Throws CaptureError or
  // PlatformError when capture cannot begin; a failed start is not undone
  // and the source is dropped without stop().
  virtual void start() = 0;

  // Stops delivering and releases the capture resources. Never fails; for a
  // replay it is only a request that the replay thread honours shortly.
  virtual void stop() = 0;
};
