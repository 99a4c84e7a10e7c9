// The command line of vantro-capture.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

struct Options {
  double sampleRate = 16000.0;
  bool mic = true;
  bool system = true;
  std::optional<std::string> replayMic;
  std::optional<std::string> replaySystem;
  bool fast = false;

  // A rejected command line: the message of its "usage" error.
  struct Usage {
    std::string message;
  };

  // One left-to-right pass over the arguments (program name dropped); the
  // first problem wins.
  static std::variant<Options, Usage> tryParse(const std::vector<std::string>& arguments);

  // As tryParse, but a bad command line ends the process through
  // Events::fatal with code "usage" and status 2.
  static Options parse(const std::vector<std::string>& arguments);
};
