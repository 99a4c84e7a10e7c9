#include "capture/pipeline/paced_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <thread>

#include "capture/pipeline/fake_clock.h"

namespace {

// A sample whose 16-bit form is exactly k (for 0 <= k < 32000).
float sampleFor(long k) { return (static_cast<float>(k % 32000) + 0.5f) / 32767.0f; }

std::vector<float> samples(long from, long n) {
  std::vector<float> v;
  for (long k = from; k < from + n; ++k) v.push_back(sampleFor(k));
  return v;
}

// A regular file as the writer's output, read back as stereo frames.
class OutputFile {
 public:
  OutputFile() : path_(::testing::TempDir() + "paced_writer." + std::to_string(getpid())) {
    fd = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  }
  ~OutputFile() {
    close(fd);
    unlink(path_.c_str());
  }
  long frames() const {
    struct stat st {};
    fstat(fd, &st);
    return static_cast<long>(st.st_size / 4);
  }
  std::vector<std::int16_t> channel(int which) const {
    std::vector<std::int16_t> all(static_cast<std::size_t>(frames()) * 2);
    EXPECT_EQ(pread(fd, all.data(), all.size() * 2, 0), static_cast<ssize_t>(all.size() * 2));
    std::vector<std::int16_t> out;
    for (std::size_t i = static_cast<std::size_t>(which); i < all.size(); i += 2) out.push_back(all[i]);
    return out;
  }
  int fd;

