// One run of kps-eval-cli: the program context over the board, opened as the
// startup window opens it, with the console (and for scripts the script
// window) doing the work as their buttons do in the GUI. The command acts
// at the program's event points, as a user does.
#pragma once

#include <iosfwd>
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
  // After an operation on the bus: kExitNoBoard (with a message) when the
  // board went away or did not take the transfer, otherwise kExitOk.
  int BoardStatus(const std::string& what);
  // The reply status of a read is the number of bytes asked for; otherwise
  // the chip did not acknowledge, which is reported.
  bool Acknowledged(const std::string& what, unsigned status, unsigned expected);
  // The same for the register panel's last read.
  bool RegisterAcknowledged(const std::string& what);
  // Reads registers through the panel's Rd buttons and prints them.
  int ReadRegisters(int first, int count, bool names);

  int Info();
  int RegWrite();
  int Measure();
  int Collect();
  int Script();  // cli_script.cpp

  // Waits `milliseconds` from `start` while handling events; false once interrupted.
  bool WaitUntil(uint32_t start, int milliseconds);
  std::string AddressText() const;

  const Request& request_;
  ConsoleToolkit& toolkit_;
  std::ostream& out_;
  AppContext app_;
  bool interrupted_ = false;
};

}  // namespace kps::cli
