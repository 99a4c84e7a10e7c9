#include "capture/pipeline/soxr_converter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

namespace {

// An input callback that hands `buffer` over once, then says noDataNow.
struct Once {
  const PcmBuffer* buffer;
  bool given = false;
  const PcmBuffer* operator()(ConverterInputStatus* status) {
    *status = given ? ConverterInputStatus::noDataNow : ConverterInputStatus::haveData;
    const PcmBuffer* out = given ? nullptr : buffer;
    given = true;
    return out;
  }
};

const PcmBuffer* endOfStream(ConverterInputStatus* status) {
  *status = ConverterInputStatus::endOfStream;
  return nullptr;
}

TEST(SoxrConverter, RefusesAnythingButMonoOutputFromAUsableFormat) {
  EXPECT_EQ(makeSoxrConverter({48000, 2}, {16000, 2}, true), nullptr);
  EXPECT_EQ(makeSoxrConverter({48000, 0}, {16000, 1}, true), nullptr);
  EXPECT_EQ(makeSoxrConverter({0, 1}, {16000, 1}, true), nullptr);
  EXPECT_NE(makeSoxrConverter({44100, 6}, {16000, 1}, true), nullptr);
}

TEST(SoxrConverter, SameRateMonoIsABitExactPassThroughKeepingWhatDoesNotFit) {
  auto converter = makeSoxrConverter({16000, 1}, {16000, 1}, true);
  std::vector<float> in(100);
  std::iota(in.begin(), in.end(), -0.5f);
  in[7] = 1e-30f;
  const auto input = PcmBuffer::wrap({16000, 1}, {in.data()}, 100);
  const auto out = PcmBuffer::make({16000, 1}, 64);
  EXPECT_EQ(converter->convert(*out, Once{input.get()}), ConverterOutputStatus::haveData);
  ASSERT_EQ(out->frameLength(), 64u);
  EXPECT_EQ(std::memcmp(out->floatChannelData()[0], in.data(), 64 * sizeof(float)), 0);
  // The other 36 come with the next call, before any new input.
  EXPECT_EQ(converter->convert(*out, endOfStream), ConverterOutputStatus::endOfStream);
  ASSERT_EQ(out->frameLength(), 36u);
  EXPECT_EQ(std::memcmp(out->floatChannelData()[0], in.data() + 64, 36 * sizeof(float)), 0);
}

TEST(SoxrConverter, DownmixIsTheMeanOfAllChannels) {
  auto converter = makeSoxrConverter({16000, 3}, {16000, 1}, true);
  float a[] = {0.3f, 1.0f}, b[] = {0.0f, -1.0f}, c[] = {0.6f, 0.0f};
  const auto input = PcmBuffer::wrap({16000, 3}, {a, b, c}, 2);
  const auto out = PcmBuffer::make({16000, 1}, 8);
  EXPECT_EQ(converter->convert(*out, Once{input.get()}), ConverterOutputStatus::inputRanDry);
  ASSERT_EQ(out->frameLength(), 2u);
  EXPECT_FLOAT_EQ(out->floatChannelData()[0][0], 0.3f);
  EXPECT_FLOAT_EQ(out->floatChannelData()[0][1], 0.0f);
  auto first = makeSoxrConverter({16000, 3}, {16000, 1}, false);
  first->convert(*out, Once{input.get()});
  EXPECT_EQ(out->floatChannelData()[0][1], 1.0f);  // without downmix: the first channel
}

TEST(SoxrConverter, AnInputInTheWrongFormatIsAnError) {
  auto converter = makeSoxrConverter({48000, 2}, {16000, 1}, true);
  float a[4] = {};
  const auto mono = PcmBuffer::wrap({48000, 1}, {a}, 4);
  const auto out = PcmBuffer::make({16000, 1}, 64);
  EXPECT_EQ(converter->convert(*out, Once{mono.get()}), ConverterOutputStatus::error);
  EXPECT_EQ(out->frameLength(), 0u);
}

TEST(SoxrConverter, ResamplesAndDrainsItsTailAtTheEnd) {
  auto converter = makeSoxrConverter({48000, 1}, {16000, 1}, true);
  std::vector<float> in(48000, 0.25f);
  const auto input = PcmBuffer::wrap({48000, 1}, {in.data()}, 48000);
  const auto out = PcmBuffer::make({16000, 1}, 16000 + 64);
  converter->convert(*out, Once{input.get()});
  std::size_t total = out->frameLength();
  const auto tail = PcmBuffer::make({16000, 1}, 8192);
  EXPECT_EQ(converter->convert(*tail, endOfStream), ConverterOutputStatus::endOfStream);
  total += tail->frameLength();
  EXPECT_NEAR(static_cast<double>(total), 16000.0, 2.0);
  EXPECT_NEAR(out->floatChannelData()[0][8000], 0.25f, 1e-4f);
}

}  // namespace
