// The sensor chip on the simulated board: sixteen 8-bit registers behind an
// I2C address, a register pointer with auto-increment, proximity and ALS/IR
// conversions that follow an adjustable scene, and the interrupt logic with
// thresholds, persistence, flags and the active-low interrupt output.
//
// The chip only sees I2C transactions whose address byte it acknowledged; the
// board firmware (simulated_board.h) does the addressing and the status bytes.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "sim/scene.h"

namespace kps::sim {

// Register addresses.
inline constexpr uint8_t kRegId = 0x00;
inline constexpr uint8_t kRegConf = 0x01;
inline constexpr uint8_t kRegIntr = 0x02;
inline constexpr uint8_t kRegProxLow = 0x03;
inline constexpr uint8_t kRegProxHigh = 0x04;
inline constexpr uint8_t kRegAth1 = 0x05;
inline constexpr uint8_t kRegAth2 = 0x06;
inline constexpr uint8_t kRegAth3 = 0x07;
inline constexpr uint8_t kRegProx = 0x08;
inline constexpr uint8_t kRegAls1 = 0x09;
inline constexpr uint8_t kRegAls2 = 0x0A;
inline constexpr int kChipRegisterCount = 16;

// What register 0x00 always reads.
inline constexpr uint8_t kChipId = 0x71;

class SensorChip {
 public:
  explicit SensorChip(uint32_t seed);

  // Power-on state: identification, everything off, thresholds wide open,
  // data registers 0, flags clear, persistence counters at 0.
  void PowerOn();

  // The bytes of a write transaction after the acknowledged address byte: the
  // first sets the register pointer, each further byte is written to the
  // register at the pointer, which then moves on by one.
  void Write(std::span<const uint8_t> bytes);
  // A read transaction of out.size() bytes from the register pointer on. A
  // read that takes in any of the data registers 0x08..0x0A runs one
  // conversion cycle before its first byte.
  void Read(std::span<uint8_t> out);

  // One conversion cycle: new PROX, ALS1 and ALS2, then the interrupt check.
  void Convert();
  // Conversion cycles run so far. The scene's shape follows this count; like
  // the scene, it is kept when the chip loses power.
  uint64_t conversions() const { return conversions_; }

  uint8_t reg(uint8_t address) const;
  uint8_t pointer() const { return pointer_; }
  // The interrupt output, which pulls the line low while asserted.
  bool interruptAsserted() const;

  const Scene& scene() const { return scene_; }
  void setScene(const Scene& scene) { scene_ = scene; }

 private:
  uint8_t ReadAt(uint8_t address) const;
  void WriteAt(uint8_t address, uint8_t value);
  // A noise offset in counts for a channel of `full` counts; draws one number
  // from the generator whatever the noise level.
  int NoiseOffset(int full);
  // Updates one channel's out-of-window run; true when the flag is due.
  static bool Persisted(int reading, int low, int high, int persistenceCode, int& run);

  std::array<uint8_t, kChipRegisterCount> regs_{};
  uint8_t pointer_ = 0;
  int proxRun_ = 0;  // consecutive conversions outside the proximity window
  int alsRun_ = 0;   // the same for ALS/IR
  Scene scene_;
  uint64_t conversions_ = 0;
  std::mt19937 random_;
};

}  // namespace kps::sim
