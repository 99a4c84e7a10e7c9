// The session's rules for each side, run in a child process (the session
// ends by exiting) with scripted live sources and real replay files.
#include "capture/session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "capture/pipeline/platform_error.h"

namespace {

std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "session." + std::to_string(getpid()) + "." + name;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Scripted devices: each step is written to a log so the parent can see
// what the session asked of them and in which order.
class ScriptedLive final : public LiveSources {
 public:
  bool micAllowed = true, micStarts = true, systemStarts = true;
  int logFd = -1;

  bool authorizeMicrophone() override {
    log("authorize");
    return micAllowed;
  }
  std::unique_ptr<Source> makeMicrophone(std::shared_ptr<SampleRing>, double) override {
    return std::make_unique<Scripted>(*this, "mic", micStarts);
  }
  std::unique_ptr<Source> makeSystemAudio(std::shared_ptr<SampleRing>, double) override {
    return std::make_unique<Scripted>(*this, "system", systemStarts);
  }
  void log(const std::string& line) const {
    const std::string text = line + "\n";
    [[maybe_unused]] ssize_t n = ::write(logFd, text.data(), text.size());
  }

 private:
  class Scripted final : public Source {
   public:
    Scripted(const ScriptedLive& live, std::string name, bool starts) : live_(live), name_(std::move(name)), starts_(starts) {}
    void start() override {
      live_.log("start " + name_);
      if (!starts_) throw PlatformError(name_ + " device is busy");
    }
    void stop() override { live_.log("stop " + name_); }

   private:
    const ScriptedLive& live_;
    std::string name_;
    bool starts_;
  };
};

struct ChildRun {
  int status = -1;
  std::string events;  // stderr
  std::string log;     // what the scripted devices were asked
};

enum class Stdin { endOfFile, openUntilExit, closedAfter1500ms };
enum class Stdout { file, brokenPipe };

ChildRun runSession(const Options& options, ScriptedLive live, Stdin input = Stdin::endOfFile,
               Stdout output = Stdout::file, Clock& clock = systemClock()) {
  const std::string errPath = tempPath("err"), logPath = tempPath("log"), outPath = tempPath("out");
  int inPipe[2];
  EXPECT_EQ(pipe(inPipe), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(err, 2);
    live.logFd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    close(inPipe[1]);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (output == Stdout::brokenPipe) {
      int fds[2];
      if (pipe(fds) != 0) _exit(99);
      close(fds[0]);
      out = fds[1];
      signal(SIGPIPE, SIG_IGN);
    }
    const int in = input == Stdin::endOfFile ? open("/dev/null", O_RDONLY) : inPipe[0];
    SessionPlatform platform{.live = live, .clock = clock, .inputFd = in, .outputFd = out};
    runCaptureSession(options, platform);
  }
  close(inPipe[0]);
  if (input == Stdin::closedAfter1500ms) {
    usleep(1500000);
    close(inPipe[1]);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (input != Stdin::closedAfter1500ms) close(inPipe[1]);
  ChildRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(errPath), slurp(logPath)};
  unlink(errPath.c_str());
  unlink(logPath.c_str());
  unlink(outPath.c_str());
  return run;
}

std::string ready(bool mic, bool system) {
  return std::string("{\"event\":\"ready\",\"mic\":") + (mic ? "true" : "false") +
         ",\"sampleRate\":16000,\"system\":" + (system ? "true" : "false") + "}\n";
}
std::string warning(const std::string& source, const std::string& code, const std::string& message) {
  return "{\"code\":\"" + code + "\",\"event\":\"warning\",\"message\":\"" + message + "\",\"source\":\"" + source +
         "\"}\n";
}
const std::string kStopped = "{\"event\":\"stopped\"}\n";
const std::string kEnded = "{\"event\":\"ended\",\"reason\":\"replay_finished\"}\n";
const std::string kNoSource =
    "{\"code\":\"no_source\",\"event\":\"error\",\"message\":\"Neither the microphone nor system audio could be "
    "started.\"}\n";

std::string tone(const std::string& name, double seconds) {
  const std::string path = tempPath(name);
  const std::string command = "sox -n -r 48000 -c 2 '" + path + "' synth " + std::to_string(seconds) + " sine 300";
  EXPECT_EQ(std::system(command.c_str()), 0);
  return path;
}

Options withReplays(std::optional<std::string> mic, std::optional<std::string> system) {
  Options o;
  o.replayMic = std::move(mic);
  o.replaySystem = std::move(system);
  return o;
}

TEST(CaptureSession, RefusedMicrophoneLeavesTheLeftSideOff) {
  ScriptedLive live;
  live.micAllowed = false;
  const ChildRun run = runSession(Options{}, live);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.events, warning("mic", "permission_denied",
                                "Microphone access is off for Vantro. Your own voice will not be recorded.") +
                            ready(false, true) + kStopped);
  EXPECT_EQ(run.log, "authorize\nstart system\nstop system\n");
}

