// kps-eval-cli: the evaluation program's operations from the command line,
// over the real board (libusb) or the simulated one. Links no toolkit: the
// program's logic runs on the terminal toolkit.
#include <unistd.h>

#include <signal.h>
#include <atomic>

#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/board_choice.h"
#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/console_toolkit.h"
#include "usb/libusb_transport.h"

namespace {

std::atomic<bool> interruptRequested{false};

// The first Ctrl-C asks the command to stop at its next event point (files
// are still written), and cancels a question waiting for its answer, since
// the read is not restarted; the handler then steps aside so that a second
// one ends the program at once.
void OnInterrupt(int) {
  interruptRequested.store(true);
}

void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

// Results that never reached their file are a failure, not a success.
int Flushed(int status) {
  std::cout.flush();
  if (std::cout) return status;
  std::cerr << kps::cli::kCliName << ": cannot write the standard output: what it should "
            << "have shown is lost\n";
  return kps::cli::kExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace kps::cli;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ParseResult parsed = ParseArguments(args);
  if (!parsed.output.empty()) {
    std::cout << parsed.output;
    return Flushed(kExitOk);
  }
  if (!parsed.request) {
    std::cerr << kCliName << ": " << parsed.error << "\n" << parsed.usage;
    return kExitUsage;
  }

  if (parsed.request->command == Command::ScriptCheck) {
    // Reads a file and talks to no board.
    return Flushed(CheckScript(*parsed.request, std::cout, std::cerr));
  }

  CatchInterrupt();
  ConsoleToolkit toolkit(std::cerr, std::cin, isatty(STDIN_FILENO) != 0, &interruptRequested);
  const std::unique_ptr<kps::Transport> transport = kps::MakeTransport(parsed.request->board);
  return Flushed(Run(*parsed.request, *transport, toolkit, std::cout,
                     kps::usb::LibusbTransport::LibraryVersion()));
}
