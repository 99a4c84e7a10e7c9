// vantro-capture: records the microphone (left) and system audio (right) as
// paced 16-bit stereo PCM on stdout, with JSON event lines on stderr.
#include <csignal>
#include <string>
#include <vector>

#include "capture/events.h"
#include "capture/options.h"

int main(int argc, char** argv) {
  // A reader that goes away must show up as a failed write, never as a kill.
  std::signal(SIGPIPE, SIG_IGN);
  const Options options = Options::parse(std::vector<std::string>(argv + 1, argv + argc));
  (void)options;
  Events::fatal("not_implemented", "capture sessions are not available in this build yet", 3);
}
