// The command line of kps-eval-cli: the input is its arguments, separated by
// NUL bytes. Every line is either something to run, a text to show, or an
// error with the usage to show under it; and what it runs is within range.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size && args.size() <= 64; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  if (size == 0) args.clear();
  const kps::cli::ParseResult parsed = kps::cli::ParseArguments(args);
  const int outcomes =
      (parsed.request ? 1 : 0) + (parsed.output.empty() ? 0 : 1) + (parsed.error.empty() ? 0 : 1);
  Require(outcomes == 1);
  Require(parsed.error.empty() == parsed.usage.empty());
  if (!args.empty()) kps::cli::CommandHelp(args.back());
  if (!parsed.request) return 0;

  using kps::cli::Command;
  const kps::cli::Request& r = *parsed.request;
  Require(r.address % 2 == 0);
  for (const auto& write : r.writes) Require(write.reg >= 0 && write.reg <= 0x0F);
  switch (r.command) {
    case Command::RegRead:
      Require(r.reg >= 0 && r.count >= 1 && r.reg + r.count <= 16);
      break;
    case Command::RegWrite:
      Require(r.reg >= 0 && !r.bytes.empty() && r.reg + static_cast<int>(r.bytes.size()) <= 16);
      break;
    case Command::Measure:
      Require(r.readings >= 1 && r.readings <= kps::cli::kMaxReadings);
      break;
    case Command::Collect: {
      const bool record = !r.recordPath.empty(), stream = !r.streamPath.empty();
      Require(record || stream);
      if (stream) {
        Require(r.samples >= 0 && r.samples <= kps::cli::kMaxStreamSamples);
      } else {
        Require(r.samples >= kps::cli::kMinSamples && r.samples <= kps::cli::kMaxSamples);
        Require(!r.durationSeconds);
      }
      if (record && r.samples != 0) Require(r.samples >= kps::cli::kMinSamples);
      Require(!r.append || record);
      Require(!(r.recordPath == kps::cli::kStandardOutput && r.streamPath == r.recordPath));
      if (r.durationSeconds) Require(*r.durationSeconds >= 1);
      break;
    }
    case Command::Sweep: {
      const kps::cli::SweepField& f = r.sweep;
      Require(f.reg >= 0 && f.reg <= 0x0F && f.mask != 0 && !f.values.empty());
      Require(r.samples >= 1 && r.samples <= kps::cli::kMaxReadings);
      Require(r.settle >= 0 && r.settle <= kps::cli::kMaxReadings);
      for (const kps::cli::SweepValue& v : f.values) {
        Require((v.bits & ~f.mask) == 0 && !v.name.empty());
        // A named field's value is a member of its control, which has at most eight.
        if (f.control != kps::cli::SweepControl::Register) Require(v.option >= 0 && v.option < 8);
      }
      break;
    }
    case Command::ScriptRun:
      Require(!r.scriptPath.empty() && r.loops >= 1 && r.loops <= kps::cli::kMaxLoops);
      Require(!r.append || !r.exportPath.empty());
      Require(!(r.exportPath == kps::cli::kStandardOutput && r.junitPath == r.exportPath));
      break;
    case Command::ScriptCheck:
      Require(!r.scriptPath.empty());
      break;
    case Command::Info:
    case Command::List:
    case Command::RegDump:
      break;
  }
  Require(!r.stats || r.command == Command::Measure || r.command == Command::Collect);
  if (r.intervalMs) Require(*r.intervalMs >= 0 && *r.intervalMs <= kps::cli::kMaxIntervalMs);
  return 0;
}
