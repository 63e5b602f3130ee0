// The command line of kps-eval, and the board options kps-eval-cli shares with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board/transport.h"
#include "sim/scene.h"

namespace kps {

struct CommandLine {
  bool simulatedBoard = false;
  UsbMatch match;                        // the board's ids (defaults in usb_ids.h)
  std::optional<uint8_t> simAddress;     // --sim-address HH: the simulated chip's 8-bit address
  std::optional<std::string> simSerial;  // --sim-serial S: the simulated board's serial number
  sim::Scene simScene;  // --sim-lux, --sim-ir, --sim-proximity, --sim-noise, --sim-scene
  bool simPlugged =
      true;  // false with --sim-unplugged: the simulated board starts out of its socket
  // --sim-refuse access-denied|in-use: the simulated board cannot be opened
  // (kUsbAccessDenied, kUsbBusy; kUsbOk: it can).
  uint32_t simOpenRefusal = kUsbOk;
  std::string firstSimOption;  // the first option given that needs --simulated-board
  bool help = false;
  bool version = false;
};

struct CommandLineResult {
  std::optional<CommandLine> options;  // empty when the line is not understood
  std::string error;                   // why, in words
};

// Qt's own options (-style fusion, -platform offscreen ...) are let through
// for Qt to take from the same command line.
CommandLineResult ParseCommandLine(const std::vector<std::string>& args);

// One board option (--simulated-board, --usb-id, --sim-*) at args[i], taking
// its value from "=VALUE" or the next argument (then i moves past it).
// `taken` is false for any other argument; `error` says what is wrong.
struct BoardOptionStep {
  bool taken = false;
  std::string error;
};
BoardOptionStep ParseBoardOption(const std::vector<std::string>& args, std::size_t& i,
                                 CommandLine& line);
// Once every option is read: the message for scene options given without
// --simulated-board, or empty.
std::string CheckBoardOptions(const CommandLine& line);
// The usage lines of the board options, for both programs' help.
std::string BoardOptionsHelp();
// "VVVV:PPPP" (hex) -> ids; nullopt when malformed.
std::optional<std::pair<uint16_t, uint16_t>> ParseUsbId(const std::string& text);
std::string UsageText(const std::string& program);

}  // namespace kps
