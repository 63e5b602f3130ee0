// The sensor's sixteen registers as the console sees them: names, the bit
// fields of CONF (0x01) and INTR (0x02) with their masks, the packing of the
// 12-bit ALS/IR thresholds into ATH1..ATH3, the two register caches and the
// image a console starts from. Plain data and arithmetic.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kps {

inline constexpr int kRegCount = 16;

// Register addresses the console works with by name.
namespace reg {
inline constexpr int kId = 0x00;
inline constexpr int kConf = 0x01;
inline constexpr int kIntr = 0x02;
inline constexpr int kProxLow = 0x03;
inline constexpr int kProxHigh = 0x04;
inline constexpr int kAth1 = 0x05;
inline constexpr int kAth2 = 0x06;
inline constexpr int kAth3 = 0x07;
inline constexpr int kProx = 0x08;
inline constexpr int kAls1 = 0x09;
inline constexpr int kAls2 = 0x0A;
}  // namespace reg

// The label of each register ("CONF", "(n/a)" ...).
const char* RegisterName(int address);

// A field of CONF or INTR: the bits that stay (AND mask) and the code's unit.
struct RegField {
  int reg;
  uint8_t keep;  // AND mask
};

namespace field {
inline constexpr RegField kProxEnable{reg::kConf, 0x7F};   // 0x80 when checked
inline constexpr RegField kIrSleep{reg::kConf, 0x8F};      // option index x 0x10
inline constexpr RegField kIrDrive{reg::kConf, 0xF7};      // 0x08 for 220 mA
inline constexpr RegField kAlsEnable{reg::kConf, 0xFB};    // 0x04 when checked
inline constexpr RegField kAlsRange{reg::kConf, 0xFD};     // 0x02 for 2000 lux
inline constexpr RegField kMeasureMode{reg::kConf, 0xFE};  // 0x01 for IR
inline constexpr RegField kProxFlag{reg::kIntr, 0x7F};     // cleared, nothing set
inline constexpr RegField kProxPersist{reg::kIntr, 0x9F};  // option index x 0x20
inline constexpr RegField kAlsFlag{reg::kIntr, 0xF7};      // cleared, nothing set
inline constexpr RegField kAlsPersist{reg::kIntr, 0xF9};   // option index x 0x02
inline constexpr RegField kPinLogic{reg::kIntr, 0xFE};     // 0x01 for "And"
}  // namespace field

// Flag bits of INTR.
inline constexpr uint8_t kIntrProxFlag = 0x80;
inline constexpr uint8_t kIntrAlsFlag = 0x08;

// How the high ALS/IR threshold sits in ATH2/ATH3. The main console keeps its
// bits 3..0 in ATH2's upper nibble and bits 11..4 in ATH3; the adaptive console
// keeps bits 11..8 in ATH2's upper nibble and bits 7..0 in ATH3.
enum class HighPacking { LowNibbleInAth2, HighNibbleInAth2 };

struct ThresholdRegs {
  uint8_t ath1, ath2, ath3;
  bool operator==(const ThresholdRegs&) const = default;
};

// L and H are 12-bit (0..4095).
ThresholdRegs EncodeThresholds(int low, int high,
                               HighPacking packing = HighPacking::LowNibbleInAth2);
struct Thresholds {
  int low, high;
};
Thresholds DecodeThresholds(const ThresholdRegs& regs,
                            HighPacking packing = HighPacking::LowNibbleInAth2);

// The register caches both consoles share.
struct RegisterCaches {
  std::array<uint8_t, kRegCount> RegWriteCache{};  // the value last composed for each register
  std::array<uint8_t, kRegCount> RegReadCache{};   // the value last read back
};

// The write cache a console starts from: everything off, thresholds wide open.
std::array<uint8_t, kRegCount> InitialImage(uint8_t reg0 = 0x00);

// RegWriteCache(f.reg) = (old AND f.keep) OR code; returns the new value.
uint8_t ApplyField(RegisterCaches& caches, RegField f, unsigned code);

}  // namespace kps
