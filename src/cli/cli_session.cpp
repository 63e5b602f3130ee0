// The commands other than scripts: info, registers, measurement and collection.
#include "cli/cli_session.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <system_error>

#include "acquisition/measurement_file.h"
#include "console/register_map.h"
#include "core/text.h"
#include "shell/about_box.h"
#include "shell/app_identity.h"

namespace kps::cli {

namespace {

constexpr int kDefaultMeasureIntervalMs = 100;
constexpr int kWaitSliceMs = 10;
// CONF bits the lux conversion follows.
constexpr uint8_t kConfWideRange = 0x02;  // 2000 lux instead of 125
constexpr uint8_t kConfIrMode = 0x01;

// A board that is not there or did not take a transfer is "no board"; a chip
// that did not answer as it should is a failed check.
int ExitStatusOf(const LinkResult& result) {
  if (result.ok()) return kExitOk;
  const bool board = result.fault == LinkFault::NotAttached || result.fault == LinkFault::Transfer;
  return board ? kExitNoBoard : kExitFailed;
}

}  // namespace

int Run(const Request& request, Transport& transport, ConsoleToolkit& toolkit, std::ostream& out,
        const std::string& usbLibraryVersion) {
  if (request.command == Command::ScriptCheck) return CheckScript(request, out, toolkit.err());
  if (request.command == Command::List) return ListBoards(request, transport, toolkit, out);
  if (const int status = CheckBoardChoice(request, transport, toolkit); status != kExitOk) {
    return status;
  }
  Session session(request, transport, toolkit, out);
  session.app().usbLibraryVersion = usbLibraryVersion;
  return session.Run();
}

Session::Session(const Request& request, Transport& transport, ConsoleToolkit& toolkit,
                 std::ostream& out)
    : request_(request),
      toolkit_(toolkit),
      out_(out),
      lines_(request.FileOnStandardOutput() ? toolkit.err() : out),
      notes_(request.format == OutputFormat::Text ? lines_ : toolkit.err()),
      records_(lines_, request.format),
      app_(toolkit, transport, ChosenMatch(request)) {}

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
      case Command::Sweep:
        status = Sweep();
        break;
      case Command::ScriptRun:
        status = Script();
        break;
      case Command::List:         // needs no session: Run() does it
      case Command::ScriptCheck:  // needs no board: Run() does it
        break;
    }
  }
  toolkit_.onEvents = nullptr;
  toolkit_.onInterrupt = nullptr;
  stop_ = nullptr;
  toolkit_.EndProgress();
  lines_.flush();
  // A board that went away during the command outranks what the command
  // found, even when it came back.
  if (app_.board.DetachCount > 0) status = kExitNoBoard;
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
    if (const int status = WriteAndReadBack(write.reg, write.value); status != kExitOk) {
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
    if (board.attachContext.SetInterfaceStatus == kUsbBusy) {
      why = "the evaluation board (USB id " + ids +
            ") is in use by another program: close it and try again";
    }
  } else {
    why = "the evaluation board (USB id " + ids + ") is not attached";
  }
  toolkit_.ShowMessage(why + ".", MessageButtons::Ok);
  return kExitNoBoard;
}

int Session::WriteAndReadBack(int i, uint8_t value) {
  ConsoleWindow& console = app_.console;
  const auto slot = static_cast<std::size_t>(i);
  const std::string reg = HexByte(static_cast<unsigned>(i));
  // The write box and Enter: written, then read back. The panel's write asks
  // for no reply, so a chip that is not there shows only in the read.
  console.regs.txtRegHex[i].setText(HexByte(value));
  console.txtRegHex_KeyPress(i, 13);
  if (const int status = Check("writing register " + reg, console.RegWriteResult[slot]);
      status != kExitOk) {
    return status;
  }
  return Check("reading register " + reg + " back", console.RegReadResult[slot]);
}

