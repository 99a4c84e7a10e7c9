#include "capture/options.h"

#include <locale.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "capture/events.h"

namespace {

const char kRateMessage[] = "--sample-rate must be 8000\xE2\x80\xA6" "48000";

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// strtod in the C locale whatever the process locale: "16000.5" must mean
// the same under a locale whose decimal separator is a comma.
std::optional<double> parseRate(const std::string& text) {
  if (text.empty() || isCSpace(text.front())) return std::nullopt;
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  char* end = nullptr;
  errno = 0;
  const double value = strtod_l(text.c_str(), &end, cLocale);
  if (end != text.c_str() + text.size()) return std::nullopt;
  if (errno == ERANGE && std::isinf(value)) return std::nullopt;
  if (!(value >= 8000.0 && value <= 48000.0)) return std::nullopt;  // NaN fails too
  return value;
}

}  // namespace

std::variant<Options, Options::Usage> Options::tryParse(const std::vector<std::string>& arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool takesValue =
        argument == "--sample-rate" || argument == "--replay-mic" || argument == "--replay-system";
    if (takesValue) {
      if (i + 1 == arguments.size()) return Usage{"missing value for " + argument};
      const std::string& value = arguments[++i];
      if (argument == "--sample-rate") {
        const auto rate = parseRate(value);
        if (!rate) return Usage{kRateMessage};
        options.sampleRate = *rate;
      } else if (argument == "--replay-mic") {
        options.replayMic = value;
      } else {
        options.replaySystem = value;
      }
    } else if (argument == "--no-mic") {
      options.mic = false;
    } else if (argument == "--no-system") {
      options.system = false;
    } else if (argument == "--fast") {
      options.fast = true;
    } else {
      return Usage{"unknown argument " + argument};
    }
  }
  if (options.fast && !options.replayMic && !options.replaySystem) {
    return Usage{"--fast needs --replay-mic or --replay-system"};
  }
  return options;
}

Options Options::parse(const std::vector<std::string>& arguments) {
  auto result = tryParse(arguments);
  if (auto* usage = std::get_if<Usage>(&result)) Events::fatal("usage", usage->message, 2);
  return std::get<Options>(result);
}
