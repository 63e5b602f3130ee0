#include "acquisition/reading_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace kps {
namespace {

// The textbook two-pass figures in long double, to hold the running ones against.
struct Reference {
  long double mean = 0, sd = 0, min = 0, max = 0;
};
Reference TwoPass(const std::vector<double>& values) {
  Reference r;
  long double sum = 0;
  r.min = r.max = values.front();
  for (double v : values) {
    sum += v;
    r.min = std::min<long double>(r.min, v);
    r.max = std::max<long double>(r.max, v);
  }
  r.mean = sum / values.size();
  long double squares = 0;
  for (double v : values) squares += (v - r.mean) * (v - r.mean);
  r.sd = values.size() > 1 ? std::sqrt(squares / (values.size() - 1)) : NAN;
  return r;
}

TEST(ReadingStatistics, SmallSetsMatchTheTwoPassFiguresAsPrinted) {
  const std::vector<std::vector<double>> sets = {
      {26},
      {26, 26, 26, 26},
      {1, 2, 3, 4},
      {4095, 0, 4095, 0, 2048},
      {205, 207, 203, 206, 204, 205, 209, 201},
      {-3.5, 12.25, 0.125},
  };
  for (const auto& set : sets) {
    RunningStats stats;
    for (double v : set) stats.Add(v);
    const Reference r = TwoPass(set);
    SCOPED_TRACE(testing::PrintToString(set));
    EXPECT_EQ(stats.count(), static_cast<int64_t>(set.size()));
    EXPECT_EQ(StatNumber(stats.mean()), StatNumber(static_cast<double>(r.mean)));
    EXPECT_EQ(StatNumber(stats.sd()), StatNumber(static_cast<double>(r.sd)));
    EXPECT_EQ(stats.min(), static_cast<double>(r.min));
    EXPECT_EQ(stats.max(), static_cast<double>(r.max));
    EXPECT_EQ(stats.peakToPeak(), static_cast<double>(r.max - r.min));
  }
  // Known by hand: 1..4 has mean 2.5 and sd sqrt(5/3).
  RunningStats four;
  for (double v : {1.0, 2.0, 3.0, 4.0}) four.Add(v);
  EXPECT_EQ(StatNumber(four.mean()), "2.5");
  EXPECT_EQ(StatNumber(four.sd()), "1.291");
}

TEST(ReadingStatistics, NothingToSayIsNaNAndPrintsEmpty) {
  RunningStats none;
  EXPECT_EQ(none.count(), 0);
  for (StatFigure f : kStatFigures) {
    if (f != StatFigure::N) {
      EXPECT_TRUE(std::isnan(StatFigureValue(none, f))) << StatFigureName(f);
    }
  }
  RunningStats one;
  one.Add(7);
  EXPECT_TRUE(std::isnan(one.sd()));
  EXPECT_EQ(StatNumber(one.sd()), "");
  EXPECT_EQ(StatNumber(one.peakToPeak()), "0");
  one.Clear();
  EXPECT_EQ(one.count(), 0);
  EXPECT_TRUE(std::isnan(one.mean()));
}

TEST(ReadingStatistics, ALongStreamFarFromZeroStaysExact) {
  // A million counts near the top of the range with a small spread: the
  // textbook one-pass formula (sum of squares minus square of sums) loses
  // every digit of the spread here; the running figures must not.
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> count(4000, 4010);
  std::vector<double> values;
  RunningStats stats;
  for (int i = 0; i < 1000000; ++i) {
    const double v = 1e9 + count(random);
    values.push_back(v);
    stats.Add(v);
  }
  const Reference r = TwoPass(values);
  EXPECT_NEAR(stats.mean(), static_cast<double>(r.mean), 1e-6);
  EXPECT_NEAR(stats.sd(), static_cast<double>(r.sd), 1e-6);
  EXPECT_EQ(StatNumber(stats.sd()), StatNumber(static_cast<double>(r.sd)));
}

TEST(ReadingStatistics, LuxCountsOnlyReadingsInRange) {
  ReadingStats stats;
  stats.Add(26, 205, 100.0);
  stats.Add(27, 4095, std::nullopt);  // saturated: no lux
  stats.Add(25, 206, NAN);
  stats.Add(26, 204, 99.5);
  EXPECT_EQ(stats.prox.count(), 4);
  EXPECT_EQ(stats.alsIr.count(), 4);
  EXPECT_EQ(stats.lux.count(), 2);
  EXPECT_EQ(StatNumber(stats.lux.mean()), "99.75");
  stats.Clear();
  EXPECT_EQ(stats.prox.count() + stats.alsIr.count() + stats.lux.count(), 0);
}

TEST(ReadingStatistics, NumbersPrintWithAtMostThreeDecimals) {
  EXPECT_EQ(StatNumber(26), "26");
  EXPECT_EQ(StatNumber(25.5), "25.5");
  EXPECT_EQ(StatNumber(1.2909944), "1.291");
  EXPECT_EQ(StatNumber(-0.0001), "0");
  EXPECT_EQ(StatNumber(-0.5), "-0.5");
  EXPECT_EQ(StatNumber(1234567.0), "1234567");
  EXPECT_EQ(StatNumber(INFINITY), "");
}

}  // namespace
}  // namespace kps
