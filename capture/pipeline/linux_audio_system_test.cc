#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
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

// 16-bit files take a faster path than libsndfile's float reads; the
// samples must be the very same floats.
TEST(LinuxAudioSystem, SixteenBitFilesDecodeToTheSameFloatsAsLibsndfile) {
  for (const int channels : {1, 2, 3}) {
    const std::string path = tempPath("pcm16." + std::to_string(channels) + ".wav");
    const std::string command = "sox -n -r 22050 -c " + std::to_string(channels) + " -b 16 '" + path +
                                "' synth 0.5 whitenoise vol 0.9";
    ASSERT_EQ(std::system(command.c_str()), 0);
    SF_INFO info{};
    SNDFILE* direct = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(direct, nullptr);
    std::vector<float> expected(static_cast<std::size_t>(info.frames) * channels);
    ASSERT_EQ(sf_readf_float(direct, expected.data(), info.frames), info.frames);
    sf_close(direct);

    const auto file = linuxAudioSystem().openForReading(path);
    const auto buffer = PcmBuffer::make(file->processingFormat(), 1000);
    std::size_t frame = 0;
    for (file->read(*buffer, 1000); buffer->frameLength() > 0; file->read(*buffer, 1000)) {
      for (std::uint32_t i = 0; i < buffer->frameLength(); ++i, ++frame) {
        for (int c = 0; c < channels; ++c) {
          ASSERT_EQ(std::memcmp(&buffer->floatChannelData()[c][i], &expected[frame * channels + c], 4), 0)
              << "frame " << frame << " channel " << c;
        }
      }
    }
    EXPECT_EQ(frame, static_cast<std::size_t>(info.frames));
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
