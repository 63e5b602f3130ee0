#include "board/board_link.h"

#include <algorithm>
#include <cstdio>

#include "core/text.h"

namespace kps {

namespace {

constexpr int kAttachWaitPasses = 10000;

}  // namespace

std::string LinkResult::Why() const {
  switch (fault) {
    case LinkFault::None:
      return "";
    case LinkFault::NotAttached:
      return "the board is not attached";
    case LinkFault::Transfer:
      return std::string(inReply ? "no reply came" : "the board did not take the transfer") + " (" +
             UsbStatusText(usbStatus) + ")";
    case LinkFault::NotAcknowledged:
      return "the chip at address " + HexByte(address & 0xFEu) +
             " did not acknowledge (reply status " + HexByte(replyStatus) + ")";
    case LinkFault::ShortReply:
      return "the reply was short: " + std::to_string(replyBytes) + " of " +
             std::to_string(wantedBytes) + " bytes";
  }
  return "";
}

std::string UdevRuleLine(const UsbMatch& match) {
  char line[160];
  std::snprintf(line, sizeof line,
                "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTRS{idVendor}==\"%04x\", "
                "ATTRS{idProduct}==\"%04x\", TAG+=\"uaccess\"",
                match.vendorId, match.productId);
  return line;
}

std::string AccessDeniedMessage(const UsbMatch& match) {
  return "The evaluation board (USB id " + UsbIdText(match) +
         ") is plugged in, but this user may not open it: the udev rule that gives access to "
         "the board is not installed.\n\n"
         "Create the file /etc/udev/rules.d/60-kps-eval.rules with this line:\n  " +
         UdevRuleLine(match) +
         "\n(the sources ship it as contrib/60-kps-eval.rules, and cmake --install installs it), "
         "then run\n  sudo udevadm control --reload-rules && sudo udevadm trigger\n"
         "and unplug the board and plug it in again.";
}

std::string InUseMessage(const UsbMatch& match) {
  return "The evaluation board (USB id " + UsbIdText(match) +
         ") is plugged in, but it is in use by another program (perhaps a second kps-eval or "
         "kps-eval-cli): only one program at a time can use the board.\n\n"
         "Close the other program, then unplug the board and plug it in again.";
}

BoardLink::BoardLink(Toolkit& toolkit, Transport& transport, const ColorTable& colors,
                     RunFlags& flags, UsbMatch match)
    : toolkit_(toolkit), transport_(transport), colors_(colors), flags_(flags), match_(match) {}

void BoardLink::DoEvents() {
  transport_.Poll();
  toolkit_.ProcessEvents();
}

void BoardLink::ColorStatusLamp(Lamp LinkLamps::*lamp, double color) {
  if (StatusForm != nullptr) (StatusForm->*lamp).setFillColor(color);
}

void BoardLink::ColorStartupInfo(double color) {
  if (startupInfo_ != nullptr) startupInfo_->setFillColor(color);
}

void BoardLink::USB_Init() {
  attachContext.InterfaceNumber = 0;
  attachContext.AlternateSetting = 0;
  sessionAborted_ = false;
  LastUsbStatus = transport_.Init(match_, this, &hDriver);
  if (startupInit_ != nullptr) {
    startupInit_->setFillColor(LastUsbStatus != 0 ? colors_.ColorRed : colors_.ColorGreen);
  }
}

bool BoardLink::DeviceAttach(DeviceHandle device) {
  DeviceAttached = false;
  ColorStatusLamp(&LinkLamps::ShpAttach, colors_.ColorRed);
  ColorStatusLamp(&LinkLamps::Shp_USB_Transfer, colors_.ColorBlack);
  ColorStartupInfo(colors_.ColorBlack);

  attachContext.Device = device;
  attachContext.SetInterfaceStatus = transport_.SetInterface(device, attachContext.InterfaceNumber,
                                                             attachContext.AlternateSetting);
  if (attachContext.SetInterfaceStatus != 0) {
    const bool denied = attachContext.SetInterfaceStatus == kUsbAccessDenied;
    attachContext.Device = 0;
    DeviceAttached = false;
    // A red lamp alone does not tell the user what to do about permissions.
    if (denied && !accessMessageShown_) {
      accessMessageShown_ = true;
      toolkit_.ShowMessage(AccessDeniedMessage(match_), MessageButtons::Ok);
    }
    if (attachContext.SetInterfaceStatus == kUsbBusy && !inUseMessageShown_) {
      inUseMessageShown_ = true;
      toolkit_.ShowMessage(InUseMessage(match_), MessageButtons::Ok);
    }
    return false;
  }
  DeviceDetached = false;
  DeviceAttached = true;
  ColorStatusLamp(&LinkLamps::ShpAttach, colors_.ColorGreen);
  ColorStatusLamp(&LinkLamps::Shp_USB_Transfer, colors_.ColorBlack);
  // With the session held no operation checks the device any more, so a
  // board that comes back (unplugged and plugged in again) would never be
  // used: take it up now, as the check would.
  if (SessionHeld && TakeDevice()) UsbConnected = true;
  DoEvents();
  return true;
}

void BoardLink::DeviceDetach(DeviceHandle /*device*/) {
  DeviceAttached = false;
  DeviceDetached = true;
  UsbConnected = false;
  flags_.CollectRunning = false;
  ColorStatusLamp(&LinkLamps::ShpAttach, colors_.ColorRed);
  ColorStatusLamp(&LinkLamps::Shp_USB_Transfer, colors_.ColorBlack);
  ColorStartupInfo(colors_.ColorBlack);
  attachContext.Device = 0;
  deviceInfo.reset();  // it described the board that has gone
  ++DetachCount;
  toolkit_.ShowMessage(kDetachMessage, MessageButtons::Ok);
  DoEvents();
}

void BoardLink::USB_CheckDevice() {
  // After USB_Abort nothing would open a session again, and every later
  // operation would fail without a word; open a new one here. The old
  // device handle died with the old session, so wait for a fresh attach.
  if (sessionAborted_) {
    DeviceAttached = false;
    attachContext.Device = 0;
    USB_Init();
  }

  UsbConnected = false;
  ColorStatusLamp(&LinkLamps::ShpAttach, colors_.ColorRed);
  for (int i = 1; i <= kAttachWaitPasses; ++i) {
    DoEvents();
    if (DeviceAttached) {
      ColorStatusLamp(&LinkLamps::ShpAttach, colors_.ColorGreen);
      break;
    }
  }

  if (!TakeDevice()) return;
  DoEvents();
  UsbConnected = true;
  DoEvents();
}

bool BoardLink::TakeDevice() {
  hDevice = attachContext.Device;
  DeviceInfo info;
  LastUsbStatus = transport_.GetDeviceInfo(hDevice, &info);
  if (LastUsbStatus != 0) {
    deviceInfo.reset();
    ColorStartupInfo(colors_.ColorRed);
    return false;
  }
  deviceInfo = info;
  ColorStartupInfo(colors_.ColorGreen);
  return true;
}

void BoardLink::USB_Abort() {
  if (hDriver < 1) return;
  transport_.ResetDevice(hDevice);
  transport_.Uninit(hDriver);
  hDriver = 0;
  sessionAborted_ = true;
  toolkit_.Sleep(100);
  DoEvents();
  UsbConnected = false;
  DoEvents();
  DoEvents();
}

void BoardLink::USB_Close() {
  uint32_t status = 0;
  for (uint32_t pipe = 1; pipe <= 3; ++pipe)
    status = transport_.ResetPipe(attachContext.Device, pipe);
  if (status != 0) return;
  if (deviceInfo) deviceInfo.reset();
  if (hDriver > 0) {
    transport_.Uninit(hDriver);
    hDriver = 0;
  }
}

void BoardLink::FrameBegin() {
  // A script row aborts the session after it runs alone, held or not; the
  // console, which holds it, would otherwise go on with a dead handle.
  if (SessionHeld && !sessionAborted_) return;
  USB_CheckDevice();
  DoEvents();
}

void BoardLink::FrameEnd() {
  if (SessionHeld) return;
  USB_Abort();
  DoEvents();
}

void BoardLink::RedimBuffer(uint32_t length) {
  TransferBuffer.assign(length, 0);
}

void BoardLink::DoEventsKeepingTransfer() {
  // A handler that runs here may make transfers of its own (an LED test, a pin
  // sample). The frame about to go out, or the reply just read, must survive it.
  // Frames and replies are short: they wait on the stack, so that a
  // transfer allocates nothing.
  std::array<uint8_t, 64> shortCopy;
  std::vector<uint8_t> longCopy;
  const std::size_t size = TransferBuffer.size();
  if (size <= shortCopy.size()) {
    std::copy_n(TransferBuffer.begin(), size, shortCopy.begin());
  } else {
    longCopy = TransferBuffer;
  }
  const uint32_t pipe = TransferPipe;
  const uint32_t length = TransferLength;
  const uint32_t transferred = BytesTransferred;
  DoEvents();
  if (size <= shortCopy.size()) {
    TransferBuffer.assign(shortCopy.begin(), shortCopy.begin() + static_cast<std::ptrdiff_t>(size));
  } else {
    TransferBuffer = longCopy;
  }
  TransferPipe = pipe;
  TransferLength = length;
  BytesTransferred = transferred;
}

uint32_t BoardLink::Transfer(bool read, Lamp LinkLamps::*lamp) {
  DoEventsKeepingTransfer();
  // The buffer is sized to TransferLength before every transfer; never let a
  // caller's mistake make the transport write past it.
  if (TransferBuffer.size() < TransferLength) TransferBuffer.resize(TransferLength, 0);
  const uint32_t status =
      transport_.Transfer(hDevice, TransferPipe, read, TransferBuffer.data(), TransferLength,
                          &BytesTransferred, kTransferTimeoutMs);
  LastUsbStatus = status;
  ColorStatusLamp(lamp, status == 0 ? colors_.ColorGreen : colors_.ColorRed);
  // A transfer made by a handler that runs here changes LastUsbStatus, but
  // not what this one returns.
  DoEventsKeepingTransfer();
  return status;
}

uint32_t BoardLink::USB_WriteTransfer() {
  return Transfer(false, &LinkLamps::ShpAttach);
}
uint32_t BoardLink::USB_ReadTransfer() {
  return Transfer(true, &LinkLamps::Shp_USB_Transfer);
}

LinkResult BoardLink::Exchange(uint32_t pipe, std::span<const uint8_t> frame, uint32_t replyLength,
                               ReplyRule rule) {
  LinkResult result;
  result.wantedBytes = rule.bytes;
  if (pipe == kI2cOutPipe && frame.size() > 1) result.address = frame[1];

  TransferPipe = pipe;
  TransferLength = static_cast<uint32_t>(frame.size());
  TransferBuffer.assign(frame.begin(), frame.end());
  const uint32_t sent = USB_WriteTransfer();

  // The reply is read even after a failed frame, so that its lamp shows the
  // link as it is; the exchange has failed anyway.
  TransferPipe = pipe + 128u;
  TransferLength = replyLength;
  RedimBuffer(TransferLength);
  const uint32_t received = USB_ReadTransfer();
  result.replyBytes = received == 0 ? std::min(BytesTransferred, replyLength) : 0;
  result.replyStatus = TransferBuffer.empty() ? 0u : TransferBuffer[0];

  if (sent != 0 || received != 0) {
    result.fault = LinkFault::Transfer;
    result.usbStatus = sent != 0 ? sent : received;
    result.inReply = sent == 0;
  } else if (rule.status && result.replyBytes >= 1 && result.replyStatus != *rule.status) {
    result.fault = LinkFault::NotAcknowledged;
  } else if (result.replyBytes < rule.bytes) {
    result.fault = LinkFault::ShortReply;
  }
  if (!result.ok()) ColorStatusLamp(&LinkLamps::Shp_USB_Transfer, colors_.ColorRed);
  return result;
}

LinkResult BoardLink::I2C_WriteRegister(uint8_t reg, uint8_t value) {
  TransferPipe = BoardPipe;
  TransferLength = 4;
  RedimBuffer(TransferLength);
  TransferBuffer[0] = 0x00;
  TransferBuffer[1] = I2CWriteAddress;
  TransferBuffer[2] = reg;
  TransferBuffer[3] = value;
  LinkResult result;
  result.address = I2CWriteAddress;
  if (const uint32_t status = USB_WriteTransfer(); status != 0) {
    result.fault = LinkFault::Transfer;
    result.usbStatus = status;
  }
  return result;
}

LinkResult BoardLink::I2C_ReadRegisters(uint8_t reg, uint8_t count, uint32_t replyLength) {
  ReadCount = count;
  const std::array<uint8_t, 3> frame{count, I2CReadAddress, reg};
  return Exchange(BoardPipe, frame, replyLength, ReplyRule{count, count + 1u});
}

void BoardLink::QueueUntilFree(std::function<void()> operation) {
  queued_.push_back(std::move(operation));
  RegOpsPending = true;
}

void BoardLink::ReleaseBus() {
  UsbBusy = false;
  // One operation after the other, each to its end: an operation that is
  // several reads (the threshold read) lets the bus go between them, and what
  // waits behind it must not run in the middle.
  if (serving_) return;
  serving_ = true;
  while (!UsbBusy && !queued_.empty()) {
    const std::function<void()> operation = std::move(queued_.front());
    queued_.pop_front();
    RegOpsPending = !queued_.empty();
    operation();
  }
  serving_ = false;
}

void BoardLink::DropQueued() {
  queued_.clear();
  RegOpsPending = false;
  RegReadPending.fill(false);
  RegWritePending.fill(false);
}

void BoardLink::SetI2CAddress(uint8_t writeAddress) {
  I2CWriteAddress = writeAddress;
  I2CReadAddress = static_cast<uint8_t>(writeAddress + 1);
}

bool BoardLink::SetTypedI2CAddress(const std::string& typed, uint8_t highest) {
  if (const std::optional<unsigned> value = ParseHex(typed, highest)) {
    SetI2CAddress(static_cast<uint8_t>(*value));
    return true;
  }
  toolkit_.ShowMessage("\"" + typed + "\" is not an I2C address: type two hex digits, 00 to " +
                           HexByte(highest) + ". The address stays " + HexByte(I2CWriteAddress) +
                           ".",
                       MessageButtons::Ok);
  return false;
}

}  // namespace kps
