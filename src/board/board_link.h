// The board link: the USB session with the evaluation board (attach, detach,
// check, abort, close), the four link lamps, and the transfer routines with
// the I2C frames built on them. One instance for the whole program.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/transport.h"
#include "core/controls.h"
#include "core/palette.h"
#include "core/toolkit.h"

namespace kps {

// The link lamps a window carries. The window that is the link's StatusForm
// has its lamps coloured by the transfers and the notifications.
struct LinkLamps {
  Lamp ShpAttach{"ShpAttach", "Attached"};
  Lamp Shp_USB_Transfer{"Shp_USB_Transfer", "Comm"};
  Lamp Shp_USB_Info{"Shp_USB_Info", "Info"};
};

// Handed back to both notifications; field order as the driver session keeps it.
struct AttachContext {
  uint32_t InterfaceNumber = 0;
  uint32_t AlternateSetting = 0;
  DeviceHandle Device = 0;
  uint32_t Reserved = 0;
  uint32_t SetInterfaceStatus = 0;
};

// The flags that coordinate long operations besides UsbBusy.
struct RunFlags {
  bool CollectRunning = false;  // the real-time collection runs while true
  bool AbortRequested = false;  // stop request of the script executor
};

inline constexpr uint32_t kTransferTimeoutMs = 1000;
inline constexpr int kRegisterCount = 16;

// What went wrong with an exchange with the board, if anything.
enum class LinkFault {
  None,
  NotAttached,      // no board: nothing was sent
  Transfer,         // a transfer failed (time-out, stall, no device ...)
  NotAcknowledged,  // the reply's status byte is not the one the frame calls for
  ShortReply,       // the reply holds fewer bytes than its caller uses
};

// How one exchange went. The board link decides it, in one place, for every
// caller: nothing else looks at a transfer's status or a reply's status byte
// and length to tell a reading from a failure.
struct LinkResult {
  LinkFault fault = LinkFault::None;
  uint32_t usbStatus = 0;    // of the transfer that failed (LinkFault::Transfer)
  bool inReply = false;      // that transfer was the read of the reply
  unsigned replyStatus = 0;  // the reply's first byte as it came
  uint32_t replyBytes = 0;   // what the reply held
  uint32_t wantedBytes = 0;  // what its caller uses
  uint8_t address = 0;       // the I2C address byte of the frame (0: a GPIO exchange)

  bool ok() const { return fault == LinkFault::None; }
  // In words, for a message: "the chip at address 88 did not acknowledge (reply status 00)".
  std::string Why() const;
};

// What a reply must hold to count: its first byte equal to `status` when the
// frame calls for one, and at least `bytes` bytes.
struct ReplyRule {
  std::optional<uint32_t> status;
  uint32_t bytes = 1;
};

class BoardLink : public TransportListener {
 public:
  BoardLink(Toolkit& toolkit, Transport& transport, const ColorTable& colors, RunFlags& flags,
            UsbMatch match);

  // The startup window's Init and Info lamps, which the session always colours there.
  void SetStartupLamps(Lamp* init, Lamp* info) {
    startupInit_ = init;
    startupInfo_ = info;
  }

  // Session (no arguments; they work on the state below).
  void USB_Init();
  void USB_CheckDevice();
  void USB_Abort();
  void USB_Close();
  bool DeviceAttach(DeviceHandle device) override;
  void DeviceDetach(DeviceHandle device) override;

  // The session frame around one register operation: with the session not
  // held, every operation checks the device first and aborts the session after.
  // A held session that a script row aborted is opened again here too.
  void FrameBegin();
  void FrameEnd();

  // Transfers of TransferLength bytes of TransferBuffer on TransferPipe; the
  // transfer's status (also left in LastUsbStatus until the next one).
  uint32_t USB_WriteTransfer();
  uint32_t USB_ReadTransfer();
  // Re-dimensions TransferBuffer to TransferLength bytes, all 0.
  void RedimBuffer(uint32_t length);

  // Sends `frame` on `pipe`, reads a reply of `replyLength` bytes from pipe +
  // 128 into TransferBuffer, and judges the two by `rule`. Any failure turns
  // the Comm lamp red.
  LinkResult Exchange(uint32_t pipe, std::span<const uint8_t> frame, uint32_t replyLength,
                      ReplyRule rule);

