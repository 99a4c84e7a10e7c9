// The error type of the capture sources, with the exact texts the host sees
// as event messages.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <variant>

class CaptureError : public std::exception {
 public:
  struct CoreAudio {
    std::string operation;
    std::int32_t status;
  };
  struct UnsupportedFormat {
    std::string detail;
  };
  struct NoMicrophone {};
  using Case = std::variant<CoreAudio, UnsupportedFormat, NoMicrophone>;

  // An audio-system step that returned a non-zero status.
  static CaptureError coreAudio(std::string operation, std::int32_t status);
  // A source format that cannot become mono float at the session rate.
  static CaptureError unsupportedFormat(std::string detail);
  // No usable microphone input.
  static CaptureError noMicrophone();

  const Case& value() const { return case_; }

  // "<operation> failed (OSStatus <status>)", "unsupported audio format:
  // <detail>" or "no microphone input device".
  const std::string& description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  explicit CaptureError(Case c);
  Case case_;
  std::string description_;
};
