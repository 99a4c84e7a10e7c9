#include "capture/sources/capture_error.h"

#include <gtest/gtest.h>

namespace {

TEST(CaptureError, DescriptionsAreExact) {
  const std::pair<CaptureError, std::string> cases[] = {
      {CaptureError::coreAudio("output device UID", -1), "output device UID failed (OSStatus -1)"},
      {CaptureError::coreAudio("AudioDeviceStart", 1852797029), "AudioDeviceStart failed (OSStatus 1852797029)"},
      {CaptureError::coreAudio("read tap format", INT32_MIN), "read tap format failed (OSStatus -2147483648)"},
      {CaptureError::unsupportedFormat("/Users/me/Räume/a b.wav"), "unsupported audio format: /Users/me/Räume/a b.wav"},
      {CaptureError::unsupportedFormat("tap 0 Hz, 0 ch"), "unsupported audio format: tap 0 Hz, 0 ch"},
      {CaptureError::noMicrophone(), "no microphone input device"},
  };
  for (const auto& [error, text] : cases) {
    EXPECT_EQ(error.description(), text);
    EXPECT_STREQ(error.what(), text.c_str());
  }
}

TEST(CaptureError, IsAPlainValueThatCanBeThrown) {
  const CaptureError original = CaptureError::unsupportedFormat("x");
  const CaptureError copy = original;
  EXPECT_EQ(std::get<CaptureError::UnsupportedFormat>(copy.value()).detail, "x");
  try {
    throw copy;
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "unsupported audio format: x");
  }
}

}  // namespace
