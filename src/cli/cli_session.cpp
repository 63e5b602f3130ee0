// The commands other than scripts: info, registers, measurement and collection.
#include "cli/cli_session.h"

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "acquisition/measurement_file.h"
#include "console/register_map.h"
#include "core/text.h"
#include "shell/about_box.h"

namespace kps::cli {

namespace {

constexpr int kDefaultMeasureIntervalMs = 100;
constexpr int kWaitSliceMs = 10;
// CONF bits the lux conversion follows.
constexpr uint8_t kConfWideRange = 0x02;  // 2000 lux instead of 125
constexpr uint8_t kConfIrMode = 0x01;

std::string UsbIdText(const UsbMatch& match) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", match.vendorId, match.productId);
  return ids;
}

}  // namespace

int Run(const Request& request, Transport& transport, ConsoleToolkit& toolkit, std::ostream& out,
        const std::string& usbLibraryVersion) {
  Session session(request, transport, toolkit, out);
  session.app().usbLibraryVersion = usbLibraryVersion;
  return session.Run();
}

Session::Session(const Request& request, Transport& transport, ConsoleToolkit& toolkit,
                 std::ostream& out)
    : request_(request),
      toolkit_(toolkit),
      out_(out),
      app_(toolkit, transport, request.board.match) {}

std::string Session::AddressText() const {
  return HexByte(app_.board.I2CWriteAddress);
}

int Session::Run() {
  toolkit_.onInterrupt = [this] {
    interrupted_ = true;
    if (stop_) stop_();
  };
  int status = Open();
  if (status == kExitOk || request_.command == Command::Info) {
    switch (request_.command) {
      case Command::Info: {
        const int info = Info();
        if (status == kExitOk) status = info;
        break;
      }
      case Command::RegRead:
        status = ReadRegisters(request_.reg, request_.count, false);
        break;
      case Command::RegDump:
        status = ReadRegisters(0, kRegCount, true);
        break;
      case Command::RegWrite:
        status = RegWrite();
        break;
      case Command::Measure:
        status = Measure();
        break;
      case Command::Collect:
        status = Collect();
        break;
      case Command::ScriptRun:
        status = Script();
        break;
    }
  }
  toolkit_.onEvents = nullptr;
  toolkit_.onInterrupt = nullptr;
  stop_ = nullptr;
  // A board that went away during the command outranks what the command found.
  if (app_.board.DeviceDetached) status = kExitNoBoard;
  out_.flush();
  // Closing the console closes the session and ends the program, as in the GUI.
  if (app_.console.loaded()) {
    app_.console.Unload();
  } else {
    app_.startup.Unload();
  }
  return status;
}

int Session::Open() {
  BoardLink& board = app_.board;
  app_.startup.Show();
  if (!board.DeviceAttached) return NoBoard();
  // The first address entry: the console opens with the session held.
  app_.startup.cboTypeSelect.setListIndex(1);
  if (!app_.console.loaded() || !board.DeviceAttached) return NoBoard();

  ConsoleWindow& console = app_.console;
  WatchReplies();
  if (request_.address != board.I2CWriteAddress) {
    console.txtI2CADR.setText(HexByte(request_.address));
    console.txtI2CADR_KeyPress(13);
  }
  for (const RegisterWrite& write : request_.writes) {
    console.regs.txtRegHex[write.reg].setText(HexByte(write.value));
    console.cmdWrtReg_Click(write.reg);
    const std::string reg = HexByte(static_cast<unsigned>(write.reg));
    if (const int status = BoardStatus("writing register " + reg); status != kExitOk) return status;
    // The panel's write asks for no reply: a chip that is not there shows
    // only when the register is read.
    ExpectReply();
    console.cmdRDReg_Click(write.reg);
    if (const int status = CheckReply("reading register " + reg + " back", 1); status != kExitOk) {
      return status;
    }
  }
  return kExitOk;
}

int Session::NoBoard() {
  const BoardLink& board = app_.board;
  const std::string ids = UsbIdText(board.match());
  std::string why;
  if (board.hDriver <= 0 && board.attachContext.SetInterfaceStatus == 0) {
    why = "the USB session could not be opened (" + board.transport().Description() +
          "): no board can be reached";
  } else if (board.attachContext.SetInterfaceStatus != 0) {
    why = "the evaluation board (USB id " + ids + ") is attached but cannot be opened: " +
          UsbStatusText(board.attachContext.SetInterfaceStatus);
    if (board.attachContext.SetInterfaceStatus == kUsbAccessDenied) {
      why += ". Install the udev rule given above";
    }
  } else {
    why = "the evaluation board (USB id " + ids + ") is not attached";
  }
  toolkit_.ShowMessage(why + ".", MessageButtons::Ok);
  return kExitNoBoard;
}