  // I2C frames on BoardPipe, replies on BoardPipe + 128. A register write
  // reads no reply, so only its transfer can be seen to fail.
  LinkResult I2C_WriteRegister(uint8_t reg, uint8_t value);
  LinkResult I2C_ReadRegisters(uint8_t reg, uint8_t count, uint32_t replyLength);

  // The bus interlock's queue: an operation that found UsbBusy set waits here
  // and runs when the holder lets the bus go (ReleaseBus), in the order queued.
  // RegOpsPending tells whether anything waits.
  void QueueUntilFree(std::function<void()> operation);
  // Clears UsbBusy and runs what waits, one after the other, while the bus
  // stays free.
  void ReleaseBus();
  // Forgets what waits (a console's load starts afresh).
  void DropQueued();

  // Sets I2CWriteAddress and, in the same step, I2CReadAddress = write + 1.
  void SetI2CAddress(uint8_t writeAddress);
  // An address a user typed into a box (hex, at most `highest`): set, and
  // true; otherwise the address in force stays and a message says why.
  bool SetTypedI2CAddress(const std::string& typed, uint8_t highest);

  // Processes pending events: USB notifications first, then the toolkit's.
  void DoEvents();
  // Delivers USB notifications only (the idle timer of the GUI calls this).
  void PollTransport() { transport_.Poll(); }

  Toolkit& toolkit() { return toolkit_; }
  const UsbMatch& match() const { return match_; }
  const Transport& transport() const { return transport_; }

  // Session state.
  DriverHandle hDriver = 0;
  DeviceHandle hDevice = 0;
  uint32_t LastUsbStatus = 0;
  std::optional<DeviceInfo> deviceInfo;  // the device information, while held
  bool DeviceAttached = false;
  bool DeviceDetached = false;
  bool UsbConnected = false;
  bool SessionHeld = false;
  int DetachCount = 0;  // detaches seen this run: a board that came back still went away
  LinkLamps* StatusForm = nullptr;
  AttachContext attachContext;

  // Transfer state.
  std::vector<uint8_t> TransferBuffer;
  uint32_t TransferPipe = 0;
  uint32_t TransferLength = 0;
  uint32_t BytesTransferred = 0;
  uint16_t BoardPipe = 0;
  uint8_t I2CWriteAddress = 0;
  uint8_t I2CReadAddress = 0;
  uint16_t ReadCount = 0;
  uint16_t ReplyStatus = 0;
  bool UsbBusy = false;
  bool RegOpsPending = false;  // something waits in the queue
  std::array<bool, kRegisterCount + 1> RegReadPending{};
  std::array<bool, kRegisterCount + 1> RegWritePending{};

 private:
  uint32_t Transfer(bool read, Lamp LinkLamps::*lamp);
  // hDevice from the attach, and its device information; false (Info red) when
  // the information cannot be read.
  bool TakeDevice();
  // DoEvents, with TransferBuffer, TransferPipe, TransferLength and
  // BytesTransferred as they were before it.
  void DoEventsKeepingTransfer();
  void ColorStatusLamp(Lamp LinkLamps::*lamp, double color);
  void ColorStartupInfo(double color);

  Toolkit& toolkit_;
  Transport& transport_;
  const ColorTable& colors_;
  RunFlags& flags_;
  UsbMatch match_;
  bool sessionAborted_ = false;      // USB_Abort ended the session; the next check reopens it
  bool accessMessageShown_ = false;  // the udev advice is given once a run
  bool inUseMessageShown_ = false;   // and the advice for a board in use
  Lamp* startupInit_ = nullptr;
  Lamp* startupInfo_ = nullptr;
  std::deque<std::function<void()>> queued_;
  bool serving_ = false;  // a queued operation runs
};

// The message a detach shows.
inline constexpr const char* kDetachMessage =
    "Device has been disconnected, reconnect and re-initialize all registers";

// Shown when the board is present but this user may not open it.
std::string AccessDeniedMessage(const UsbMatch& match);
// What to do about a board another program holds.
std::string InUseMessage(const UsbMatch& match);
// The udev rule that gives the logged-in user access to a board with these ids.
std::string UdevRuleLine(const UsbMatch& match);

}  // namespace kps
