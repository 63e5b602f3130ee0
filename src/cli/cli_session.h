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
#include "shell/app_context.h"

namespace kps::cli {

// Runs the request; rows and values go to `out`, messages through the
// toolkit. Returns the exit status.
int Run(const Request& request, Transport& transport, ConsoleToolkit& toolkit, std::ostream& out,
        const std::string& usbLibraryVersion = "");

// script check: the script loaded as the script window loads it, without a
// board; its error rows and warnings go to `out`, a load that fails to `err`.
int CheckScript(const Request& request, std::ostream& out, std::ostream& err);

// A script's text as printed: without the blanks around it, control
// characters shown as '?' rather than sent to the terminal.
std::string Shown(const std::string& text);

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

  // Reads CONF and sets the console's lux range to the chip's.
  int ReadLuxRange();
  int Info();
  int RegWrite();
  int Measure();
  int Collect();
  int Stream();  // collect --stream: cli_stream.cpp
  int Script();  // cli_script.cpp

  // Waits `milliseconds` from `start` while handling events; false once interrupted.
  bool WaitUntil(uint32_t start, int milliseconds);
  std::string AddressText() const;

  const Request& request_;
  ConsoleToolkit& toolkit_;
  std::ostream& out_;
  AppContext app_;
  bool interrupted_ = false;
  // What the running command does on Ctrl-C, besides noting it.
  std::function<void()> stop_;
  bool irMode_ = false;  // CONF selects IR: the count is no light level
};

}  // namespace kps::cli
