#include "sim/simulated_board.h"

#include <algorithm>
#include <span>
#include <utility>

namespace kps::sim {

namespace {

constexpr uint8_t kPb7 = 0x80;
// Port C has lines PC0, PC1 (the LEDs) and PC4..PC7; bits 2 and 3 have no line.
constexpr uint8_t kPortCLedLines = 0x03;
constexpr uint8_t kPortCGeneralLines = 0xF0;

}  // namespace

SimulatedBoard::SimulatedBoard(SimOptions options)
    : options_(options), chip_(options.seed), plugged_(options.plugged) {
  chip_.setScene(options.scene);
}

// ---------------------------------------------------------------------------
// Driver session

uint32_t SimulatedBoard::Init(const UsbMatch& match, TransportListener* listener,
                              DriverHandle* driver) {
  if (driver == nullptr) return kUsbOther;
  // One session at a time, as the program keeps it: a second Init ends the
  // first, whose handles are then dead.
  if (driver_ != 0) Uninit(driver_);
  // The board answers to whatever ids it is looked for by, so `--usb-id`
  // overrides need no simulated counterpart.
  match_ = match;
  listener_ = listener;
  driver_ = nextDriver_++;
  *driver = driver_;
  if (plugged_ && Chosen()) pending_.push_back({true, 0});
  return kUsbOk;
}

void SimulatedBoard::Poll() {
  // What falls due at this poll happens first, in the order it was asked for.
  for (std::size_t i = 0; i < scheduled_.size();) {
    if (--scheduled_[i].polls > 0) {
      ++i;
      continue;
    }
    const bool plug = scheduled_[i].plug;
    scheduled_.erase(scheduled_.begin() + static_cast<std::ptrdiff_t>(i));
    if (plug) {
      Plug();
    } else {
      Unplug();
    }
  }
  // The listener may poll again, transfer, or end the session from inside a
  // notification, so each one is taken off the queue before it is delivered
  // and the session is looked at afresh for the next.
  while (driver_ != 0 && listener_ != nullptr && !pending_.empty()) {
    const Notification note = pending_.front();
    pending_.pop_front();
    TransportListener* listener = listener_;
    if (note.attach) {
      const DeviceHandle device = nextDevice_++;
      live_ = device;
      // A board the program refuses is not taken: its handle is dead at once,
      // and pulling it out later announces nothing.
      if (!listener->DeviceAttach(device) && live_ == device) live_ = 0;
    } else {
      listener->DeviceDetach(note.device);
    }
  }
}

void SimulatedBoard::Uninit(DriverHandle driver) {
  if (driver_ == 0 || driver != driver_) return;
  driver_ = 0;
  listener_ = nullptr;
  pending_.clear();
  live_ = 0;
  i2cReply_.reset();
}

uint32_t SimulatedBoard::SetInterface(DeviceHandle device, uint32_t interfaceNumber,
                                      uint32_t alternateSetting) {
  if (!Live(device)) return kUsbNoDevice;
  if (options_.openRefusal != kUsbOk) return options_.openRefusal;
  if (interfaceNumber != 0 || alternateSetting != 0) return kUsbNotFound;
  return kUsbOk;
}

uint32_t SimulatedBoard::GetDeviceInfo(DeviceHandle device, DeviceInfo* info) {
  if (info == nullptr) return kUsbOther;
  if (!Live(device)) return kUsbNoDevice;
  *info = Info(device);
  return kUsbOk;
}

bool SimulatedBoard::Chosen() const {
  return BoardChosen(match_.board, kSimPortPath, options_.serial);
}

DeviceInfo SimulatedBoard::Info(DeviceHandle device) const {
  DeviceInfo info;
  info.vendorId = match_.vendorId;
  info.productId = match_.productId;
  info.deviceVersion = 0x0100;
  info.busNumber = 1;
  info.portPath = kSimPortPath;
  // A re-plugged device gets a new bus address, as on a real bus.
  info.deviceAddress = static_cast<uint8_t>(1 + (device - 1) % 127);
  info.manufacturer = "Simulated hardware";
  info.product = "KPS7110 evaluation board (simulated)";
  info.serial = options_.serial;
  return info;
}

uint32_t SimulatedBoard::ListBoards(const UsbMatch& match, std::vector<AttachedBoard>* boards) {
  if (boards == nullptr) return kUsbOther;
  boards->clear();
  if (!plugged_) return kUsbOk;
  AttachedBoard board;
  // The address it has now, or the one its next arrival will give it.
  board.info = Info(live_ != 0 ? live_ : nextDevice_);
  board.info.vendorId = match.vendorId;
  board.info.productId = match.productId;
  boards->push_back(board);
  return kUsbOk;
}

uint32_t SimulatedBoard::ResetPipe(DeviceHandle device, uint32_t pipe) {
  if (!Live(device)) return kUsbNoDevice;
  // Any pipe number resets without complaint: the program resets pipes 1 to 3
  // on close and looks only at the last status.
  if (pipe == kI2cOutPipe || pipe == kI2cInPipe) i2cReply_.reset();
  return kUsbOk;
}

uint32_t SimulatedBoard::ResetDevice(DeviceHandle device) {
  if (!Live(device)) return kUsbNoDevice;
  // A USB reset flushes the endpoints; the chip and the ports keep their state
  // (the program resets the device after every operation outside a held session).
  i2cReply_.reset();
  return kUsbOk;
}

// ---------------------------------------------------------------------------
// Plugging

void SimulatedBoard::Plug() {
  if (plugged_) return;
  plugged_ = true;
  if (driver_ != 0 && Chosen()) pending_.push_back({true, 0});
}

void SimulatedBoard::Unplug() {
  if (!plugged_) return;
  plugged_ = false;
  // No power: the chip and the ports come back in their power-on state.
  chip_.PowerOn();
  portBData_ = portCData_ = portBEnable_ = portCEnable_ = 0;
  i2cReply_.reset();
  gpioFault_.reset();
  // An arrival the program has not heard of yet is simply forgotten.
  std::erase_if(pending_, [](const Notification& n) { return n.attach; });
  if (live_ != 0) {
    pending_.push_back({false, live_});
    live_ = 0;
  }
}

void SimulatedBoard::UnplugAtPoll(int polls) {
  scheduled_.push_back({std::max(polls, 1), false});
}

void SimulatedBoard::PlugAtPoll(int polls) {
  scheduled_.push_back({std::max(polls, 1), true});
}

void SimulatedBoard::InjectFault(Fault fault, int count, int skip, FaultPipe pipe) {
  auto& queue = pipe == FaultPipe::I2c ? i2cFaults_ : gpioFaults_;
  for (int i = 0; i < skip; ++i) queue.push_back(std::nullopt);
  for (int i = 0; i < count; ++i) queue.push_back(fault);
}

int SimulatedBoard::pendingFaults() const {
  const auto faults = [](const std::deque<std::optional<Fault>>& queue) {
    return std::count_if(queue.begin(), queue.end(), [](const auto& f) { return f.has_value(); });
  };
  return static_cast<int>(faults(i2cFaults_) + faults(gpioFaults_));
}

std::optional<Fault> SimulatedBoard::NextFault(std::deque<std::optional<Fault>>& queue) {
  if (queue.empty()) return std::nullopt;
  const std::optional<Fault> fault = queue.front();
  queue.pop_front();
  return fault;
}

// ---------------------------------------------------------------------------
// Transfers

uint32_t SimulatedBoard::Transfer(DeviceHandle device, uint32_t pipe, bool read, uint8_t* buffer,
                                  uint32_t length, uint32_t* transferred, uint32_t /*timeoutMs*/) {
  if (transferred == nullptr) return kUsbOther;
  *transferred = 0;
  if (buffer == nullptr && length > 0) return kUsbOther;
  if (!Live(device)) return kUsbNoDevice;

  if (!read && pipe == kI2cOutPipe) {
    const std::optional<Fault> fault = NextFault(i2cFaults_);
    if (fault == Fault::Stall) return kUsbStall;
    RunI2cFrame(buffer, length, fault);
    *transferred = length;
    return kUsbOk;
  }
  if (!read && pipe == kGpioOutPipe) {
    const std::optional<Fault> fault = NextFault(gpioFaults_);
    if (fault == Fault::Stall) return kUsbStall;
    TakeGpioFrame(buffer, length, fault);
    *transferred = length;
    return kUsbOk;
  }
  if (read && pipe == kI2cInPipe) {
    // Each frame leaves one reply; with none waiting the host times out.
    if (!i2cReply_) return kUsbTimeout;
    *transferred = Deliver(*i2cReply_, buffer, length);
    i2cReply_.reset();
    return kUsbOk;
  }
  if (read && pipe == kGpioInPipe) {
    const std::optional<Fault> fault = std::exchange(gpioFault_, std::nullopt);
    if (fault == Fault::Timeout) return kUsbTimeout;
    Reply reply = GpioReply();
    if (fault) {
      reply.size = fault == Fault::Nak ? 0 : 1;
      reply.padded = false;
    }
    *transferred = Deliver(reply, buffer, length);
    return kUsbOk;
  }
  return kUsbNotFound;
}

uint32_t SimulatedBoard::Deliver(const Reply& reply, uint8_t* buffer, uint32_t length) {
  const auto n = static_cast<uint32_t>(std::min<std::size_t>(reply.size, length));
  std::copy_n(reply.bytes.begin(), n, buffer);
  if (!reply.padded) return n;
  std::fill(buffer + n, buffer + length, uint8_t{0});
  return length;
}

void SimulatedBoard::RunI2cFrame(const uint8_t* frame, uint32_t length,
                                 std::optional<Fault> fault) {
  // A new frame replaces a reply nobody read.
  i2cReply_.reset();
  if (fault == Fault::Timeout) return;

  // Without an address byte nothing goes on the bus.
  if (length < 2) {
    i2cReply_ = Reply{{0x00}, true};
    return;
  }
  const uint8_t control = frame[0];
  const uint8_t address = frame[1];
  const bool ours = (address & 0xFE) == (options_.chipAddress & 0xFE);
  if (!ours || fault == Fault::Nak) {
    i2cReply_ = Reply{{0x00}, true};
    return;
  }

  // Bytes after the address byte go to the chip as a write; for a read frame
  // the firmware then turns the bus round and clocks `control` bytes in.
  chip_.Write(std::span<const uint8_t>(frame + 2, length - 2));
  Reply& reply = i2cReply_.emplace();
  if ((address & 0x01) != 0) {
    reply.bytes[0] = control;
    chip_.Read(std::span<uint8_t>(reply.bytes).subspan(1, control));
    reply.size = 1u + control;
  } else {
    // Every byte from the address byte on was acknowledged.
    reply.bytes[0] = static_cast<uint8_t>(length - 1);
    reply.size = 1;
  }
  if (fault == Fault::ShortReply) {
    reply.size = 1;
    reply.padded = false;
  }
}

// ---------------------------------------------------------------------------
// GPIO

void SimulatedBoard::TakeGpioFrame(const uint8_t* frame, uint32_t length,
                                   std::optional<Fault> fault) {
  gpioFault_ = fault;
  if (gpioFault_ == Fault::Timeout || gpioFault_ == Fault::Nak) return;
  // The firmware takes all four port registers at once or none of them.
  if (length < 4) return;
  portBData_ = frame[0];
  portCData_ = frame[1];
  portBEnable_ = frame[2];
  portCEnable_ = frame[3];
}

uint8_t SimulatedBoard::portBPins() const {
  auto pins = static_cast<uint8_t>((portBData_ & portBEnable_) | ~portBEnable_);
  // The chip's interrupt output is open-drain: while asserted it pulls PB7
  // low, even against a port driving it high.
  if (chip_.interruptAsserted()) pins = static_cast<uint8_t>(pins & ~kPb7);
  return pins;
}

uint8_t SimulatedBoard::portCPins() const {
  // PC0 and PC1 are wired to the LEDs and always follow their data bits.
  const auto general =
      static_cast<uint8_t>(((portCData_ & portCEnable_) | ~portCEnable_) & kPortCGeneralLines);
  return static_cast<uint8_t>(general | (portCData_ & kPortCLedLines));
}

SimulatedBoard::Reply SimulatedBoard::GpioReply() const {
  return Reply{{portBPins(), portCPins(), portBEnable_, portCEnable_}, true};
}

bool SimulatedBoard::ledLit(int line) const {
  switch (line) {
    case 0:
    case 1:
      return (portCData_ & (1u << line)) != 0;
    case 5:
    case 6: {
      const auto bit = static_cast<uint8_t>(1u << line);
      return (portBEnable_ & bit) != 0 && (portBData_ & bit) == 0;
    }
    default:
      return false;
  }
}

}  // namespace kps::sim