int Session::Check(const std::string& what, const LinkResult& result) {
  if (result.ok()) return kExitOk;
  toolkit_.ShowMessage(what + ": " + result.Why() + ".", MessageButtons::Ok);
  return ExitStatusOf(result);
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

namespace {

std::string NameOf(int i) {
  return i == reg::kId ? "ID" : RegisterName(i);
}

// A register as read (or read back): its value, or null when the read failed.
Record RegisterRecord(int i, const std::optional<uint8_t>& value, bool ok) {
  const auto number = [&]() -> FieldValue {
    return value ? FieldValue(static_cast<long long>(*value)) : nullptr;
  };
  return {{"reg", static_cast<long long>(i)},
          {"name", NameOf(i)},
          {"value", number()},
          {"hex", value ? FieldValue(Hex2(*value)) : nullptr},
          {"ok", ok}};
}

}  // namespace

std::optional<uint8_t> Session::RegisterRead(int i) const {
  if (!app_.console.RegReadResult[static_cast<std::size_t>(i)].ok()) return std::nullopt;
  return app_.shared.caches.RegReadCache[static_cast<std::size_t>(i)];
}

int Session::ReadRegisters(int first, int count, bool names) {
  ConsoleWindow& console = app_.console;
  for (int i = first; i < first + count; ++i) {
    const std::string reg = HexByte(static_cast<unsigned>(i));
    console.cmdRDReg_Click(i);
    const LinkResult& read = console.RegReadResult[static_cast<std::size_t>(i)];
    const std::optional<uint8_t> value = RegisterRead(i);
    std::string line = reg + ' ' + console.regs.txtRegRd[i].text();
    if (names) line += "  " + NameOf(i);
    if (value || request_.format != OutputFormat::Text) {
      records_.Write(RegisterRecord(i, value, value.has_value()), line);
    }
    if (const int status = Check("reading register " + reg, read); status != kExitOk) {
      return status;
    }
  }
  return kExitOk;
}

int Session::RegWrite() {
  ConsoleWindow& console = app_.console;
  int result = kExitOk;
  for (std::size_t k = 0; k < request_.bytes.size(); ++k) {
    const int i = request_.reg + static_cast<int>(k);
    const std::string reg = HexByte(static_cast<unsigned>(i));
    if (const int status = WriteAndReadBack(i, request_.bytes[k]); status != kExitOk) {
      return status;
    }
    const std::string& written = console.regs.txtRegHex[i].text();
    const std::string& read = console.regs.txtRegRd[i].text();
    records_.Write(RegisterRecord(i, RegisterRead(i), read == written), reg + ' ' + read);
    if (read != written) {
      toolkit_.ShowMessage(
          "register " + reg + " reads back " + read + " after " + written + " was written.",
          MessageButtons::Ok);
      result = kExitFailed;
    }
  }
  return result;
}

Record Session::InfoRecord(const std::optional<uint8_t>& chipId) const {
  const BoardLink& board = app_.board;
  const auto text = [](const std::string& value) -> FieldValue {
    return value.empty() ? FieldValue(nullptr) : FieldValue(value);
  };
  Record record = {{"program_version", std::string(kVersionText)},
                   {"transport", board.transport().Description()},
                   {"usb_library", text(app_.usbLibraryVersion)},
                   {"usb_id", UsbIdText(board.match())},
                   {"session_open", board.hDriver > 0},
                   {"attached", board.DeviceAttached},
                   {"info_obtained", board.UsbConnected},
                   {"held", board.SessionHeld}};
  const DeviceInfo none;
  const DeviceInfo& info = board.deviceInfo ? *board.deviceInfo : none;
  const bool known = board.deviceInfo.has_value();
  const auto number = [&](long long value) -> FieldValue {
    return known ? FieldValue(value) : nullptr;
  };
  char version[16];
  std::snprintf(version, sizeof version, "%x.%02x", info.deviceVersion >> 8,
                info.deviceVersion & 0xFF);
  record.insert(
      record.end(),
      {{"board_version", known ? FieldValue(std::string(version)) : nullptr},
       {"bus", number(info.busNumber)},
       {"address", number(info.deviceAddress)},
       {"maker", text(info.manufacturer)},
       {"product", text(info.product)},
       {"serial", text(info.serial)},
       {"usb_status", static_cast<long long>(board.LastUsbStatus)},
       {"i2c_address",
        board.I2CWriteAddress == 0 ? FieldValue(nullptr) : FieldValue(Hex2(board.I2CWriteAddress))},
       {"chip_id", chipId ? FieldValue(Hex2(*chipId)) : nullptr}});
  return record;
}

int Session::Info() {
  const bool text = request_.format == OutputFormat::Text;
  if (text) lines_ << SystemInfoReport(app_);
  int status = kExitNoBoard;
  std::optional<uint8_t> chipId;
  if (app_.console.loaded() && app_.board.DeviceAttached) {
    ConsoleWindow& console = app_.console;
    console.cmdReadID_Click();
    status = Check("reading the chip's ID", console.RegReadResult[reg::kId]);
    if (status == kExitOk) chipId = RegisterRead(reg::kId);
  }
  if (text) {
    if (chipId) lines_ << "Chip ID (register 00): " << app_.console.regs.lblID.caption() << '\n';
  } else {
    records_.Write(InfoRecord(chipId), "");
  }
  return status;
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

void Session::FollowConf(uint8_t conf) {
  const bool wide = (conf & kConfWideRange) != 0;
  app_.console.config.OptALSRange[wide ? 0 : 1].setValue(true);
  app_.shared.LuxRangeIndex = wide ? 0 : 1;
  irMode_ = (conf & kConfIrMode) != 0;
}

int Session::ReadLuxRange() {
  ConsoleWindow& console = app_.console;
  ConsoleShared& shared = app_.shared;
  // The lux conversion follows the range the chip is set to, whatever wrote it.
  console.cmdRDReg_Click(reg::kConf);
  if (const int status = Check("reading register 01", console.RegReadResult[reg::kConf]);
      status != kExitOk) {
    return status;
  }
  FollowConf(shared.caches.RegReadCache[reg::kConf]);
  shared.LuxSettleCount = 0;
  return kExitOk;
}

bool Session::TakeReading(SampleValues& reading) {
  ConsoleWindow& console = app_.console;
  const ConsoleShared& shared = app_.shared;
  reading.time = std::chrono::system_clock::now();
  console.MeasurementRead();
  reading.ok = console.MeasureResult.ok();
  if (!reading.ok) return false;
  // The console holds its lux for a while after a range change: none then.
  const bool luxHeld = shared.LuxSettleCount != 0;
  console.LuxReading();
  reading.prox = static_cast<int>(shared.ProxCount);
  reading.alsIr = static_cast<int>(shared.AlsIrCount);
  reading.lux = std::nullopt;
  if (!irMode_ && !luxHeld) reading.lux = LuxNumber(console.txtReading.text());
  return true;
}

std::optional<double> Session::StatLux(int alsIr) const {
  // The console's own conversion of the count, as its Statistics window
  // takes it: not the two decimals the reading shows.
  if (irMode_) return std::nullopt;
  return app_.console.LuxOfCount(alsIr);
}

void Session::WriteStats(RecordWriter& writer, const ReadingStats& stats) {
  if (writer.format() == OutputFormat::Text) {
    for (const StatQuantity& q : kStatQuantities) writer.Write({}, StatsTextLine(q, stats));
    return;
  }
  Record record = {{"kind", std::string("stats")}};
  AddStatsFields(record, stats);
  writer.Write(record, "");
}

int Session::Measure() {
  ConsoleWindow& console = app_.console;
  if (const int status = ReadLuxRange(); status != kExitOk) return status;

  const int interval = request_.intervalMs.value_or(kDefaultMeasureIntervalMs);
  if (request_.format == OutputFormat::Text) lines_ << "Reading   Prox  ALS/IR  Lux\n";
  ReadingStats stats;
  const auto done = [&](int status) {
    if (request_.stats) WriteStats(records_, stats);
    return status;
  };
  for (int n = 1; n <= request_.readings; ++n) {
    if (interrupted_) return done(kExitFailed);
    const uint32_t start = app_.toolkit.Millis();
    SampleValues reading;
    reading.sample = n - 1;
    if (!TakeReading(reading)) {
      // In a machine format the failed reading is a record of its own.
      if (request_.format != OutputFormat::Text) records_.Write(SampleRecord(reading), "");
      return done(Check("reading the data registers", console.MeasureResult));
    }
    stats.Add(reading.prox, reading.alsIr, StatLux(reading.alsIr));
    char line[64];
    std::snprintf(line, sizeof line, "%7d  %5d  %6d  ", n, reading.prox, reading.alsIr);
    records_.Write(SampleRecord(reading),
                   line + (irMode_ ? std::string("-") : console.txtReading.text()));
    if (n < request_.readings && !WaitUntil(start, interval)) return done(kExitFailed);
  }
  return done(kExitOk);
}

int Session::Collect() {
  if (!request_.streamPath.empty()) return Stream();
  ConsoleWindow& console = app_.console;
  ConsoleShared& shared = app_.shared;
  BoardLink& board = app_.board;
  RunFlags& flags = app_.flags;

  // Found out before the collection, not after it.
  TemporaryFile copy;
  if (!PrepareRecording(copy)) return kExitUsage;
  if (const int status = ReadLuxRange(); status != kExitOk) return status;
  if (interrupted_) return kExitFailed;
  if (request_.intervalMs) console.graph.txtInterval.setText(std::to_string(*request_.intervalMs));

  // In a machine format every reading is a record as well, as in a stream.
  const bool records = request_.format != OutputFormat::Text;
  const bool feeding = records || request_.stats;
  SampleFeed feed;
  ReadingStats stats;  // over the samples the file holds
  const auto write = [&](const SampleValues& values) {
    if (records) records_.Write(SampleRecord(values), SampleTextLine(values));
    if (values.ok && values.sample >= kFirstRecordedSample) {
      stats.Add(values.prox, values.alsIr, StatLux(values.alsIr));
    }
  };

  // Each pass has an event point with the bus free after its read, before
  // the storing of its sample. "Stop" clicked there ends the loop after that
  // pass: once it takes the last sample wanted, or once a reading failed
  // (which the console keeps out of the samples).
  const int target = request_.samples + kFirstRecordedSample;
  std::optional<LinkResult> failure;
  int failedReading = 0;  // its number among the collection's readings, from 1
  toolkit_.onEvents = [&] {
    if (feeding) FeedSamples(feed, write);
    // Seen even when the failure ended the collection (a board pulled out).
    if (!failure && shared.FailedReadings > 0) {
      failure = console.MeasureResult;
      failedReading = shared.SampleIndex + shared.FailedReadings;
    }
    toolkit_.ShowProgress(
        {std::clamp(shared.SampleIndex - kFirstRecordedSample, 0, request_.samples),
         request_.samples, "samples", shared.FailedReadings});
    if (!flags.CollectRunning || board.UsbBusy) return;
    if (failure || interrupted_ || shared.SampleIndex + 1 >= target) {
      console.graph.cmdStopData.Click();
    }
  };
  console.graph.cmdCollectData.Click();
  toolkit_.onEvents = nullptr;
  if (feeding) FeedSamples(feed, write);
  toolkit_.EndProgress();
  if (request_.stats) WriteStats(records_, stats);

  const bool done = WriteRecording(copy);
  if (failure) {
    toolkit_.ShowMessage("Collection stopped: reading " + std::to_string(failedReading) +
                             " failed and is not in the file: " + failure->Why() + ".",
                         MessageButtons::Ok);
  }
  if (board.DetachCount > 0 || !board.DeviceAttached) return kExitNoBoard;
  if (failure) return ExitStatusOf(*failure);
  // Too few samples after Ctrl-C is the early end, not a file problem.
  if (interrupted_) return kExitFailed;
  return done ? kExitOk : kExitUsage;
}

bool Session::PrepareRecording(TemporaryFile& copy) {
  const std::string& path = request_.recordPath;
  if (path.empty()) return true;
  ConsoleWindow& console = app_.console;
  // Found out before the collection, not after it.
  if (path == kStandardOutput) {
    // The standard output gets the file the console writes to a place of its own.
    if (const std::string why = copy.Make(); !why.empty()) {
      toolkit_.ShowMessage("Cannot make a temporary file for the measurement file: " + why + ".",
                           MessageButtons::Ok);
      return false;
    }
  } else if (!Writable(path, "measurement file")) {
    return false;
  }
  console.rec.txtFilePath.setText(path == kStandardOutput ? copy.path() : path);
  console.rec.chkAppend.setChecked(request_.append && path != kStandardOutput);
  return true;
}

bool Session::WriteRecording(const TemporaryFile& copy) {
  const std::string& path = request_.recordPath;
  if (path.empty()) return true;
  ConsoleWindow& console = app_.console;
  const int messagesBefore = toolkit_.messages();
  console.rec.cmdStartRec[0].Click();
  bool done = toolkit_.messages() == messagesBefore;
  if (done && path == kStandardOutput) done = CopyToStandardOutput(copy.path());
  if (done) {
    notes_ << TrimBlanks(console.graph.Label18.caption()) << " to "
           << (path == kStandardOutput ? std::string("the standard output") : path) << '\n';
  }
  return done;
}

void Session::FeedSamples(SampleFeed& feed, const std::function<void(const SampleValues&)>& write) {
  const ConsoleShared& shared = app_.shared;
  const auto now = std::chrono::system_clock::now();
  if (shared.SamplesTaken < feed.samplesSeen) feed.samplesSeen = 0;  // a collection restarted
  if (shared.FailedReadings < feed.failuresSeen) feed.failuresSeen = 0;
  for (; feed.samplesSeen < shared.SamplesTaken; ++feed.samplesSeen) {
    const int64_t back = shared.SamplesTaken - 1 - feed.samplesSeen;  // 0: the newest
    if (back >= shared.SampleIndex) continue;                         // no longer held
    const ConsoleShared::Sample sample = shared.NewestSample(static_cast<int>(back));
    SampleValues values;
    values.time = now;
    values.sample = feed.written++;
    values.prox = static_cast<int>(sample.prox);
    values.alsIr = static_cast<int>(sample.als);
    if (back == 0 && !irMode_) values.lux = LuxNumber(app_.console.txtReading.text());
    write(values);
  }
  for (; feed.failuresSeen < shared.FailedReadings; ++feed.failuresSeen) {
    SampleValues failed;
    failed.time = now;
    failed.sample = feed.written++;
    failed.ok = false;
    write(failed);
  }
}

TemporaryFile::~TemporaryFile() {
  if (!path_.empty()) std::remove(path_.c_str());
}

std::string TemporaryFile::Make() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) return error.message();
  std::string path = (folder / "kps-eval-cli-XXXXXX").string();
  const int fd = mkstemp(path.data());
  if (fd < 0) return std::strerror(errno);
  close(fd);
  path_ = path;
  return "";
}

bool Session::CopyToStandardOutput(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const bool opened = in.is_open();
  // An empty file copies nothing (and streaming an empty buffer would mark the output failed).
  if (opened && in.peek() != std::ifstream::traits_type::eof()) out_ << in.rdbuf();
  out_.flush();
  const bool copied = opened && !in.bad() && out_.good();
  if (!copied) {
    toolkit_.ShowMessage("Cannot copy \"" + path + "\" to the standard output.",
                         MessageButtons::Ok);
  }
  return copied;
}

}  // namespace kps::cli
