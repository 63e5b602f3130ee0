// sweep: one field of a register set to each of its values in turn, as the
// console's control for it (or the register panel) sets it, with the
// statistics of the readings taken at each; the register gets its value back
// at the end.
#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>

#include "cli/cli_session.h"
#include "console/register_map.h"
#include "core/text.h"

namespace kps::cli {

namespace {

// The collection's loop time, which the console starts with.
constexpr int kDefaultSweepIntervalMs = 50;

// The console's control that sets a named field.
OptionGroup& ControlOf(ConsoleWindow& console, SweepControl control) {
  switch (control) {
    case SweepControl::AlsRange:
      return console.config.OptALSRange;
    case SweepControl::IrSleep:
      return console.config.OptIRSleep;
    case SweepControl::ProxDrive:
      return console.config.OptProxDr;
    case SweepControl::Mode:
    case SweepControl::Register:
      break;
  }
  return console.config.OptMMode;
}

// The text table: a value's line and the header above the lines.
std::string SweepTextLine(std::size_t width, const std::string& value, const std::string& n,
                          const std::array<std::string, 9>& figures, const std::string& tail) {
  char line[256];
  std::snprintf(line, sizeof line, "%-*s %6s %10s %8s %6s %12s %8s %6s %10s %8s %6s",
                static_cast<int>(width), value.c_str(), n.c_str(), figures[0].c_str(),
                figures[1].c_str(), figures[2].c_str(), figures[3].c_str(), figures[4].c_str(),
                figures[5].c_str(), figures[6].c_str(), figures[7].c_str(), figures[8].c_str());
  return line + tail;
}

}  // namespace

int Session::SetSweepValue(const SweepValue& value) {
  ConsoleWindow& console = app_.console;
  RegisterCaches& caches = app_.shared.caches;
  const SweepField& f = request_.sweep;
  const auto slot = static_cast<std::size_t>(f.reg);
  const std::string reg = HexByte(static_cast<unsigned>(f.reg));
  // The register as last read: only the field changes.
  const uint8_t held = caches.RegReadCache[slot];
  const auto wanted = static_cast<uint8_t>((held & ~f.mask) | value.bits);
  if (f.control == SweepControl::Register) {
    if (const int status = WriteAndReadBack(f.reg, wanted); status != kExitOk) return status;
  } else {
    // The control composes the register from the value the console last gave
    // it: that is the one the chip holds.
    caches.RegWriteCache[slot] = held;
    OptionGroup& control = ControlOf(console, f.control);
    control[value.option].setValue(true);
    control.onClick(value.option);
    if (const int status = Check("writing register " + reg, console.RegWriteResult[slot]);
        status != kExitOk) {
      return status;
    }
    console.cmdRDReg_Click(f.reg);
    if (const int status = Check("reading register " + reg + " back", console.RegReadResult[slot]);
        status != kExitOk) {
      return status;
    }
  }
  const uint8_t read = caches.RegReadCache[slot];
  if (f.reg == reg::kConf) FollowConf(read);
  if ((read & f.mask) == value.bits) return kExitOk;
  toolkit_.ShowMessage("register " + reg + " reads back " + HexByte(read) + " after " +
                           HexByte(wanted) + " was written: " + f.name +
                           " did not take the value " + value.name + ".",
                       MessageButtons::Ok);
  return kExitFailed;
}

int Session::Sweep() {
  ConsoleWindow& console = app_.console;
  const ConsoleShared& shared = app_.shared;
  BoardLink& board = app_.board;
  const SweepField& f = request_.sweep;
  const std::string reg = HexByte(static_cast<unsigned>(f.reg));

  if (const int status = ReadLuxRange(); status != kExitOk) return status;
  // What the register holds: each value goes into it, and it gets it back at the end.
  console.cmdRDReg_Click(f.reg);
  if (const int status =
          Check("reading register " + reg, console.RegReadResult[static_cast<std::size_t>(f.reg)]);
      status != kExitOk) {
    return status;
  }
  const uint8_t before = shared.caches.RegReadCache[static_cast<std::size_t>(f.reg)];

  const int interval = request_.intervalMs.value_or(kDefaultSweepIntervalMs);
  const bool text = request_.format == OutputFormat::Text;
  std::size_t width = std::max<std::size_t>(f.name.size(), 5);
  for (const SweepValue& v : f.values) width = std::max(width, v.name.size());
  if (text) {
    lines_ << SweepTextLine(
                  width, f.name, "n",
                  {"prox mean", "sd", "pp", "als_ir mean", "sd", "pp", "lux mean", "sd", "pp"}, "")
           << '\n';
  }

  const int perValue = request_.settle + request_.samples;
  Progress progress{0, static_cast<long long>(f.values.size()) * perValue, "readings", 0};
  int status = kExitOk;
  bool stop = false;
  for (const SweepValue& value : f.values) {
    if (stop || interrupted_) break;
    if (const int set = SetSweepValue(value); set != kExitOk) {
      status = std::max(status, set);
      break;
    }
    ReadingStats stats;
    int failed = 0;
    for (int n = 0; n < perValue && !stop; ++n) {
      const uint32_t start = app_.toolkit.Millis();
      SampleValues reading;
      if (TakeReading(reading)) {
        // The first readings after the change are the chip settling.
        if (n >= request_.settle) stats.Add(reading.prox, reading.alsIr, StatLux(reading.alsIr));
      } else {
        ++failed;
        ++progress.failed;
        const int why = Check("reading the data registers (" + f.name + " " + value.name + ")",
                              console.MeasureResult);
        status = std::max(status, why);
        // Without the board, or with a board that takes no transfer, no reading will come.
        stop = why == kExitNoBoard || !board.DeviceAttached;
      }
      ++progress.done;
      toolkit_.ShowProgress(progress);
      if (!stop && n + 1 < perValue && !WaitUntil(start, interval)) stop = true;
    }
    Record record = {{"kind", std::string("sweep")},
                     {"field", f.name},
                     {"value", value.name},
                     {"failed", static_cast<long long>(failed)}};
    AddStatsFields(record, stats);
    std::array<std::string, 9> figures;
    std::size_t k = 0;
    for (const StatQuantity& q : kStatQuantities) {
      for (const StatFigure figure : {StatFigure::Mean, StatFigure::Sd, StatFigure::Pp}) {
        figures[k++] = StatText(StatFigureValue(stats.*q.stats, figure));
      }
    }
    const std::string tail = failed ? "  " + std::to_string(failed) + " failed" : "";
    records_.Write(record, SweepTextLine(width, value.name, std::to_string(stats.prox.count()),
                                         figures, tail));
  }
  toolkit_.EndProgress();

  // The register gets back what it held, whatever ended the sweep; a board
  // that went away came back (if at all) with its power-on values.
  if (board.DetachCount == 0 && board.DeviceAttached) {
    const int restored = WriteAndReadBack(f.reg, before);
    if (restored == kExitOk) {
      if (f.reg == reg::kConf) FollowConf(before);
      notes_ << "Register " << reg << " set back to " << HexByte(before) << '\n';
    } else {
      toolkit_.ShowMessage("register " + reg + " could not be set back to " + HexByte(before) + ".",
                           MessageButtons::Ok);
      status = std::max(status, restored);
    }
  } else {
    toolkit_.ShowMessage(
        "register " + reg + " was not set back to " + HexByte(before) + ": the board went away.",
        MessageButtons::Ok);
  }
  if (interrupted_) status = std::max(status, static_cast<int>(kExitFailed));
  return status;
}

}  // namespace kps::cli
