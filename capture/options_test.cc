#include "capture/options.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

using Args = std::vector<std::string>;

Options parsed(const Args& args) {
  auto result = Options::tryParse(args);
  EXPECT_TRUE(std::holds_alternative<Options>(result))
      << (std::holds_alternative<Options::Usage>(result) ? std::get<Options::Usage>(result).message : "");
  return std::holds_alternative<Options>(result) ? std::get<Options>(result) : Options{};
}

std::string usage(const Args& args) {
  auto result = Options::tryParse(args);
  if (auto* u = std::get_if<Options::Usage>(&result)) return u->message;
  return "<accepted>";
}

const std::string kRange = "--sample-rate must be 8000\xE2\x80\xA6" "48000";

TEST(Options, NoArgumentsGiveTheDefaults) {
  const Options o = parsed({});
  EXPECT_EQ(o.sampleRate, 16000.0);
  EXPECT_TRUE(o.mic);
  EXPECT_TRUE(o.system);
  EXPECT_FALSE(o.replayMic);
  EXPECT_FALSE(o.replaySystem);
  EXPECT_FALSE(o.fast);
}

TEST(Options, AcceptsRatesInTheClosedRange) {
  const std::pair<std::string, double> cases[] = {
      {"8000", 8000}, {"48000", 48000}, {"16000.5", 16000.5}, {"1.6e4", 16000}, {"0x1f40", 8000}};
  for (const auto& [text, rate] : cases) EXPECT_EQ(parsed({"--sample-rate", text}).sampleRate, rate) << text;
}

TEST(Options, RefusesRatesThatAreNotNumbersInRange) {
  for (const char* text : {"7999.9", "48000.5", "abc", "nan", "inf", "-inf", "1e999", " 16000", "16000 ",
                           "", "16000x", "5", "-16000"}) {
    EXPECT_EQ(usage({"--sample-rate", text}), kRange) << '"' << text << '"';
  }
}

TEST(Options, ReadsRatesInTheCLocaleWhateverTheProcessLocale) {
  // A locale with a decimal comma, where one is installed; the C locale
  // otherwise, which still shows the parse is locale-independent.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  EXPECT_EQ(parsed({"--sample-rate", "16000.5"}).sampleRate, 16000.5);
  EXPECT_EQ(usage({"--sample-rate", "16000,5"}), kRange);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(Options, ValueOptionsConsumeTheNextArgumentWhateverItIs) {
  const Options o = parsed({"--replay-mic", "--fast"});
  EXPECT_EQ(o.replayMic, "--fast");
  EXPECT_FALSE(o.fast);
  EXPECT_EQ(parsed({"--replay-system", ""}).replaySystem, "");
}

TEST(Options, RepeatedOptionsApplyAgainAndAreEachValidated) {
  EXPECT_EQ(parsed({"--sample-rate", "8000", "--sample-rate", "44100"}).sampleRate, 44100);
  EXPECT_EQ(usage({"--sample-rate", "8000", "--sample-rate", "5"}), kRange);
  EXPECT_EQ(parsed({"--replay-mic", "a", "--replay-mic", "b"}).replayMic, "b");
  EXPECT_FALSE(parsed({"--no-mic", "--no-mic"}).mic);
}

TEST(Options, CombinationsAreLeftToTheRun) {
  const Options both = parsed({"--no-mic", "--no-system"});
  EXPECT_FALSE(both.mic);
  EXPECT_FALSE(both.system);
  const Options replay = parsed({"--no-mic", "--replay-mic", "m.wav"});
  EXPECT_FALSE(replay.mic);
  EXPECT_EQ(replay.replayMic, "m.wav");
  const Options fast = parsed({"--fast", "--no-system", "--replay-system", "s.wav"});
  EXPECT_TRUE(fast.fast);
  EXPECT_EQ(fast.replaySystem, "s.wav");
}

TEST(Options, ReportsTheFirstProblemInTheList) {
  const std::pair<Args, std::string> cases[] = {
      {{"--sample-rate"}, "missing value for --sample-rate"},
      {{"--replay-system"}, "missing value for --replay-system"},
      {{"--sample-rate=16000"}, "unknown argument --sample-rate=16000"},
      {{""}, "unknown argument "},
      {{"--NO-MIC"}, "unknown argument --NO-MIC"},
      {{"-h"}, "unknown argument -h"},
      {{"--fast"}, "--fast needs --replay-mic or --replay-system"},
      {{"--fast", "--bogus"}, "unknown argument --bogus"},
      {{"--fast", "--replay-mic"}, "missing value for --replay-mic"},
      {{"--bogus", "--sample-rate", "1"}, "unknown argument --bogus"},
      {{"--sample-rate", "1", "--bogus"}, kRange},
  };
  for (const auto& [args, message] : cases) EXPECT_EQ(usage(args), message) << args.front();
}

}  // namespace
