#include "sim/sensor_chip.h"

#include <algorithm>
#include <cmath>

namespace kps::sim {

namespace {

// CONF (0x01) bits.
constexpr uint8_t kConfProxEnable = 0x80;
constexpr uint8_t kConfDrive220 = 0x08;  // IR LED at 220 mA; clear: 110 mA
constexpr uint8_t kConfAlsEnable = 0x04;
constexpr uint8_t kConfRange2000 = 0x02;
constexpr uint8_t kConfModeIr = 0x01;

// INTR (0x02) bits. The two flags are raised by the chip only; a host write can
// clear them but never raise them.
constexpr uint8_t kIntrProxFlag = 0x80;
constexpr uint8_t kIntrAlsFlag = 0x08;
constexpr uint8_t kIntrFlags = kIntrProxFlag | kIntrAlsFlag;
constexpr uint8_t kIntrPinAnd = 0x01;

constexpr int kProxFullCount = 255;
constexpr int kAlsFullCount = 4095;
constexpr double kAlsFullScaleWide = 2000.0;  // lux, range bit set
constexpr double kAlsFullScaleFine = 125.0;   // lux, range bit clear

// Consecutive out-of-window conversions per persistence code.
constexpr std::array<int, 4> kPersistence = {1, 4, 8, 16};

// Rounded to the nearest count (halves up), held within 0..full; a level that
// is not a number reads 0.
int ToCounts(double counts, int full) {
  if (!(counts > 0.0)) return 0;
  if (counts >= full) return full;
  return static_cast<int>(std::floor(counts + 0.5));
}

}  // namespace

SensorChip::SensorChip(uint32_t seed) : random_(seed) {
  PowerOn();
}

void SensorChip::PowerOn() {
  regs_.fill(0x00);
  regs_[kRegId] = kChipId;
  // Thresholds power up wide open (proximity 0..255, ALS/IR 0..4095), so that
  // enabling a channel does not raise an interrupt by itself.
  regs_[kRegProxHigh] = 0xFF;
  regs_[kRegAth2] = 0xF0;
  regs_[kRegAth3] = 0xFF;
  pointer_ = 0;
  proxRun_ = 0;
  alsRun_ = 0;
}

uint8_t SensorChip::reg(uint8_t address) const {
  return ReadAt(address);
}

uint8_t SensorChip::ReadAt(uint8_t address) const {
  // Past the sixteen registers there is nothing: reads give 0.
  return address < kChipRegisterCount ? regs_[address] : 0x00;
}

void SensorChip::WriteAt(uint8_t address, uint8_t value) {
  switch (address) {
    case kRegId:
    case kRegProx:
    case kRegAls1:
    case kRegAls2:
      return;  // read-only; the byte is still acknowledged on the bus
    case kRegIntr: {
      // A 0 in a flag bit clears that flag, a 1 leaves it as it is.
      const uint8_t flags = regs_[kRegIntr] & value & kIntrFlags;
      regs_[kRegIntr] = static_cast<uint8_t>((value & ~kIntrFlags) | flags);
      return;
    }
    default:
      if (address < kChipRegisterCount) regs_[address] = value;
  }
}

void SensorChip::Write(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  pointer_ = bytes[0];
  for (std::size_t i = 1; i < bytes.size(); ++i) {
    WriteAt(pointer_, bytes[i]);
    ++pointer_;  // 8 bits: wraps from 0xFF to 0x00
  }
}

void SensorChip::Read(std::span<uint8_t> out) {
  const auto count = static_cast<int>(out.size());
  if (count <= 0) return;
  bool coversData = false;
  for (int i = 0; i < count && !coversData; ++i) {
    const auto address = static_cast<uint8_t>(pointer_ + i);
    coversData = address >= kRegProx && address <= kRegAls2;
  }
  if (coversData) Convert();
  for (uint8_t& byte : out) {
    byte = ReadAt(pointer_);
    ++pointer_;
  }
}

int SensorChip::NoiseOffset(int full) {
  // Drawn from the raw generator output so that a seed gives the same
  // sequence with every standard library.
  const double unit = static_cast<double>(random_()) / 4294967296.0;  // [0, 1)
  if (!(scene_.noise > 0.0)) return 0;
  const double span = std::min(scene_.noise, kMaxNoise) / 100.0 * full;
  return static_cast<int>(std::lround((2.0 * unit - 1.0) * span));
}

bool SensorChip::Persisted(int reading, int low, int high, int persistenceCode, int& run) {
  if (reading < low || reading > high) {
    run = std::min(run + 1, kPersistence.back());
  } else {
    run = 0;
  }
  return run >= kPersistence[static_cast<std::size_t>(persistenceCode)];
}

void SensorChip::Convert() {
  const uint8_t conf = regs_[kRegConf];
  const double shape = ShapeFactor(scene_.shape, conversions_);
  ++conversions_;
  // Two draws every cycle whatever is enabled, so that one channel's noise
  // does not depend on the other channel's enable bit.
  const int proxNoise = NoiseOffset(kProxFullCount);
  const int alsNoise = NoiseOffset(kAlsFullCount);

  const bool proxOn = (conf & kConfProxEnable) != 0;
  const bool alsOn = (conf & kConfAlsEnable) != 0;

  int prox = 0;
  if (proxOn) {
    // The reflected light, and so the count, goes with the LED current.
    const double drive = (conf & kConfDrive220) != 0 ? 2.0 : 1.0;
    prox = ToCounts(scene_.proximity * shape * drive, kProxFullCount);
    prox = std::clamp(prox + proxNoise, 0, kProxFullCount);
  }
  int als = 0;
  if (alsOn) {
    const double fullScale = (conf & kConfRange2000) != 0 ? kAlsFullScaleWide : kAlsFullScaleFine;
    const double level = (conf & kConfModeIr) != 0 ? scene_.ir : scene_.lux;
    als = ToCounts(level * shape * kAlsFullCount / fullScale, kAlsFullCount);
    als = std::clamp(als + alsNoise, 0, kAlsFullCount);
  }
  regs_[kRegProx] = static_cast<uint8_t>(prox);
  regs_[kRegAls1] = static_cast<uint8_t>(als & 0xFF);
  regs_[kRegAls2] = static_cast<uint8_t>(als >> 8);

  // A channel that is switched off does not convert and takes no part in the
  // interrupt check; its run starts again when it is switched on.
  const uint8_t intr = regs_[kRegIntr];
  uint8_t raised = 0;
  if (proxOn) {
    if (Persisted(prox, regs_[kRegProxLow], regs_[kRegProxHigh], (intr >> 5) & 0x03, proxRun_)) {
      raised |= kIntrProxFlag;
    }
  } else {
    proxRun_ = 0;
  }
  if (alsOn) {
    const uint8_t ath2 = regs_[kRegAth2];
    const int low = (ath2 & 0x0F) * 256 + regs_[kRegAth1];
    const int high = regs_[kRegAth3] * 16 + (ath2 >> 4);
    if (Persisted(als, low, high, (intr >> 1) & 0x03, alsRun_)) raised |= kIntrAlsFlag;
  } else {
    alsRun_ = 0;
  }
  regs_[kRegIntr] = static_cast<uint8_t>(intr | raised);
}

bool SensorChip::interruptAsserted() const {
  const uint8_t intr = regs_[kRegIntr];
  const bool prox = (intr & kIntrProxFlag) != 0;
  const bool als = (intr & kIntrAlsFlag) != 0;
  return (intr & kIntrPinAnd) != 0 ? (prox && als) : (prox || als);
}

}  // namespace kps::sim
