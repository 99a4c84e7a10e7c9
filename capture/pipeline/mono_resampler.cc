#include "capture/pipeline/mono_resampler.h"

namespace {
constexpr std::uint32_t kHeadroomFrames = 64;
constexpr std::uint32_t kFlushFrames = 8192;
}  // namespace

std::unique_ptr<MonoResampler> MonoResampler::make(const AudioFormat& from, double rate, AudioSystem& audio) {
  const AudioFormat outFormat{rate, 1};
  if (!(rate > 0)) return nullptr;
  auto converter = audio.makeConverter(from, outFormat, /*downmix=*/true);
  if (!converter) return nullptr;
  return std::unique_ptr<MonoResampler>(new MonoResampler(std::move(converter), outFormat));
}

void MonoResampler::convert(const PcmBuffer& buffer, const Sink& sink) {
  const std::uint32_t n = buffer.frameLength();
  if (n == 0) return;
  // Room for this buffer's share at the output rate; the headroom takes what
  // the converter kept back from earlier calls.
  const double scaled = outFormat_.sampleRate * n / buffer.format().sampleRate;
  if (!(scaled >= 0 && scaled < 4294967295.0 - kHeadroomFrames)) return;
  const auto capacity = static_cast<std::uint32_t>(scaled) + kHeadroomFrames;
  const auto output = PcmBuffer::make(outFormat_, capacity);
  if (!output) return;
  bool handedOver = false;
  const auto status = converter_->convert(*output, [&](ConverterInputStatus* inputStatus) -> const PcmBuffer* {
    if (handedOver) {
      *inputStatus = ConverterInputStatus::noDataNow;
      return nullptr;
    }
    handedOver = true;
    *inputStatus = ConverterInputStatus::haveData;
    return &buffer;
  });
  deliver(status, *output, sink);
}

void MonoResampler::flush(const Sink& sink) {
  const auto output = PcmBuffer::make(outFormat_, kFlushFrames);
  if (!output) return;
  const auto status = converter_->convert(*output, [](ConverterInputStatus* inputStatus) -> const PcmBuffer* {
    *inputStatus = ConverterInputStatus::endOfStream;
    return nullptr;
  });
  deliver(status, *output, sink);
}

void MonoResampler::deliver(ConverterOutputStatus status, const PcmBuffer& output, const Sink& sink) {
  if (status == ConverterOutputStatus::error) return;
  if (output.frameLength() > 0 && output.floatChannelData()[0]) {
    sink(std::span<const float>(output.floatChannelData()[0], output.frameLength()));
  }
}
