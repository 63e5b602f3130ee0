// One run of kps-eval-cli: the program context over the board, opened as the
// startup window opens it, with the console (and for scripts the script
// window) doing the work as their buttons do in the GUI. The command acts
// at the program's event points, as a user does.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "board/transport.h"
#include "cli/cli_options.h"
#include "cli/console_toolkit.h"
#include "cli/records.h"
#include "shell/app_context.h"

namespace kps::cli {

// Runs the request; rows and values go to `out`, messages through the
// toolkit. Returns the exit status.
int Run(const Request& request, Transport& transport, ConsoleToolkit& toolkit, std::ostream& out,
        const std::string& usbLibraryVersion = "");

// script check: the script loaded as the script window loads it, without a
// board; its error rows and warnings go to `out`, a load that fails to `err`.
int CheckScript(const Request& request, std::ostream& out, std::ostream& err);

// list: every attached board with the ids, as text lines or records; exit 3
// when there is none (cli_boards.cpp).
int ListBoards(const Request& request, Transport& transport, ConsoleToolkit& toolkit,
               std::ostream& out);
// Before a command's session: kExitOk when --board picks one of the boards
// attached, or none is picked and at most one is attached. Otherwise says
// which boards there are and returns kExitUsage (several and none picked, or
// a choice that names several) or kExitNoBoard (the chosen one is not there).
int CheckBoardChoice(const Request& request, Transport& transport, ConsoleToolkit& toolkit);
// The ids looked for, with the board --board chose.
UsbMatch ChosenMatch(const Request& request);

// A script's text as printed: without the blanks around it, control
// characters shown as '?' rather than sent to the terminal.
std::string Shown(const std::string& text);

// A file of its own in the temporary folder, removed once done with: where
// the windows write a file that goes on to the standard output ("-").
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile();
  // Makes it; why it could not be made, or empty.
  std::string Make();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class Session {
 public:
  Session(const Request& request, Transport& transport, ConsoleToolkit& toolkit, std::ostream& out);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  AppContext& app() { return app_; }
  int Run();

 private:
  // The startup window's load and its first address entry, which opens the
  // console with the session held; then --address and --write.
  int Open();
  // Why the board cannot be used, and kExitNoBoard.
  int NoBoard();
  // What an operation of the console came to, as the board link judged it:
  // kExitOk, or (after saying what went wrong) kExitNoBoard when the board or
  // the transfer failed, kExitFailed when the chip did not answer as it should.
  int Check(const std::string& what, const LinkResult& result);
  // Register i written with `value` and read back through the panel's write
  // box and Enter; kExitOk, or the status of the first failure.
  int WriteAndReadBack(int i, uint8_t value);
  // Reads registers through the panel's Rd buttons and prints them.
  int ReadRegisters(int first, int count, bool names);
  // A file the command will write can be: its folder exists and it is no
  // folder itself. Otherwise says so.
  bool Writable(const std::string& path, const std::string& what);

  // The value register i was last read as, when that read succeeded.
  std::optional<uint8_t> RegisterRead(int i) const;
  // info's record: the link, the board's ids and strings, the chip's ID.
  Record InfoRecord(const std::optional<uint8_t>& chipId) const;
  // Reads CONF and sets the console's lux range to the chip's.
  int ReadLuxRange();
  int Info();
  int RegWrite();
  // One "Read ADs" and the console's lux: the counts, and the lux when it is
  // known (not in IR mode, not held after a range change, not at full scale);
  // false when the read failed (console.MeasureResult says why).
  bool TakeReading(SampleValues& reading);
  // --stats: the statistics as one record of kind "stats"; in text one line a
  // quantity.
  // The lux a reading of that ALS/IR count adds to statistics; none in IR mode.
  std::optional<double> StatLux(int alsIr) const;
  void WriteStats(RecordWriter& writer, const ReadingStats& stats);
  int Measure();
  int Collect();
  int Sweep();  // cli_sweep.cpp
  // The console's lux conversion follows CONF: its range and IR mode.
  void FollowConf(uint8_t conf);
  // Sets the sweep's field to `value` and reads the register back; kExitOk,
  // or the status of the failure (a field that reads back otherwise is 1).
  int SetSweepValue(const SweepValue& value);
  int Stream();  // collect --stream: cli_stream.cpp
  int Script();  // cli_script.cpp

  // Waits `milliseconds` from `start` while handling events; false once interrupted.
  bool WaitUntil(uint32_t start, int milliseconds);
  std::string AddressText() const;

  // The measurement file of --record: the console's path and Append set
  // (for "-" a temporary file of `copy`'s); false after saying why not.
  bool PrepareRecording(TemporaryFile& copy);
  // The console's "Write to Disk", its file copied out for "-", and the
  // line that says so; false when nothing was written (the message said why).
  bool WriteRecording(const TemporaryFile& copy);
  // Hands `write` each reading the console took since the last call: the
  // samples it stored (the newest with the lux it shows), then the readings
  // that failed, numbered on from feed.written.
  struct SampleFeed {
    long long written = 0;  // readings handed on: the next one's number
    int64_t samplesSeen = 0;
    int32_t failuresSeen = 0;
  };
  void FeedSamples(SampleFeed& feed, const std::function<void(const SampleValues&)>& write);
  // Copies a file (one the windows wrote to a temporary place) to the
  // standard output, for a file option given as "-"; false after saying why
  // it failed.
  bool CopyToStandardOutput(const std::string& path);

  const Request& request_;
  ConsoleToolkit& toolkit_;
  std::ostream& out_;    // the standard output
  std::ostream& lines_;  // the command's lines and records: stderr when a file goes to stdout
  // What the command says besides its results ("... written to FILE"): with
  // the lines in text, on the standard error in a machine format.
  std::ostream& notes_;
  RecordWriter records_;
  AppContext app_;
  bool interrupted_ = false;
  // What the running command does on Ctrl-C, besides noting it.
  std::function<void()> stop_;
  bool irMode_ = false;  // CONF selects IR: the count is no light level
};

}  // namespace kps::cli
