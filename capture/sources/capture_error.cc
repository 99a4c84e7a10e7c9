#include "capture/sources/capture_error.h"

namespace {

struct Describe {
  std::string operator()(const CaptureError::CoreAudio& e) const {
    return e.operation + " failed (OSStatus " + std::to_string(e.status) + ")";
  }
  std::string operator()(const CaptureError::UnsupportedFormat& e) const {
    return "unsupported audio format: " + e.detail;
  }
  std::string operator()(const CaptureError::NoMicrophone&) const { return "no microphone input device"; }
};

}  // namespace

CaptureError::CaptureError(Case c) : case_(std::move(c)), description_(std::visit(Describe{}, case_)) {}

CaptureError CaptureError::coreAudio(std::string operation, std::int32_t status) {
  return CaptureError(CoreAudio{std::move(operation), status});
}

CaptureError CaptureError::unsupportedFormat(std::string detail) {
  return CaptureError(UnsupportedFormat{std::move(detail)});
}

CaptureError CaptureError::noMicrophone() { return CaptureError(NoMicrophone{}); }
