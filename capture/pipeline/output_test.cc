#include "capture/pipeline/output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>
#include <thread>

namespace {

TEST(Output, ConvertsByClampScaleTruncate) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::pair<float, int> cases[] = {
      {0.5f, 16383},       {-0.25f, -8191},    {0.1f, 3276},          {1.0f, 32767},   {-1.0f, -32767},
      {1.5f, 32767},       {inf, 32767},       {-3.0f, -32767},       {-inf, -32767},  {std::nanf(""), 32767},
      {0.99999994f, 32766}, {0.0f, 0},         {-0.0f, 0},            {-1e-10f, 0},    {-0.99999994f, -32766},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Output::toPcm(in), out) << in;
}

TEST(Output, InterleavesLeftMicRightSystemLittleEndian) {
  std::int16_t frame[2];
  Output::interleave(std::vector<float>{0.5f}, std::vector<float>{-0.25f}, frame);
  const unsigned char expected[] = {0xFF, 0x3F, 0x01, 0xE0};
  EXPECT_EQ(std::memcmp(frame, expected, 4), 0);
}

TEST(Output, InterleaveWritesTwoElementsPerMicSampleAndNothingElse) {
  std::vector<std::int16_t> into(8, 99);
  Output::interleave(std::vector<float>{0.5f, 0.0f, -1.0f}, std::vector<float>{1, 1, 1, 0.5f, 0.5f}, into);
  EXPECT_EQ(into, (std::vector<std::int16_t>{16383, 32767, 0, 32767, -32767, 32767, 99, 99}));
  Output::interleave({}, std::vector<float>{1.0f}, into);
  EXPECT_EQ(into[0], 16383);
}

TEST(Output, EmptyWriteSucceedsWithoutTouchingTheDescriptor) {
  EXPECT_TRUE(Output::write({}, -1));  // any call on -1 would fail
  EXPECT_FALSE(Output::write(std::vector<std::int16_t>{1}, -1));
}

TEST(Output, WriteToAPipeWhoseReaderClosedFailsAtOnce) {
  std::signal(SIGPIPE, SIG_IGN);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  EXPECT_FALSE(Output::write(std::vector<std::int16_t>(4, 1), fds[1]));
  close(fds[1]);
}

void noop(int) {}

// A real short write: the pipe has room for 2 bytes, the block is larger than
// an atomic pipe write and 2 bytes past a whole page (Linux tops up the last
// page with that remainder), and a signal interrupts the writer once those 2
// bytes are in. The loop must go on with the rest, and the reader sees every byte
// in order.
TEST(Output, ContinuesAShortWriteWhereItStopped) {
  struct sigaction action {};
  action.sa_handler = noop;  // no SA_RESTART: the blocked write returns its partial count
  sigaction(SIGUSR1, &action, nullptr);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int capacity = fcntl(fds[1], F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  const std::vector<char> prefill(static_cast<std::size_t>(capacity) - 2, 'p');
  ASSERT_EQ(::write(fds[1], prefill.data(), prefill.size()), static_cast<ssize_t>(prefill.size()));

  std::vector<std::int16_t> block(static_cast<std::size_t>(capacity) / 2 + 1);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::int16_t>(i * 7 - 5000);
  std::atomic<bool> result{false};
  std::thread writer([&] { result = Output::write(block, fds[1]); });

  int queued = 0;
  while (queued < capacity) {  // the first 2 bytes are in; the writer now waits
    ioctl(fds[0], FIONREAD, &queued);
    std::this_thread::yield();
  }
  pthread_kill(writer.native_handle(), SIGUSR1);

  std::vector<char> received;
  const std::size_t expected = prefill.size() + block.size() * 2;
  char chunk[4096];
  while (received.size() < expected) {
    const ssize_t n = read(fds[0], chunk, sizeof chunk);
    ASSERT_GT(n, 0);
    received.insert(received.end(), chunk, chunk + n);
  }
  writer.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(std::memcmp(received.data(), prefill.data(), prefill.size()), 0);
  EXPECT_EQ(std::memcmp(received.data() + prefill.size(), block.data(), block.size() * 2), 0);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
