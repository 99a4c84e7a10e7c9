// An error reported by a platform component (the audio file decoder, the
// audio server), carrying that component's own description.
#pragma once

#include <stdexcept>
#include <string>

class PlatformError : public std::runtime_error {
 public:
  explicit PlatformError(const std::string& description) : std::runtime_error(description) {}
};
