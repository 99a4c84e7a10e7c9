#include "capture/session.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/events.h"
#include "capture/pipeline/paced_writer.h"
#include "capture/sources/replay_source.h"
#include "capture/sources/semaphore.h"

namespace {

// Process-wide and never freed: the signal handler posts it, and threads
// that are never joined may still touch it while the process exits.
Semaphore* stopRequested = nullptr;
std::atomic<int> exitStatus{0};

// Settles whether the replays' "ended" belongs to this run: once the main
// thread has begun to stop for another cause, stopping the replays must not
// make the replay waiter announce "ended" (possibly after "stopped").
std::mutex* endLock = new std::mutex;
bool stopping = false;  // guarded by endLock

void onStopSignal(int) { stopRequested->signal(); }

// From here on the signal requests a stop instead of ending the process.
// SA_RESTART keeps the blocking reads and writes of the other threads going.
void handleStopSignal(int signalNumber) {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(signalNumber, &action, nullptr);
}

struct Side {
  const char* name;
  std::shared_ptr<SampleRing> ring;
};

}  // namespace

void runCaptureSession(const Options& options, const SessionPlatform& platform) {
  const double rate = options.sampleRate;
  const Side mic{"mic", std::make_shared<SampleRing>()};
  const Side system{"system", std::make_shared<SampleRing>()};
  auto& sources = *new std::vector<std::shared_ptr<Source>>;
  auto& replays = *new std::vector<std::shared_ptr<ReplaySource>>;

  // A replay file that fails leaves its side off; there is no fallback.
  const auto settleReplay = [&](const std::string& path, const Side& side) {
    try {
      auto replay = ReplaySource::make(path, side.ring, rate, platform.audio, platform.clock);
      replay->start();
      sources.push_back(replay);
      replays.push_back(replay);
      return true;
    } catch (const std::exception& error) {
      Events::warning(side.name, "replay_failed", error.what());
      return false;
    }
  };
  const auto settleLive = [&](std::unique_ptr<Source> source, const Side& side) {
    try {
      source->start();
      sources.push_back(std::move(source));
      return true;
    } catch (const std::exception& error) {
      Events::warning(side.name, "start_failed", error.what());
      return false;
    }
  };

  bool micLive = false, systemLive = false;
  if (options.replayMic) {
    micLive = settleReplay(*options.replayMic, mic);
  } else if (options.mic) {
    if (!platform.live.authorizeMicrophone()) {
      Events::warning("mic", "permission_denied",
                      "Microphone access is off for Vantro. Your own voice will not be recorded.");
    } else {
      micLive = settleLive(platform.live.makeMicrophone(mic.ring, rate), mic);
    }
  }
  if (options.replaySystem) {
    systemLive = settleReplay(*options.replaySystem, system);
  } else if (options.system) {
    systemLive = settleLive(platform.live.makeSystemAudio(system.ring, rate), system);
  }
  if (!micLive && !systemLive) {
    Events::fatal("no_source", "Neither the microphone nor system audio could be started.", 3);
  }
  Events::emit({{"event", "ready"},
                {"sampleRate", static_cast<long long>(rate)},
                {"mic", micLive},
                {"system", systemLive}});

  stopRequested = new Semaphore;
  auto& writer = *new PacedWriter(rate, mic.ring, system.ring, platform.clock, platform.outputFd);
  exitStatus = 0;
  writer.onBrokenPipe = [] {
    exitStatus = 4;
    stopRequested->signal();
  };
  auto& writerThread = *new std::thread([&writer] { writer.run(); });

  // The parent's liveness: bytes are ignored, end of file or an error stops.
  std::thread([fd = platform.inputFd] {
    char byte;
    while (::read(fd, &byte, 1) > 0) {
    }
    stopRequested->signal();
  }).detach();

  handleStopSignal(SIGTERM);
  handleStopSignal(SIGINT);

  const bool onlyReplay = !replays.empty() && replays.size() == sources.size();
  if (onlyReplay) {
    std::thread([&replays, &clock = platform.clock] {
      for (const auto& replay : replays) replay->waitUntilFinished();
      clock.sleepMicroseconds(200000);
      // Held across the emit so that "ended" cannot follow "stopped".
      std::lock_guard<std::mutex> guard(*endLock);
      if (stopping) return;
      Events::emit({{"event", "ended"}, {"reason", "replay_finished"}});
      stopRequested->signal();
    }).detach();
  }

  stopRequested->wait();
  {
    std::lock_guard<std::mutex> guard(*endLock);
    stopping = true;
  }

  for (const auto& source : sources) source->stop();
  writer.stop();
  writerThread.join();  // the writer drains both rings before it returns
  const int status = exitStatus;
  if (status == 0) Events::emit({{"event", "stopped"}});
  std::exit(status);
}
