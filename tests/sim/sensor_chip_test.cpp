// The chip's counts for a scene: ranges, modes, LED drive, enables,
// saturation, noise and the scene shapes.
#include "sim/sensor_chip.h"

#include <gtest/gtest.h>

#include "acquisition/reading_statistics.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace kps::sim {
namespace {

using Counts = std::pair<int, int>;  // proximity, ALS/IR

// One conversion's counts, as registers 8..10 hold them.
Counts Convert(SensorChip& chip) {
  chip.Convert();
  return {chip.reg(kRegProx), chip.reg(kRegAls1) | chip.reg(kRegAls2) << 8};
}

SensorChip ChipWith(const Scene& scene, uint8_t conf, uint32_t seed = 1) {
  SensorChip chip(seed);
  chip.setScene(scene);
  const uint8_t write[] = {kRegConf, conf};
  chip.Write(write);
  return chip;
}

TEST(SensorChipTest, CountsFollowTheSceneRangeModeDriveAndEnables) {
  struct Case {
    const char* what;
    Scene scene;
    uint8_t conf;
    Counts expected;
  };
  const Case cases[] = {
      {"range and mode bits without the enable", {.lux = 100.0}, 0x03, {0, 0}},
      {"LED drive without proximity enable", {.proximity = 50.0}, 0x08, {0, 0}},
      {"ALS, 2000 lux range", {.lux = 100.0}, 0x06, {0, 205}},  // 204.75
      {"ALS, 125 lux range", {.lux = 62.5}, 0x04, {0, 2048}},   // 2047.5: halves up
      {"ALS beyond the 125 lux range", {.lux = 250.0}, 0x04, {0, 4095}},
      {"IR mode reads the IR level", {.lux = 9000.0, .ir = 40.0}, 0x07, {0, 82}},
      {"a half count rounds up at 110 mA", {.proximity = 12.5}, 0x80, {13, 0}},
      {"and doubles exactly at 220 mA", {.proximity = 12.5}, 0x88, {25, 0}},
      {"220 mA saturates at 255", {.proximity = 200.0}, 0x88, {255, 0}},
  };
  for (const Case& c : cases) {
    SensorChip chip = ChipWith(c.scene, c.conf);
    EXPECT_EQ(Convert(chip), c.expected) << c.what;
  }
}

// Noise is a share of each channel's own full scale: n % moves a count by at
// most n % of 4095 (ALS/IR) or of 255 (proximity), rounded, over both sides of
// the clean count; without noise the seed makes no difference.
TEST(SensorChipTest, NoiseStaysWithinItsShareOfFullScaleAndFollowsTheSeed) {
  for (double percent : {0.0, 10.0, 50.0}) {
    SCOPED_TRACE(percent);
    const Scene scene{.lux = 1000.0, .proximity = 128.0, .noise = percent};  // clean: 128, 2048
    SensorChip chip = ChipWith(scene, 0x86, 7), twin = ChipWith(scene, 0x86, 7),
               other = ChipWith(scene, 0x86, 8);
    std::vector<Counts> trace, again, fromOther;
    std::vector<int> prox, als;  // offsets from the clean counts
    for (int i = 0; i < 400; ++i) {
      trace.push_back(Convert(chip)), again.push_back(Convert(twin));
      fromOther.push_back(Convert(other));
      prox.push_back(trace.back().first - 128), als.push_back(trace.back().second - 2048);
    }
    EXPECT_EQ(trace, again) << "the same seed, the same noise";
    EXPECT_EQ(trace == fromOther, percent == 0.0) << "another seed, other noise";
    for (const auto& [offsets, full] : {std::pair{&prox, 255.0}, std::pair{&als, 4095.0}}) {
      const auto [low, high] = std::minmax_element(offsets->begin(), offsets->end());
      const double span = percent / 100.0 * full;  // 400 draws reach into both halves of it
      EXPECT_LE(std::max(-*low, *high), span + 0.5) << full;
      EXPECT_TRUE(*low <= -span / 2 && *high >= span / 2) << *low << ".." << *high;
    }
  }
}

// The standard deviation docs/simulated-board.md gives for each noise level
// (exact for the rounded uniform draw; not the m / sqrt(3) of the draw before
// rounding, which 1 % of proximity would miss by 0.7 %, nor sqrt(m^2/3 + 1/12),
// which it would miss by 2.6 %).
TEST(SensorChipTest, NoiseHasTheStandardDeviationTheSimulatorPageGives) {
  struct Case {
    double percent;
    double proxSd, alsSd;  // of a count well inside its range
  };
  const Case cases[] = {{1.0, 1.462, 23.646}, {5.0, 7.368, 118.213}, {10.0, 14.720, 236.425}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.percent);
    // 128 of 255 and 2048 of 4095: no count reaches the ends of its range.
    SensorChip chip = ChipWith({.lux = 62.5, .proximity = 128.0, .noise = c.percent}, 0x84);
    RunningStats prox, als;
    for (int i = 0; i < 100000; ++i) {
      const auto [p, a] = Convert(chip);
      prox.Add(p), als.Add(a);
    }
    // 100000 draws put the sample SD within 0.15 % of the true one (one sigma).
    EXPECT_NEAR(prox.sd(), c.proxSd, c.proxSd * 0.005);
    EXPECT_NEAR(als.sd(), c.alsSd, c.alsSd * 0.005);
    EXPECT_NEAR(prox.mean(), 128.0, 0.02 * c.proxSd);
    EXPECT_NEAR(als.mean(), 2048.0, 0.02 * c.alsSd);
  }
}

// The shape scales every level the chip sees, conversion by conversion, and
// two boards with the same scene draw the same trace.
TEST(SensorChipTest, ShapedScenesMoveBothChannelsTheSameWayEveryTime) {
  // 1600 lux at the 2000 lux range is 3276; proximity 100 at 220 mA is 200.
  const std::pair<SceneShape, std::vector<std::pair<int, Counts>>> cases[] = {
      {SceneShape::Ramp, {{0, {0, 0}}, {21, {67, 1092}}, {63, {200, 3276}}, {64, {0, 0}}}},
      {SceneShape::Sine, {{0, {0, 0}}, {16, {100, 1638}}, {32, {200, 3276}}, {48, {100, 1638}}}},
  };
  for (const auto& [shape, at] : cases) {
    SCOPED_TRACE(SceneShapeName(shape));
    const Scene scene{.lux = 1600.0, .proximity = 100.0, .shape = shape};
    SensorChip chip = ChipWith(scene, 0x8E), twin = ChipWith(scene, 0x8E);
    std::vector<Counts> trace, again;
    for (int k = 0; k < 65; ++k) trace.push_back(Convert(chip)), again.push_back(Convert(twin));
    EXPECT_EQ(trace, again);
    for (const auto& [k, counts] : at) EXPECT_EQ(trace[k], counts) << "conversion " << k;
  }
}

}  // namespace
}  // namespace kps::sim
