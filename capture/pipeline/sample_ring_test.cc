#include "capture/pipeline/sample_ring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstring>
#include <numeric>

namespace {

std::vector<float> ramp(int n, float from = 1.0f) {
  std::vector<float> v(static_cast<std::size_t>(n));
  std::iota(v.begin(), v.end(), from);
  return v;
}

TEST(SampleRing, PullFromAShortRingPadsWithZerosAndEmptiesIt) {
  SampleRing ring;
  ring.push(ramp(100));
  std::vector<float> out(320, 7.0f);
  ring.pull(out);
  for (int i = 0; i < 320; ++i) EXPECT_EQ(out[i], i < 100 ? i + 1.0f : 0.0f) << i;
  EXPECT_EQ(ring.count(), 0);
}

TEST(SampleRing, PullFromALongRingTakesTheOldestAndKeepsTheRestInOrder) {
  SampleRing ring;
  ring.push(ramp(1000));
  std::vector<float> out(320);
  ring.pull(out);
  EXPECT_EQ(out.front(), 1.0f);
  EXPECT_EQ(out.back(), 320.0f);
  EXPECT_EQ(ring.count(), 680);
  ring.pull(out);
  EXPECT_EQ(out.front(), 321.0f);
  ring.pull(out);
  ring.pull(out);  // 40 left before this pull
  EXPECT_EQ(out[39], 1000.0f);
  EXPECT_EQ(out[40], 0.0f);
}

TEST(SampleRing, EmptySpansChangeNothing) {
  SampleRing ring;
  ring.push({});
  EXPECT_EQ(ring.count(), 0);
  ring.push(ramp(5));
  std::vector<float> none;
  ring.pull(none);
  EXPECT_EQ(ring.count(), 5);
}

TEST(SampleRing, TrimCutsOnlyAboveTheLimitDownToTheNewest) {
  struct Case {
    int held;
    long expectedCount;
    float expectedFirst;
  } cases[] = {{6400, 6400, 1.0f}, {6401, 1600, 4802.0f}, {100, 100, 1.0f}};
  for (const auto& c : cases) {
    SampleRing ring;
    ring.push(ramp(c.held));
    ring.trim(6400, 1600);
    EXPECT_EQ(ring.count(), c.expectedCount) << c.held;
    std::vector<float> out(1);
    ring.pull(out);
    EXPECT_EQ(out[0], c.expectedFirst) << c.held;
  }
}

TEST(SampleRing, StoresValuesExactlyAsPushed) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> odd = {2.5f, -7.0f, inf, -inf, std::nanf(""), -0.0f};
  SampleRing ring;
  ring.push(odd);
  std::vector<float> out(odd.size());
  ring.pull(out);
  for (std::size_t i = 0; i < odd.size(); ++i) {
    EXPECT_EQ(std::memcmp(&out[i], &odd[i], sizeof(float)), 0) << i;
  }
}

}  // namespace