int Session::BoardStatus(const std::string& what) {
  const BoardLink& board = app_.board;
  if (!board.DeviceAttached || board.DeviceDetached) return kExitNoBoard;
  if (board.LastUsbStatus != 0) {
    toolkit_.ShowMessage(what + ": the board did not take the transfer (" +
                             UsbStatusText(board.LastUsbStatus) + ").",
                         MessageButtons::Ok);
    return kExitNoBoard;
  }
  return kExitOk;
}

void Session::WatchReplies() {
  auto take = [this] {
    const BoardLink& board = app_.board;
    reply_ = {true, board.LastUsbStatus,
              board.TransferBuffer.empty() ? 0u : board.TransferBuffer[0], board.BytesTransferred};
    ++replies_;
  };
  ConsoleWindow& console = app_.console;
  for (int i = 0; i < kRegCount; ++i) console.regs.ShpIndrd[i].Subscribe(take);
  console.meas.ShpMeas.Subscribe(take);
}

std::optional<Session::Fault> Session::ReplyFault(unsigned count) const {
  const BoardLink& board = app_.board;
  if (!board.DeviceAttached) return Fault{kExitNoBoard, "the board is not attached"};
  if (!reply_.seen) return Fault{kExitFailed, "no read was made"};
  if (reply_.usbStatus != 0) {
    return Fault{kExitNoBoard,
                 "the board did not take the transfer (" + UsbStatusText(reply_.usbStatus) + ")"};
  }
  if (reply_.status != count) {
    return Fault{kExitFailed, "the chip at address " + AddressText() +
                                  " did not acknowledge (reply status " + HexByte(reply_.status) +
                                  ")"};
  }
  if (reply_.bytes < count + 1) {
    return Fault{kExitFailed, "the reply was short: " + std::to_string(reply_.bytes) + " of " +
                                  std::to_string(count + 1) + " bytes"};
  }
  return std::nullopt;
}

int Session::CheckReply(const std::string& what, unsigned count) {
  const std::optional<Fault> fault = ReplyFault(count);
  if (!fault) return kExitOk;
  toolkit_.ShowMessage(what + ": " + fault->why + ".", MessageButtons::Ok);
  return fault->status;
}

bool Session::Writable(const std::string& path, const std::string& what) {
  std::error_code error;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::string why;
  if (!parent.empty() && !std::filesystem::is_directory(parent, error)) {
    why = "the folder \"" + parent.string() + "\" does not exist";
  } else if (std::filesystem::is_directory(path, error)) {
    why = "it is a folder";
  }
  if (why.empty()) return true;
  toolkit_.ShowMessage("Cannot write the " + what + " \"" + path + "\": " + why + ".",
                       MessageButtons::Ok);
  return false;
}

int Session::ReadRegisters(int first, int count, bool names) {
  ConsoleWindow& console = app_.console;
  for (int i = first; i < first + count; ++i) {
    const std::string reg = HexByte(static_cast<unsigned>(i));
    ExpectReply();
    console.cmdRDReg_Click(i);
    if (const int status = CheckReply("reading register " + reg, 1); status != kExitOk) {
      return status;
    }
    out_ << reg << ' ' << console.regs.txtRegRd[i].text();
    if (names) out_ << "  " << (i == reg::kId ? "ID" : RegisterName(i));
    out_ << '\n';
  }
  return kExitOk;
}

int Session::RegWrite() {
  ConsoleWindow& console = app_.console;
  int result = kExitOk;
  for (std::size_t k = 0; k < request_.bytes.size(); ++k) {
    const int i = request_.reg + static_cast<int>(k);
    const std::string reg = HexByte(static_cast<unsigned>(i));
    // The write box and Enter: written, then read back.
    console.regs.txtRegHex[i].setText(HexByte(request_.bytes[k]));
    ExpectReply();
    console.txtRegHex_KeyPress(i, 13);
    if (const int status = BoardStatus("writing register " + reg); status != kExitOk) {
      return status;
    }
    if (const int status = CheckReply("reading register " + reg + " back", 1); status != kExitOk) {
      return status;
    }
    const std::string& written = console.regs.txtRegHex[i].text();
    const std::string& read = console.regs.txtRegRd[i].text();
    out_ << reg << ' ' << read << '\n';
    if (read != written) {
      toolkit_.ShowMessage(
          "register " + reg + " reads back " + read + " after " + written + " was written.",
          MessageButtons::Ok);
      result = kExitFailed;
    }
  }
  return result;
}

int Session::Info() {
  out_ << SystemInfoReport(app_);
  if (!app_.console.loaded() || !app_.board.DeviceAttached) return kExitNoBoard;
  ConsoleWindow& console = app_.console;
  ExpectReply();
  console.cmdReadID_Click();
  if (const int status = CheckReply("reading the chip's ID", 1); status != kExitOk) return status;
  out_ << "Chip ID (register 00): " << console.regs.lblID.caption() << '\n';
  return kExitOk;
}