TEST(CaptureSession, NeitherSideLiveEndsWithNoSource) {
  ScriptedLive failing;
  failing.micStarts = failing.systemStarts = false;
  ChildRun run = runSession(Options{}, failing);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.events, warning("mic", "start_failed", "mic device is busy") +
                            warning("system", "start_failed", "system device is busy") + kNoSource);
  EXPECT_EQ(run.log, "authorize\nstart mic\nstart system\n");  // failed sources are not stopped

  Options off;
  off.mic = off.system = false;
  run = runSession(off, ScriptedLive{});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.events, kNoSource);
  EXPECT_EQ(run.log, "");
}

TEST(CaptureSession, AFailedReplayDoesNotFallBackToTheMicrophone) {
  const std::string missing = tempPath("missing.wav");
  std::string text;
  try {
    linuxAudioSystem().openForReading(missing);
  } catch (const std::exception& e) {
    text = e.what();
  }
  const ChildRun run = runSession(withReplays(missing, std::nullopt), ScriptedLive{});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.events, warning("mic", "replay_failed", text) + ready(false, true) + kStopped);
  EXPECT_EQ(run.log, "start system\nstop system\n");
}

TEST(CaptureSession, StopsEverySourceInStartOrder) {
  const ChildRun run = runSession(Options{}, ScriptedLive{});
  EXPECT_EQ(run.events, ready(true, true) + kStopped);
  EXPECT_EQ(run.log, "authorize\nstart mic\nstart system\nstop mic\nstop system\n");
}

TEST(CaptureSession, AReplayOnlyRunEndsByItself) {
  ScriptedLive failing;
  failing.systemStarts = false;
  const ChildRun run = runSession(withReplays(tone("a.wav", 0.3), std::nullopt), failing, Stdin::openUntilExit);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.events, warning("system", "start_failed", "system device is busy") + ready(true, false) + kEnded +
                            kStopped);
}

// The real clock for the writer's 5 ms ticks, while the replays' pacing
// sleeps last 1 ms and the replay waiter's 0.2 s pause is over at once: the
// stopped replays finish, and the waiter is ready to announce "ended", well
// before the writer has drained.
class NoEndPause final : public Clock {
 public:
  std::uint64_t nowNanoseconds() override { return systemClock().nowNanoseconds(); }
  void sleepMicroseconds(std::uint64_t us) override {
    if (us == 5000) systemClock().sleepMicroseconds(us);
    else if (us != 200000) systemClock().sleepMicroseconds(1000);
  }
};

TEST(CaptureSession, AReplayOnlyRunStoppedEarlyDoesNotAnnounceEnded) {
  NoEndPause clock;
  const std::string path = tone("c.wav", 30.0);
  const ChildRun run = runSession(withReplays(path, path), ScriptedLive{}, Stdin::endOfFile, Stdout::file, clock);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.events, ready(true, true) + kStopped);
}

TEST(CaptureSession, AReplayBesideALiveSideWaitsForTheHost) {
  const ChildRun run = runSession(withReplays(tone("b.wav", 0.3), std::nullopt), ScriptedLive{},
                             Stdin::closedAfter1500ms);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.events, ready(true, true) + kStopped);  // no "ended"
  EXPECT_EQ(run.log, "start system\nstop system\n");
}

TEST(CaptureSession, ABrokenOutputEndsWithStatus4AndNoStopped) {
  const ChildRun run = runSession(Options{}, ScriptedLive{}, Stdin::openUntilExit, Stdout::brokenPipe);
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.events, ready(true, true));
  EXPECT_EQ(run.log, "authorize\nstart mic\nstart system\nstop mic\nstop system\n");
}

}  // namespace
