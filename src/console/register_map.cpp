#include "console/register_map.h"

namespace kps {

const char* RegisterName(int address) {
  static constexpr std::array<const char*, kRegCount> kNames{
      "(n/a)", "CONF", "INTR", "P_LT",  "P_HT",  "ATH1",  "ATH2",  "ATH3",
      "PROX",  "ALS1", "ALS2", "(n/a)", "(n/a)", "(n/a)", "TEST1", "TEST2"};
  if (address < 0 || address >= kRegCount) return "";
  return kNames[static_cast<std::size_t>(address)];
}

ThresholdRegs EncodeThresholds(int low, int high, HighPacking packing) {
  ThresholdRegs r{};
  r.ath1 = static_cast<uint8_t>(low & 0xFF);
  const int lowTop = (low / 256) & 0x0F;
  if (packing == HighPacking::LowNibbleInAth2) {
    r.ath2 = static_cast<uint8_t>(((high & 0x0F) * 16 + lowTop) & 0xFF);
    r.ath3 = static_cast<uint8_t>((high / 16) & 0xFF);
  } else {
    r.ath2 = static_cast<uint8_t>((((high / 256) & 0x0F) * 16 + lowTop) & 0xFF);
    r.ath3 = static_cast<uint8_t>(high & 0xFF);
  }
  return r;
}

Thresholds DecodeThresholds(const ThresholdRegs& r, HighPacking packing) {
  Thresholds t{};
  t.low = (r.ath2 & 0x0F) * 256 + r.ath1;
  t.high = packing == HighPacking::LowNibbleInAth2 ? r.ath3 * 16 + (r.ath2 >> 4)
                                                   : (r.ath2 >> 4) * 256 + r.ath3;
  return t;
}

std::array<uint8_t, kRegCount> InitialImage(uint8_t reg0) {
  std::array<uint8_t, kRegCount> image{};
  image[0] = reg0;
  image[reg::kProxHigh] = 0xFF;
  image[reg::kAth2] = 0xF0;
  image[reg::kAth3] = 0xFF;
  return image;
}

uint8_t ApplyField(RegisterCaches& caches, RegField f, unsigned code) {
  auto& value = caches.RegWriteCache[static_cast<std::size_t>(f.reg)];
  value = static_cast<uint8_t>((value & f.keep) | (code & 0xFF));
  return value;
}

}  // namespace kps
