#include "console/register_map.h"

#include <gtest/gtest.h>

namespace kps {
namespace {

constexpr auto kMain = HighPacking::LowNibbleInAth2;
constexpr auto kAdaptive = HighPacking::HighNibbleInAth2;

TEST(RegisterMapTest, ThresholdsPackIntoAth1To3AndDecodeBack) {
  EXPECT_EQ(EncodeThresholds(0x123, 0xABC), (ThresholdRegs{0x23, 0xC1, 0xAB}));
  EXPECT_EQ(EncodeThresholds(4095, 0), (ThresholdRegs{0xFF, 0x0F, 0x00}));
  // The adaptive console keeps the high threshold's top nibble in ATH2.
  EXPECT_EQ(EncodeThresholds(0xA55, 0x123, kAdaptive), (ThresholdRegs{0x55, 0x1A, 0x23}));

  // Every 12-bit pair survives the round trip in both packings.
  for (HighPacking packing : {kMain, kAdaptive}) {
    for (int low = 0; low < 4096; low += 7) {
      const int high = 4095 - low;
      const Thresholds back = DecodeThresholds(EncodeThresholds(low, high, packing), packing);
      ASSERT_EQ(back.low, low) << "packing " << static_cast<int>(packing);
      ASSERT_EQ(back.high, high) << "packing " << static_cast<int>(packing);
    }
  }
}

}  // namespace
}  // namespace kps
