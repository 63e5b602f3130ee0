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

TEST(RegisterMapTest, ApplyFieldKeepsTheOtherBitsOfTheRegister) {
  RegisterCaches caches;
  caches.RegWriteCache[reg::kConf] = 0xFF;
  EXPECT_EQ(ApplyField(caches, field::kIrSleep, 5 * 0x10), 0xDF);
  EXPECT_EQ(ApplyField(caches, field::kProxEnable, 0x00), 0x5F);

  caches.RegWriteCache[reg::kIntr] = 0xFF;
  EXPECT_EQ(ApplyField(caches, field::kProxFlag, 0), 0x7F);
  EXPECT_EQ(ApplyField(caches, field::kAlsPersist, 1 * 0x02), 0x7B);
  EXPECT_EQ(ApplyField(caches, field::kProxPersist, 1 * 0x20), 0x3B);
}

}  // namespace
}  // namespace kps
