// vantro-capture: records the microphone (left) and system audio (right) as
// paced 16-bit stereo PCM on stdout, with JSON event lines on stderr.
#include <csignal>
#include <string>
#include <vector>

#include "capture/fast_run.h"
#include "capture/options.h"
#include "capture/session.h"

int main(int argc, char** argv) {
  // A reader that goes away must show up as a failed write, never as a kill.
  std::signal(SIGPIPE, SIG_IGN);
  const Options options = Options::parse(std::vector<std::string>(argv + 1, argv + argc));
  if (options.fast) runFastReplay(options);
  runCaptureSession(options);
}
