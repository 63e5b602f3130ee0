// The command line of kps-eval-cli: the board options it shares with
// kps-eval, its own global options, one command and the command's options,
// and the help texts of each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/records.h"
#include "shell/command_line.h"

namespace kps::cli {

// The exit statuses.
enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,   // a failed comparison or check, or a run that ended early
  kExitUsage = 2,    // bad usage, or a file that cannot be read or written
  kExitNoBoard = 3,  // the board is not available, or went away
};

enum class Command {
  Info,
  List,
  RegRead,
  RegWrite,
  RegDump,
  Measure,
  Collect,
  Sweep,
  ScriptRun,
  ScriptCheck
};

// The file name that stands for the standard output (--record, --export,
// --stream, --junit). When a file goes there, the lines the command prints
// otherwise go to the standard error.
inline constexpr const char* kStandardOutput = "-";

struct RegisterWrite {
  int reg;
  uint8_t value;
};

// Largest and smallest values the commands take.
inline constexpr int kMinSamples = 9;    // a recording needs at least this many
inline constexpr int kMaxSamples = 999;  // what the collection's history holds
inline constexpr int kMaxIntervalMs = 60000;
inline constexpr int kMaxReadings = 1000000;
inline constexpr int kMaxLoops = 1000000;
inline constexpr int kMaxStreamSamples = 1000000000;  // a stream has no limit of its own
inline constexpr int kMaxDurationSeconds = 31 * 24 * 3600;

// sweep: the field of a register it steps through, and the values.
enum class SweepControl { Register, AlsRange, IrSleep, ProxDrive, Mode };
struct SweepValue {
  std::string name;  // as given back: "220", "continuous"; hex for a REG:MASK field
  uint8_t bits;      // the field's bits in the register
  int option;        // the console control's member that selects it; unused for Register
};
struct SweepField {
  std::string name;  // "prox-drive", or REG:MASK as given
  // Which of the console's controls sets the field; Register: the register
  // panel's write box (read, the field changed, written and read back).
  SweepControl control = SweepControl::Register;
  int reg = 0;
  uint8_t mask = 0;
  std::vector<SweepValue> values;
};
// Readings dropped after each value is set, by default: the collection passes
// the console itself lets go by before it shows lux after a range change.
inline constexpr int kDefaultSettleReadings = 15;

struct Request {
  CommandLine board;
  OutputFormat format = OutputFormat::Text;  // --format
  std::string boardSelector;          // --board SERIAL or BUS-PORT; empty: the only one attached
  uint8_t address = 0x88;             // --address: the I2C write address
  std::vector<RegisterWrite> writes;  // --write REG=VALUE, in order
  Command command = Command::Info;

  // reg read / reg write
  int reg = 0;
  int count = 1;
  std::vector<uint8_t> bytes;
  // measure and collect
  int readings = 1;
  std::optional<int> intervalMs;
  int samples = 0;
  std::string recordPath;
  std::string streamPath;              // collect --stream: every sample as it is read
  std::optional<int> durationSeconds;  // collect --duration
  bool stats = false;                  // measure, collect --stats: a summary after the samples
  // sweep FIELD: `samples` readings a value, after `settle` dropped
  SweepField sweep;
  int settle = kDefaultSettleReadings;
  // script run and script check
  std::string scriptPath;
  std::string exportPath;
  std::string junitPath;  // script run --junit
  bool abortOnFail = false;
  int loops = 1;
  bool pauseContinues = false;
  // collect and script run: add to the file instead of replacing it
  bool append = false;

  // Which file option, if any, is the standard output.
  bool FileOnStandardOutput() const {
    for (const std::string* path : {&recordPath, &exportPath, &streamPath, &junitPath}) {
      if (*path == kStandardOutput) return true;
    }
    return false;
  }
};

struct ParseResult {
  std::optional<Request> request;  // what to run
  std::string output;              // or the text to print (help, version): exit 0
  std::string error;               // or why the line is wrong: exit 2
  std::string usage;               // the usage to show under the error
};

ParseResult ParseArguments(const std::vector<std::string>& args);

// The whole tool's help, and one command's ("reg", "script" ...).
std::string ToolHelp();
std::string CommandHelp(const std::string& command);

}  // namespace kps::cli