 private:
  std::string path_;
};

struct Rig {
  explicit Rig(double rate = 16000) : writer(rate, mic, system, clock, out.fd) {}
  std::shared_ptr<SampleRing> mic = std::make_shared<SampleRing>();
  std::shared_ptr<SampleRing> system = std::make_shared<SampleRing>();
  FakeClock clock;
  OutputFile out;
  PacedWriter writer;
};

TEST(PacedWriter, DerivesItsLengthsFromTheRate) {
  const struct {
    double rate;
    long block, cushion, backlog;
  } cases[] = {{8000, 160, 800, 3200},     {16000, 320, 1600, 6400}, {22050, 441, 2205, 8820},
               {44100, 882, 4410, 17640}, {48000, 960, 4800, 19200}, {16000.5, 320, 1600, 6400}};
  for (const auto& c : cases) {
    PacedWriter w(c.rate, nullptr, nullptr);
    EXPECT_EQ(w.block(), c.block) << c.rate;
    EXPECT_EQ(w.cushion(), c.cushion) << c.rate;
    EXPECT_EQ(w.backlogLimit(), c.backlog) << c.rate;
  }
}

// The stream follows the clock, not the sources: after a tick at elapsed t it
// holds 320 * floor((floor(16000 t) - 1600) / 320) frames, all silent here.
TEST(PacedWriter, StreamLengthFollowsTheClock) {
  Rig rig;
  const std::uint64_t start = rig.clock.now;
  const std::uint64_t steps[] = {3'700'000, 11'000'000, 1'234'567, 25'000'000, 6'250'001};
  int tick = 0;
  rig.clock.onSleep = [&](std::uint64_t) {
    const double t = static_cast<double>(rig.clock.now - start) / 1e9;
    const long due = static_cast<long>(std::floor(16000 * t));
    const long expected = due < 1600 + 320 ? 0 : 320 * ((due - 1600) / 320);
    EXPECT_EQ(rig.out.frames(), expected) << "t=" << t;
    rig.clock.now += steps[tick++ % 5];
    if (t > 1.5) rig.writer.stop();
  };
  rig.writer.run();
  EXPECT_GT(rig.out.frames(), 16000);
  for (int ch = 0; ch < 2; ++ch) {
    for (const auto v : rig.out.channel(ch)) ASSERT_EQ(v, 0);
  }
}

// First block at about 120 ms; only the fed channel carries sound.
TEST(PacedWriter, FirstBlockAfterCushionAndOneBlockAndSilenceForTheUnfedSide) {
  Rig rig;
  const std::uint64_t start = rig.clock.now;
  long pushed = 0;
  rig.clock.onSleep = [&](std::uint64_t) {
    const double t = static_cast<double>(rig.clock.now - start) / 1e9;
    if (rig.out.frames() == 0) {
      EXPECT_LT(t, 0.120);
    } else if (pushed < 3200) {
      EXPECT_GE(t, 0.120);
    }
    rig.mic->push(samples(pushed, 80));  // a source delivering 5 ms per tick
    pushed += 80;
    if (pushed >= 16000) rig.writer.stop();
  };
  rig.writer.run();
  const auto left = rig.out.channel(0), right = rig.out.channel(1);
  ASSERT_GE(left.size(), 16000u);
  for (std::size_t i = 0; i < 16000; ++i) ASSERT_EQ(left[i], i % 32000) << i;
  for (const auto v : right) ASSERT_EQ(v, 0);
}

TEST(PacedWriter, TrimsARingPastTheBacklogLimitBeforeTheBlock) {
  Rig rig;
  rig.mic->push(samples(0, 6401));
  rig.system->push(samples(0, 6400));
  int tick = 0;
  rig.clock.onSleep = [&](std::uint64_t) {
    if (++tick == 1) rig.clock.now += 120'000'000;  // the next tick is due one block
    else rig.writer.stop();
  };
  rig.writer.run();
  const auto left = rig.out.channel(0), right = rig.out.channel(1);
  ASSERT_GE(left.size(), 320u);
  EXPECT_EQ(left[0], 4801);  // the newest 1600 of 0..6400
  EXPECT_EQ(left[319], 5120);
  EXPECT_EQ(right[0], 0);  // exactly at the limit: left alone
  EXPECT_EQ(right[319], 319);
  // The drain then writes what is left: 1280 on the left, 6080 on the right.
  EXPECT_EQ(rig.out.frames(), 320 + 320 * 19);
}

// A 2 s stall: the next tick writes every overdue block at once; the first
// five carry the newest 1600 samples of each ring, the rest is silence since
// nothing arrives during the catch-up.
TEST(PacedWriter, CatchesUpAfterAStallWithTheNewestCushion) {
  Rig rig;
  long pushed = 0;
  int tick = 0;
  long framesBeforeStall = -1;
  long pushedBeforeCatchUp = 0;
  rig.clock.onSleep = [&](std::uint64_t) {
    ++tick;
    long n = 320;  // both sources deliver in real time
    rig.clock.now += 20'000'000;
    if (tick == 50) {
      framesBeforeStall = rig.out.frames();
      rig.clock.now += 2'000'000'000;
      n += 32000;
      pushedBeforeCatchUp = pushed + n;
    }
    rig.mic->push(samples(pushed, n));
    rig.system->push(samples(pushed, n));
    pushed += n;
    if (tick == 51) rig.writer.stop();
  };
  rig.writer.run();
  const auto left = rig.out.channel(0), right = rig.out.channel(1);
  const long catchUpStart = framesBeforeStall;
  // Every overdue block of the 2 s went out in the one tick after the stall.
  const long catchUpBlocks = (static_cast<long>(rig.out.frames()) - catchUpStart) / 320;
  EXPECT_GE(catchUpBlocks, 100);
  for (long i = 0; i < 1600; ++i) {
    ASSERT_EQ(left[catchUpStart + i], (pushedBeforeCatchUp - 1600 + i) % 32000) << i;
    ASSERT_EQ(right[catchUpStart + i], (pushedBeforeCatchUp - 1600 + i) % 32000) << i;
  }
  for (long i = catchUpStart + 1600; i < catchUpStart + 100 * 320; ++i) ASSERT_EQ(left[i], 0) << i;
}

TEST(PacedWriter, StopBeforeRunDrainsWithoutPacing) {
  Rig rig;
  rig.mic->push(samples(0, 1000));
  rig.system->push(samples(0, 10));
  rig.writer.stop();
  rig.writer.run();
  EXPECT_EQ(rig.clock.sleeps, 0);
  EXPECT_EQ(rig.out.frames(), 4 * 320);  // 1000 = 3 * 320 + 40
  const auto left = rig.out.channel(0), right = rig.out.channel(1);
  for (int i = 0; i < 1280; ++i) {
    ASSERT_EQ(left[i], i < 1000 ? i : 0) << i;
    ASSERT_EQ(right[i], i < 10 ? i : 0) << i;
  }
  EXPECT_EQ(rig.mic->count(), 0);
}

struct ClosedPipe {
  ClosedPipe() {
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    close(fds[0]);
    fd = fds[1];
  }
  ~ClosedPipe() { close(fd); }
  int fd;
};

TEST(PacedWriter, BrokenPipeWhilePacingCallsBackOnceAndReturns) {
  ClosedPipe pipe;
  auto mic = std::make_shared<SampleRing>(), system = std::make_shared<SampleRing>();
  FakeClock clock;
  clock.onSleep = [&](std::uint64_t) { clock.now += 50'000'000; };
  PacedWriter writer(16000, mic, system, clock, pipe.fd);
  int calls = 0;
  writer.onBrokenPipe = [&] { ++calls; };
  writer.run();  // never stopped: the failed write alone ends it
  EXPECT_EQ(calls, 1);
}

TEST(PacedWriter, BrokenPipeWhileDrainingIsNotReported) {
  ClosedPipe pipe;
  auto mic = std::make_shared<SampleRing>(), system = std::make_shared<SampleRing>();
  mic->push(samples(0, 1000));
  FakeClock clock;
  PacedWriter writer(16000, mic, system, clock, pipe.fd);
  int calls = 0;
  writer.onBrokenPipe = [&] { ++calls; };
  writer.stop();
  writer.run();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(mic->count(), 680);  // returned after the first failed block
}

// Real clock, real threads: a producer pushes while the writer pulls and a
// reader drains the pipe. Run under ThreadSanitizer by scripts/test.
TEST(PacedWriter, ProducerAndWriterThreadsShareARing) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  auto mic = std::make_shared<SampleRing>(), system = std::make_shared<SampleRing>();
  PacedWriter writer(16000, mic, system, systemClock(), fds[1]);
  std::atomic<long> bytes{0};
  std::thread reader([&] {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) bytes += n;
  });
  std::thread writing([&] { writer.run(); });
  std::thread producer([&] {
    for (int i = 0; i < 40; ++i) {
      mic->push(samples(i * 160, 160));
      system->push(samples(i * 160, 160));
      systemClock().sleepMicroseconds(10000);
    }
  });
  producer.join();
  writer.stop();
  writing.join();
  close(fds[1]);
  reader.join();
  close(fds[0]);
  EXPECT_EQ(mic->count(), 0);
  EXPECT_EQ(system->count(), 0);
  EXPECT_EQ(bytes % (320 * 4), 0);
  EXPECT_GT(bytes, 0);
}

}  // namespace
