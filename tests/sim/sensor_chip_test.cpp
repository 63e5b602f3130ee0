// The chip's counts for a scene: ranges, modes, LED drive, enables,
// saturation, noise and the scene shapes.
#include "sim/sensor_chip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <utility>
#include <vector>

namespace kps::sim {
namespace {

struct Counts {
  int prox, als;
  bool operator==(const Counts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Counts& c) {
  return out << "{prox " << c.prox << ", als " << c.als << "}";
}

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
      {"everything off", {}, 0x00, {0, 0}},
      {"range and mode bits without the enable", {.lux = 100.0}, 0x03, {0, 0}},
      {"LED drive without proximity enable", {.proximity = 50.0}, 0x08, {0, 0}},
      {"ALS, 2000 lux range", {.lux = 100.0}, 0x06, {0, 205}},  // 204.75
      {"ALS, 125 lux range", {.lux = 62.5}, 0x04, {0, 2048}},   // 2047.5: halves up
      {"ALS at full scale of the 125 lux range", {.lux = 125.0}, 0x04, {0, 4095}},
      {"ALS beyond the 125 lux range", {.lux = 250.0}, 0x04, {0, 4095}},
      {"ALS beyond the 2000 lux range", {.lux = 5000.0}, 0x06, {0, 4095}},
      {"IR mode reads the IR level, 2000 lux range", {.lux = 9000.0, .ir = 40.0}, 0x07, {0, 82}},
      {"IR mode, 125 lux range", {.lux = 9000.0, .ir = 40.0}, 0x05, {0, 1310}},
      {"proximity at 110 mA", {.proximity = 26.0}, 0x80, {26, 0}},
      {"proximity at 220 mA reads twice as much", {.proximity = 26.0}, 0x88, {52, 0}},
      {"a half count rounds up at 110 mA", {.proximity = 12.5}, 0x80, {13, 0}},
      {"and doubles exactly at 220 mA", {.proximity = 12.5}, 0x88, {25, 0}},
      {"220 mA saturates at 255", {.proximity = 200.0}, 0x88, {255, 0}},
      {"110 mA at the top", {.proximity = 255.0}, 0x80, {255, 0}},
      {"the LED sleep time changes nothing", {.proximity = 26.0}, 0xF0, {26, 0}},
      {"both channels", {.lux = 1000.0, .proximity = 40.0}, 0x8E, {80, 2048}},
      {"nothing there", {.lux = 0.0, .ir = 0.0, .proximity = 0.0}, 0x8E, {0, 0}},
  };
  for (const Case& c : cases) {
    SensorChip chip = ChipWith(c.scene, c.conf);
    EXPECT_EQ(Convert(chip), c.expected) << c.what;
  }
}

TEST(SensorChipTest, WithoutNoiseTheSeedMakesNoDifference) {
  const Scene scene{.lux = 1000.0, .proximity = 40.0};
  SensorChip first = ChipWith(scene, 0x8E, 1);
  SensorChip second = ChipWith(scene, 0x8E, 987654);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(Convert(first), Convert(second)) << "conversion " << i;
}

// Noise is a share of each channel's own full scale: n % moves a count by at
// most n % of 4095 (ALS/IR) or of 255 (proximity), rounded, and it spreads
// over both sides of the clean count.
TEST(SensorChipTest, NoiseStaysWithinItsShareOfFullScaleAndFollowsTheSeed) {
  const Counts clean{128, 2048};  // proximity 128 at 110 mA; 1000 lux in the 2000 lux range
  for (double percent : {1.0, 10.0, 50.0}) {
    SCOPED_TRACE(percent);
    const Scene scene{.lux = 1000.0, .proximity = 128.0, .noise = percent};
    SensorChip chip = ChipWith(scene, 0x86, 7);
    SensorChip twin = ChipWith(scene, 0x86, 7);
    const double proxSpan = percent / 100.0 * 255, alsSpan = percent / 100.0 * 4095;
    int proxLow = 0, proxHigh = 0, alsLow = 0, alsHigh = 0;
    for (int i = 0; i < 400; ++i) {
      const Counts got = Convert(chip);
      ASSERT_EQ(Convert(twin), got) << "the same seed, the same noise";
      const int prox = got.prox - clean.prox, als = got.als - clean.als;
      ASSERT_LE(std::abs(prox), proxSpan + 0.5) << got;
      ASSERT_LE(std::abs(als), alsSpan + 0.5) << got;
      proxLow = std::min(proxLow, prox), proxHigh = std::max(proxHigh, prox);
      alsLow = std::min(alsLow, als), alsHigh = std::max(alsHigh, als);
    }
    // 400 uniform draws reach well into both halves of the span.
    EXPECT_LE(proxLow, -proxSpan / 2);
    EXPECT_GE(proxHigh, proxSpan / 2);
    EXPECT_LE(alsLow, -alsSpan / 2);
    EXPECT_GE(alsHigh, alsSpan / 2);
  }

  const Scene noisy{.lux = 1000.0, .noise = 10.0};
  SensorChip a = ChipWith(noisy, 0x06, 1), b = ChipWith(noisy, 0x06, 2);
  std::vector<int> fromA, fromB;
  for (int i = 0; i < 10; ++i) fromA.push_back(Convert(a).als), fromB.push_back(Convert(b).als);
  EXPECT_NE(fromA, fromB) << "another seed, other noise";
}

// The shape scales every level the chip sees, conversion by conversion, and
// two boards with the same scene draw the same trace.
TEST(SensorChipTest, ShapedScenesMoveBothChannelsTheSameWayEveryTime) {
  struct Case {
    SceneShape shape;
    std::vector<std::pair<int, Counts>> at;  // conversion number, counts
  };
  // 1600 lux at the 2000 lux range is 3276; proximity 100 at 220 mA is 200.
  const Case cases[] = {
      {SceneShape::Ramp, {{0, {0, 0}}, {21, {67, 1092}}, {63, {200, 3276}}, {64, {0, 0}}}},
      {SceneShape::Sine,
       {{0, {0, 0}}, {16, {100, 1638}}, {32, {200, 3276}}, {48, {100, 1638}}, {64, {0, 0}}}},
      {SceneShape::Steady, {{0, {200, 3276}}, {33, {200, 3276}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(SceneShapeName(c.shape));
    const Scene scene{.lux = 1600.0, .proximity = 100.0, .shape = c.shape};
    SensorChip chip = ChipWith(scene, 0x8E), twin = ChipWith(scene, 0x8E);
    std::vector<Counts> trace, again;
    for (int k = 0; k < 70; ++k) trace.push_back(Convert(chip)), again.push_back(Convert(twin));
    EXPECT_EQ(trace, again);
    for (const auto& [k, counts] : c.at) EXPECT_EQ(trace[k], counts) << "conversion " << k;
    if (c.shape == SceneShape::Ramp) {
      for (int k = 1; k < 64; ++k) EXPECT_GT(trace[k].als, trace[k - 1].als) << k;
    }
  }
}

}  // namespace
}  // namespace kps::sim
