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

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string::npos ? ""
                                    : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

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
  toolkit_.onInterrupt = [this] { interrupted_ = true; };
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
  if (request_.address != board.I2CWriteAddress) {
    console.txtI2CADR.setText(HexByte(request_.address));
    console.txtI2CADR_KeyPress(13);
  }
  for (const RegisterWrite& write : request_.writes) {
    console.regs.txtRegHex[write.reg].setText(HexByte(write.value));
    console.cmdWrtReg_Click(write.reg);
    const int status = BoardStatus("writing register " + HexByte(static_cast<unsigned>(write.reg)));
    if (status != kExitOk) return status;
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

bool Session::Acknowledged(const std::string& what, unsigned status, unsigned expected) {
  if (status == expected) return true;
  toolkit_.ShowMessage(what + ": the chip at address " + AddressText() +
                           " did not acknowledge (reply status " + HexByte(status) + ").",
                       MessageButtons::Ok);
  return false;
}

bool Session::RegisterAcknowledged(const std::string& what) {
  // The panel keeps the status of its last read; a GPIO exchange after it
  // (the flag lamps of INTR) reuses the transfer buffer.
  return Acknowledged(what, app_.board.ReplyStatus, 1);
}

int Session::ReadRegisters(int first, int count, bool names) {
  ConsoleWindow& console = app_.console;
  for (int i = first; i < first + count; ++i) {
    const std::string reg = HexByte(static_cast<unsigned>(i));
    console.cmdRDReg_Click(i);
    if (const int status = BoardStatus("reading register " + reg); status != kExitOk) {
      return status;
    }
    if (!RegisterAcknowledged("reading register " + reg)) return kExitFailed;
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
    console.txtRegHex_KeyPress(i, 13);
    if (const int status = BoardStatus("writing register " + reg); status != kExitOk) {
      return status;
    }
    if (!RegisterAcknowledged("reading register " + reg + " back")) return kExitFailed;
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
  console.cmdReadID_Click();
  if (const int status = BoardStatus("reading the chip's ID"); status != kExitOk) return status;
  if (!RegisterAcknowledged("reading the chip's ID")) return kExitFailed;
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

int Session::Measure() {
  ConsoleWindow& console = app_.console;
  ConsoleShared& shared = app_.shared;
  BoardLink& board = app_.board;

  // The lux conversion follows the range the chip is set to, whatever wrote it.
  console.cmdRDReg_Click(reg::kConf);
  if (const int status = BoardStatus("reading register 01"); status != kExitOk) return status;
  if (!RegisterAcknowledged("reading register 01")) return kExitFailed;
  const uint8_t conf = shared.caches.RegReadCache[reg::kConf];
  const bool wide = (conf & kConfWideRange) != 0;
  console.config.OptALSRange[wide ? 0 : 1].setValue(true);
  shared.LuxRangeIndex = wide ? 0 : 1;
  shared.LuxSettleCount = 0;
  const bool irMode = (conf & kConfIrMode) != 0;

  const int interval = request_.intervalMs.value_or(kDefaultMeasureIntervalMs);
  out_ << "Reading   Prox  ALS/IR  Lux\n";
  for (int n = 1; n <= request_.readings; ++n) {
    const uint32_t start = app_.toolkit.Millis();
    const bool read = console.MeasurementRead();
    if (const int status = BoardStatus("reading the data registers"); status != kExitOk) {
      return status;
    }
    if (!read) return kExitNoBoard;
    const auto& reply = board.TransferBuffer;
    if (!Acknowledged("reading the data registers", reply.empty() ? 0u : reply[0], 3)) {
      return kExitFailed;
    }
    console.LuxReading();
    char line[64];
    std::snprintf(line, sizeof line, "%7d  %5d  %6d  ", n, static_cast<int>(shared.ProxCount),
                  static_cast<int>(shared.AlsIrCount));
    out_ << line << (irMode ? std::string("-") : console.txtReading.text()) << '\n';
    out_.flush();
    if (interrupted_) return kExitFailed;
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

  // A file that cannot be written is found out before the collection, not after it.
  std::error_code error;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty() && !std::filesystem::is_directory(parent, error)) {
    toolkit_.ShowMessage("Cannot write the measurement file \"" + path + "\": the folder \"" +
                             parent.string() + "\" does not exist.",
                         MessageButtons::Ok);
    return kExitUsage;
  }
  if (std::filesystem::is_directory(path, error)) {
    toolkit_.ShowMessage("Cannot write the measurement file \"" + path + "\": it is a folder.",
                         MessageButtons::Ok);
    return kExitUsage;
  }

  if (request_.intervalMs) console.graph.txtInterval.setText(std::to_string(*request_.intervalMs));
  console.rec.txtFilePath.setText(path);
  console.rec.chkAppend.setChecked(request_.append);

  // "Stop" is clicked at the event point with the bus free in the pass that
  // takes the last sample wanted; that pass completes and the loop ends.
  const int target = request_.samples + kFirstRecordedSample;
  toolkit_.onEvents = [&] {
    if (flags.CollectRunning && !board.UsbBusy &&
        (interrupted_ || shared.SampleIndex + 1 >= target)) {
      console.graph.cmdStopData.Click();
    }
  };
  console.graph.cmdCollectData.Click();
  toolkit_.onEvents = nullptr;

  const int messagesBefore = toolkit_.messages();
  console.rec.cmdStartRec[0].Click();
  const bool written = toolkit_.messages() == messagesBefore;
  if (written) out_ << Trim(console.graph.Label18.caption()) << " to " << path << '\n';
  if (board.DeviceDetached || !board.DeviceAttached) return kExitNoBoard;
  // Too few samples after Ctrl-C is the early end, not a file problem.
  if (interrupted_) return kExitFailed;
  return written ? kExitOk : kExitUsage;
}

}  // namespace kps::cli
