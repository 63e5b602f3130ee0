#include "shell/command_line.h"

#include <cctype>

#include "board/usb_ids.h"

namespace kps {

namespace {

std::optional<unsigned> ParseHex(const std::string& text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 16 +
            static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                      ? c - '0'
                                      : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  return value;
}

}  // namespace

std::optional<std::pair<uint16_t, uint16_t>> ParseUsbId(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const auto vid = ParseHex(text.substr(0, colon), 4);
  const auto pid = ParseHex(text.substr(colon + 1), 4);
  if (!vid || !pid) return std::nullopt;
  return std::make_pair(static_cast<uint16_t>(*vid), static_cast<uint16_t>(*pid));
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  line.match.vendorId = kDefaultVendorId;
  line.match.productId = kDefaultProductId;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](const std::string& option) -> std::optional<std::string> {
      const std::string prefix = option + "=";
      if (arg.rfind(prefix, 0) == 0) return arg.substr(prefix.size());
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    auto is = [&](const std::string& option) {
      return arg == option || arg.rfind(option + "=", 0) == 0;
    };
    if (arg == "--simulated-board") {
      line.simulatedBoard = true;
    } else if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else if (is("--usb-id")) {
      const auto text = value("--usb-id");
      if (!text) return {std::nullopt, "--usb-id needs a value VVVV:PPPP"};
      const auto ids = ParseUsbId(*text);
      if (!ids) {
        return {std::nullopt,
                "--usb-id \"" + *text +
                    "\" is not a vendor and product id: give VVVV:PPPP, up to four hex "
                    "digits each (for example 1209:a710)"};
      }
      line.match.vendorId = ids->first;
      line.match.productId = ids->second;
    } else if (is("--sim-address")) {
      const auto text = value("--sim-address");
      const auto address = text ? ParseHex(*text, 2) : std::nullopt;
      if (!address) {
        return {std::nullopt,
                "--sim-address needs the chip's 8-bit I2C address as two hex digits "
                "(for example 8A)"};
      }
      line.simAddress = static_cast<uint8_t>(*address);
    } else {
      return {std::nullopt, "unknown option \"" + arg + "\""};
    }
  }
  if (line.simAddress && !line.simulatedBoard) {
    return {std::nullopt, "--sim-address goes with --simulated-board"};
  }
  return {line, ""};
}

std::string UsageText(const std::string& program) {
  return "Usage: " + program +
         " [--simulated-board [--sim-address HH]] [--usb-id VVVV:PPPP]\n"
         "\n"
         "Evaluation software for the KPS7110/20/60 ambient-light and proximity sensor.\n"
         "\n"
         "  (no option)          talk to the evaluation board over USB\n"
         "  --simulated-board    run on the simulated board (no hardware needed)\n"
         "  --sim-address HH     8-bit I2C address of the simulated chip in hex (default 88;\n"
         "                       the KPS7110/60 variant may sit at 8A)\n"
         "  --usb-id VVVV:PPPP   the board's USB vendor and product id in hex (default 1209:a710)\n"
         "  --help               show this text\n"
         "  --version            show the version\n";
}

}  // namespace kps
