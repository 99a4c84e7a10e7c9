#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "capture/pipeline/audio_system.h"
#include "capture/pipeline/platform_error.h"

namespace {

std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "audio_system." + std::to_string(getpid()) + "." + name;
}

// One second of a 440 Hz tone, 48000 Hz stereo, encoded by ffmpeg.
std::string makeTone(const std::string& extension) {
  const std::string path = tempPath("tone." + extension);
  const std::string command = "ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -ac 2 '" +
                              path + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return path;
}

TEST(LinuxAudioSystem, DecodesEveryCommonFormatToFloatAtTheFilesRate) {
  for (const std::string extension : {"wav", "aiff", "caf", "flac", "ogg", "opus", "mp3"}) {
    SCOPED_TRACE(extension);
    const std::string path = makeTone(extension);
    const auto file = linuxAudioSystem().openForReading(path);
    const AudioFormat& format = file->processingFormat();
    EXPECT_EQ(format.channelCount, 2u);
    // Opus always decodes at 48000 Hz, as the tone was made.
    EXPECT_EQ(format.sampleRate, 48000);
    EXPECT_NEAR(static_cast<double>(file->length()), 48000, 2000);
    const auto buffer = PcmBuffer::make(format, 65536);
    double energy = 0;
    std::int64_t frames = 0;
    while (file->framePosition() < file->length()) {
      file->read(*buffer, 4800);
      if (buffer->frameLength() == 0) break;
      ASSERT_LE(buffer->frameLength(), 4800u);
      for (std::uint32_t i = 0; i < buffer->frameLength(); ++i) {
        energy += buffer->floatChannelData()[1][i] * buffer->floatChannelData()[1][i];
      }
      frames += buffer->frameLength();
    }
    EXPECT_EQ(frames, file->framePosition());
    // ffmpeg's tone has amplitude 1/8, spread over both channels at -3 dB:
    // RMS 1/16 on the right channel, which a dropped channel would not show.
    EXPECT_NEAR(std::sqrt(energy / static_cast<double>(frames)), 0.0625, 0.005);
    unlink(path.c_str());
  }
}

TEST(LinuxAudioSystem, OpenFailuresCarryTheDecodersOwnDescription) {
  const std::string notAudio = tempPath("notes.txt");
  std::ofstream(notAudio) << "these are meeting notes, not audio\n";
  for (const std::string& path : {tempPath("missing.wav"), notAudio}) {
    try {
      linuxAudioSystem().openForReading(path);
      ADD_FAILURE() << path << " opened";
    } catch (const PlatformError& error) {
      EXPECT_STRNE(error.what(), "") << path;
    }
  }
  unlink(notAudio.c_str());
}

}  // namespace
