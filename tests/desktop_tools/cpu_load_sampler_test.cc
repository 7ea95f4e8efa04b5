#include "host/desktop_tools/cpu_load_sampler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using korvane_bridge::CpuLoadSampler;

class CpuLoadSamplerTest : public ::testing::Test {
 protected:
  ~CpuLoadSamplerTest() override { std::remove(path_.c_str()); }

  void Write(const std::string& aggregate_line) {
    std::ofstream(path_) << aggregate_line << "\ncpu0 1 2 3 4 5 6 7 8\n";
  }

  const std::string path_ = ::testing::TempDir() + "cpu_load_sampler_stat";
  CpuLoadSampler sampler_{path_};
};

TEST_F(CpuLoadSamplerTest, LoadBetweenSamples) {
  // user nice system idle iowait irq softirq steal, then columns not read.
  Write("cpu  300 0 100 500 100 0 0 0 77 77");
  EXPECT_EQ(sampler_.Sample(), 40) << "the first sample: since boot";
  EXPECT_EQ(sampler_.Sample(), std::nullopt) << "no tick has passed";

  // 30 busy ticks and 70 idle ones, 50 of them waiting for I/O.
  Write("cpu  320 5 105 520 150 0 0 0");
  EXPECT_EQ(sampler_.Sample(), 30);

  // More idle ticks than ticks in all (counters that went backwards) give
  // 0, not a wrapped-around figure.
  Write("cpu  0 0 0 9000 0 0 0 0");
  EXPECT_EQ(sampler_.Sample(), 0);
  Write("cpu  100 0 0 9000 0 0 0 0");
  EXPECT_EQ(sampler_.Sample(), 100);
}

TEST_F(CpuLoadSamplerTest, UnreadableCountersGiveNothingOrZeroColumns) {
  EXPECT_EQ(CpuLoadSampler("/nonexistent/stat").Sample(), std::nullopt);
  // A column that cannot be read counts as 0, and so do the ones after it.
  Write("cpu  50 0 50 x 100 0 0 0");
  EXPECT_EQ(sampler_.Sample(), 100);
}

}  // namespace
