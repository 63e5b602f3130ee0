// The command line of kps-eval.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board/transport.h"
#include "sim/scene.h"

namespace kps {

struct CommandLine {
  bool simulatedBoard = false;
  UsbMatch match;                     // the board's ids (defaults in usb_ids.h)
  std::optional<uint8_t> simAddress;  // --sim-address HH: the simulated chip's 8-bit address
  sim::Scene simScene;  // --sim-lux, --sim-ir, --sim-proximity, --sim-noise, --sim-scene
  bool help = false;
  bool version = false;
};

struct CommandLineResult {
  std::optional<CommandLine> options;  // empty when the line is not understood
  std::string error;                   // why, in words
};

CommandLineResult ParseCommandLine(const std::vector<std::string>& args);
// "VVVV:PPPP" (hex) -> ids; nullopt when malformed.
std::optional<std::pair<uint16_t, uint16_t>> ParseUsbId(const std::string& text);
std::string UsageText(const std::string& program);

}  // namespace kps