bool Session::WaitUntil(uint32_t start, int milliseconds) {
  Toolkit& toolkit = app_.toolkit;
  for (;;) {
    app_.board.DoEvents();
    if (interrupted_) return false;
    const auto elapsed = static_cast<int32_t>(toolkit.Millis() - start);
    if (elapsed >= milliseconds) return true;
    toolkit.Sleep(std::min(milliseconds - elapsed, kWaitSliceMs));
  }
}

int Session::ReadLuxRange() {
  ConsoleWindow& console = app_.console;
  ConsoleShared& shared = app_.shared;
  // The lux conversion follows the range the chip is set to, whatever wrote it.
  ExpectReply();
  console.cmdRDReg_Click(reg::kConf);
  if (const int status = CheckReply("reading register 01", 1); status != kExitOk) return status;
  const uint8_t conf = shared.caches.RegReadCache[reg::kConf];
  const bool wide = (conf & kConfWideRange) != 0;
  console.config.OptALSRange[wide ? 0 : 1].setValue(true);
  shared.LuxRangeIndex = wide ? 0 : 1;
  shared.LuxSettleCount = 0;
  irMode_ = (conf & kConfIrMode) != 0;
  return kExitOk;
}

int Session::Measure() {
  ConsoleWindow& console = app_.console;
  ConsoleShared& shared = app_.shared;
  if (const int status = ReadLuxRange(); status != kExitOk) return status;

  const int interval = request_.intervalMs.value_or(kDefaultMeasureIntervalMs);
  out_ << "Reading   Prox  ALS/IR  Lux\n";
  for (int n = 1; n <= request_.readings; ++n) {
    if (interrupted_) return kExitFailed;
    const uint32_t start = app_.toolkit.Millis();
    ExpectReply();
    console.MeasurementRead();
    if (const int status = CheckReply("reading the data registers", 3); status != kExitOk) {
      return status;
    }
    console.LuxReading();
    char line[64];
    std::snprintf(line, sizeof line, "%7d  %5d  %6d  ", n, static_cast<int>(shared.ProxCount),
                  static_cast<int>(shared.AlsIrCount));
    out_ << line << (irMode_ ? std::string("-") : console.txtReading.text()) << '\n';
    out_.flush();
    if (n < request_.readings && !WaitUntil(start, interval)) return kExitFailed;
  }
  return kExitOk;
}

int Session::Collect() {
  ConsoleWindow& console = app_.console;
  ConsoleShared& shared = app_.shared;
  BoardLink& board = app_.board;
  RunFlags& flags = app_.flags;
  const std::string& path = request_.recordPath;

  // Found out before the collection, not after it.
  if (!Writable(path, "measurement file")) return kExitUsage;
  if (const int status = ReadLuxRange(); status != kExitOk) return status;
  if (interrupted_) return kExitFailed;

  if (request_.intervalMs) console.graph.txtInterval.setText(std::to_string(*request_.intervalMs));
  console.rec.txtFilePath.setText(path);
  console.rec.chkAppend.setChecked(request_.append);

  // Each pass has an event point with the bus free between its read and the
  // storing of its sample. "Stop" clicked there ends the loop after that
  // pass: once it takes the last sample wanted, or its read failed (that
  // sample is then the last one in the file).
  const int target = request_.samples + kFirstRecordedSample;
  int checked = replies_;
  std::optional<Fault> fault;
  int faultySlot = -1;
  toolkit_.onEvents = [&] {
    if (!flags.CollectRunning || board.UsbBusy) return;
    if (replies_ != checked) {
      checked = replies_;
      if (!fault && (fault = ReplyFault(3))) faultySlot = shared.SampleIndex;
    }
    if (fault || interrupted_ || shared.SampleIndex + 1 >= target) {
      console.graph.cmdStopData.Click();
    }
  };
  console.graph.cmdCollectData.Click();
  toolkit_.onEvents = nullptr;

  const int messagesBefore = toolkit_.messages();
  console.rec.cmdStartRec[0].Click();
  const bool written = toolkit_.messages() == messagesBefore;
  if (written) out_ << TrimBlanks(console.graph.Label18.caption()) << " to " << path << '\n';
  if (fault) {
    std::string where = "a reading of the collection";
    if (written && faultySlot >= kFirstRecordedSample) {
      where = "measurement " + std::to_string(faultySlot - kFirstRecordedSample) +
              ", the last in the file,";
    }
    toolkit_.ShowMessage("Collection stopped: " + where + " is no reading: " + fault->why + ".",
                         MessageButtons::Ok);
  }
  if (board.DeviceDetached || !board.DeviceAttached) return kExitNoBoard;
  if (fault) return fault->status;
  // Too few samples after Ctrl-C is the early end, not a file problem.
  if (interrupted_) return kExitFailed;
  return written ? kExitOk : kExitUsage;
}

}  // namespace kps::cli
