#include "capture/events.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// Points descriptor 2 at a file for the life of the object.
class CapturedStderr {
 public:
  CapturedStderr() : path_(::testing::TempDir() + "events_stderr." + std::to_string(getpid())) {
    saved_ = dup(2);
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
  }
  ~CapturedStderr() {
    restore();
    unlink(path_.c_str());
  }
  std::string text() {
    restore();
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  void restore() {
    if (saved_ >= 0) {
      dup2(saved_, 2);
      close(saved_);
      saved_ = -1;
    }
  }
  std::string path_;
  int saved_;
};

TEST(Events, WarningIsOneSortedLine) {
  CapturedStderr err;
  Events::warning("mic", "replay_failed", "/tmp/a b.wav");
  EXPECT_EQ(err.text(),
            "{\"code\":\"replay_failed\",\"event\":\"warning\",\"message\":\"\\/tmp\\/a b.wav\",\"source\":\"mic\"}\n");
}

TEST(Events, LinesFromConcurrentThreadsNeverMix) {
  const int perThread = 2000;
  const std::string longText(3000, 'x');  // beyond one atomic pipe write
  std::string output;
  {
    CapturedStderr err;
    auto body = [&](const char* name) {
      for (int i = 0; i < perThread; ++i) Events::emit({{"event", name}, {"n", i}, {"pad", longText}});
    };
    std::thread a(body, "a"), b(body, "b");
    a.join();
    b.join();
    output = err.text();
  }
  std::istringstream lines(output);
  std::string line;
  int count[2] = {0, 0};
  while (std::getline(lines, line)) {
    const bool isA = line.find("\"event\":\"a\"") != std::string::npos;
    const int n = count[isA ? 0 : 1]++;
    EXPECT_EQ(line, "{\"event\":\"" + std::string(isA ? "a" : "b") + "\",\"n\":" + std::to_string(n) +
                        ",\"pad\":\"" + longText + "\"}");
  }
  EXPECT_EQ(count[0], perThread);
  EXPECT_EQ(count[1], perThread);
}

TEST(Events, IgnoresAClosedOrBrokenStderr) {
  std::signal(SIGPIPE, SIG_IGN);
  const int saved = dup(2);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  dup2(fds[1], 2);
  close(fds[1]);
  Events::warning("system", "start_failed", "broken pipe");  // EPIPE, ignored
  close(2);
  Events::emit({{"event", "stopped"}});  // EBADF, ignored
  dup2(saved, 2);
  close(saved);
}

TEST(EventsDeathTest, FatalExitsWithItsStatusEvenWithStderrClosed) {
  EXPECT_EXIT(Events::fatal("no_source", "none", 3), ::testing::ExitedWithCode(3),
              "^\\{\"code\":\"no_source\",\"event\":\"error\",\"message\":\"none\"\\}\n$");
  EXPECT_EXIT(
      {
        close(2);
        Events::fatal("usage", "x", 2);
      },
      ::testing::ExitedWithCode(2), "");
}

}  // namespace
