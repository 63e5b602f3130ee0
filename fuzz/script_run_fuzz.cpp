// A whole "kps-eval-cli script run" on the simulated board, with sleeps made
// instant. The first byte picks the run's options, the rest is the script
// file. The run must end, with an exit status the tool documents.
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/console_toolkit.h"
#include "sim/simulated_board.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// The terminal toolkit on a clock that a sleep moves on at once.
class InstantToolkit : public kps::cli::ConsoleToolkit {
 public:
  using ConsoleToolkit::ConsoleToolkit;
  void Sleep(int milliseconds) override {
    if (milliseconds > 0) now_ += static_cast<uint32_t>(milliseconds);
  }
  // Every look moves the clock on, so a wait for time to pass always ends.
  uint32_t Millis() override { return now_++; }

 private:
  uint32_t now_ = 0;
};

std::string Scratch(const char* name) {
  return (std::filesystem::temp_directory_path() /
          ("kps_fuzz_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

const std::string& ScriptPath() {
  static const std::string path = Scratch("script.txt");
  return path;
}

const std::string& TablePath() {
  static const std::string path = Scratch("table.csv");
  return path;
}

// The scratch files go when the fuzzer exits (at the end of its time, too).
void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove(ScriptPath(), ignored);
  std::filesystem::remove(TablePath(), ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The paths first: they must outlive the handler that removes their files.
  const std::string& script = ScriptPath();
  const std::string& table = TablePath();
  static const bool cleanup = std::atexit(RemoveScratch) == 0;
  (void)cleanup;
  const uint8_t options = data[0];
  // Appended tables would pile up from run to run.
  std::error_code ignored;
  if (std::filesystem::file_size(table, ignored) > (1u << 20))
    std::filesystem::remove(table, ignored);
  if (std::FILE* file = std::fopen(script.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
  }

  std::vector<std::string> args{"--simulated-board"};
  if (options & 0x10) args.insert(args.end(), {"--address", "8A"});
  args.insert(args.end(), {"script", "run", script});
  if (options & 0x01) args.push_back("--abort-on-fail");
  if (options & 0x02) args.insert(args.end(), {"--on-pause", "continue"});
  if (options & 0x04) args.insert(args.end(), {"--loop", "2"});
  if (options & 0x08) args.insert(args.end(), {"--export", table});
  if ((options & 0x28) == 0x28) args.push_back("--append");
  const kps::cli::ParseResult parsed = kps::cli::ParseArguments(args);
  Require(parsed.request.has_value());

  kps::sim::SimulatedBoard board;
  std::ostringstream out, err;
  std::istringstream in;
  std::atomic<bool> interrupt{false};
  InstantToolkit toolkit(err, in, false, &interrupt);
  const int status = kps::cli::Run(*parsed.request, board, toolkit, out);
  Require(status == kps::cli::kExitOk || status == kps::cli::kExitFailed ||
          status == kps::cli::kExitUsage);
  // Only a file that cannot be loaded (or a table that cannot be written) is a usage failure.
  if (status == kps::cli::kExitUsage) Require(!err.str().empty());
  return 0;
}
