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
  // After a register write: kExitNoBoard (with a message) when the board
  // went away or did not take the transfer, otherwise kExitOk.
  int BoardStatus(const std::string& what);
  // Reads of the register panel and of "Read ADs" are checked through their
  // lamps, which change straight after the reply, before any other transfer.
  void WatchReplies();
  struct Reply {
    bool seen = false;
    uint32_t usbStatus = 0;
    unsigned status = 0;  // the reply's first byte: the number of values read
    uint32_t bytes = 0;
  };
  struct Fault {
    int status;
    std::string why;
  };
  // What is wrong with the last reply for `count` values, if anything.
  std::optional<Fault> ReplyFault(unsigned count) const;
  // Starts a read to be checked, then checks it: kExitOk, or the status of
  // the fault after saying what went wrong.
  void ExpectReply() { reply_ = {}; }
  int CheckReply(const std::string& what, unsigned count);
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
  Reply reply_;
  bool irMode_ = false;  // CONF selects IR: the count is no light level
  int replies_ = 0;
};

}  // namespace kps::cli
