#include "shell/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "board/usb_ids.h"
#include "core/text.h"

namespace kps {

namespace {

// A plain decimal number: an optional minus, digits, an optional point and
// fraction. Exponents, hex, "inf" and "nan" are refused so that what a user
// typed is what the scene gets.
std::optional<double> ParseDecimal(const std::string& text) {
  std::size_t digits = 0, points = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      ++digits;
    } else if (c == '.') {
      ++points;
    } else if (!(c == '-' && i == 0)) {
      return std::nullopt;
    }
  }
  if (digits == 0 || points > 1) return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The longest text a USB string descriptor holds.
constexpr std::size_t kMaxSerialLength = 126;

// Whole numbers without a point, so that usage and messages read "250", not "250.000000".
std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// A numeric option of the simulated board's scene.
struct SceneOption {
  const char* name;
  const char* what;  // in words, for the messages
  const char* unit;
  double max;  // every one starts at 0
  double sim::Scene::*field;
};

constexpr SceneOption kSceneOptions[] = {
    {"--sim-lux", "the ambient light", "lux", sim::kMaxLux, &sim::Scene::lux},
    {"--sim-ir", "the infrared level", "on the lux scale", sim::kMaxIr, &sim::Scene::ir},
    {"--sim-proximity", "the proximity count at the 110 mA drive", "counts", sim::kMaxProximity,
     &sim::Scene::proximity},
    {"--sim-noise", "the noise", "percent of full scale", sim::kMaxNoise, &sim::Scene::noise},
};

// "the ambient light, from 0 to 100000 (lux)"
std::string Wanted(const SceneOption& option) {
  return std::string(option.what) + ", from 0 to " + Number(option.max) + " (" + option.unit + ")";
}

// The toolkit's own options, which the toolkit takes from the command line
// itself: "-style fusion" or "--style fusion", "-style=fusion" for the two
// that allow it. `values` is how many arguments follow the name.
struct ToolkitOption {
  const char* name;
  int values;
  bool glued;  // also written "-name=VALUE"
};

constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", 1, false},
    {"platformpluginpath", 1, false},
    {"platformtheme", 1, false},
    {"plugin", 1, false},
    {"qwindowgeometry", 1, false},
    {"geometry", 1, false},
    {"qwindowtitle", 1, false},
    {"title", 1, false},
    {"qwindowicon", 1, false},
    {"icon", 1, false},
    {"style", 1, true},
    {"stylesheet", 1, true},
    {"session", 1, false},
    {"display", 1, false},
    {"name", 1, false},
    {"visual", 1, false},
    {"reverse", 0, false},
    {"widgetcount", 0, false},
    {"nograb", 0, false},
    {"dograb", 0, false},
    {"sync", 0, false},
};

// A toolkit option at args[i]: i moves past its value. `taken` is false for
// anything else.
BoardOptionStep SkipToolkitOption(const std::vector<std::string>& args, std::size_t& i) {
  std::string arg = args[i];
  if (arg.rfind("--", 0) == 0) arg.erase(0, 1);
  if (arg.size() < 2 || arg[0] != '-') return {};
  const std::string word = arg.substr(1);
  for (const ToolkitOption& option : kToolkitOptions) {
    const std::string name = option.name;
    if (option.glued && word.rfind(name + "=", 0) == 0) return {true, ""};
    if (word != name) continue;
    if (i + option.values >= args.size()) return {true, args[i] + " needs a value"};
    i += option.values;
    return {true, ""};
  }
  return {};
}

}  // namespace

std::optional<std::pair<uint16_t, uint16_t>> ParseUsbId(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const auto vid = ParseHex(text.substr(0, colon), 0xFFFF);
  const auto pid = ParseHex(text.substr(colon + 1), 0xFFFF);
  if (!vid || !pid) return std::nullopt;
  return std::make_pair(static_cast<uint16_t>(*vid), static_cast<uint16_t>(*pid));
}

BoardOptionStep ParseBoardOption(const std::vector<std::string>& args, std::size_t& i,
                                 CommandLine& line) {
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
  auto simOnly = [&](const char* option) {
    if (line.firstSimOption.empty()) line.firstSimOption = option;
  };
  auto fail = [](std::string error) { return BoardOptionStep{true, std::move(error)}; };
  if (arg == "--simulated-board") {
    line.simulatedBoard = true;
  } else if (arg == "--sim-unplugged") {
    simOnly("--sim-unplugged");
    line.simPlugged = false;
  } else if (is("--sim-refuse")) {
    simOnly("--sim-refuse");
    const auto text = value("--sim-refuse");
    if (text == "access-denied") {
      line.simOpenRefusal = kUsbAccessDenied;
    } else if (text == "in-use") {
      line.simOpenRefusal = kUsbBusy;
    } else {
      return fail("--sim-refuse needs access-denied or in-use" +
                  (text ? ", not \"" + *text + "\"" : std::string()));
    }
  } else if (is("--usb-id")) {
    const auto text = value("--usb-id");
    if (!text) return fail("--usb-id needs a value VVVV:PPPP");
    const auto ids = ParseUsbId(*text);
    if (!ids) {
      return fail("--usb-id \"" + *text +
                  "\" is not a vendor and product id: give VVVV:PPPP, up to four hex "
                  "digits each (for example 1209:a710)");
    }
    line.match.vendorId = ids->first;
    line.match.productId = ids->second;
  } else if (is("--sim-address")) {
    simOnly("--sim-address");
    const auto text = value("--sim-address");
    const auto address = text ? ParseHex(*text, 0xFF) : std::nullopt;
    if (!address) {
      return fail(
          "--sim-address needs the chip's 8-bit I2C address as two hex digits "
          "(for example 8A)");
    }
    line.simAddress = static_cast<uint8_t>(*address);
  } else if (is("--sim-serial")) {
    simOnly("--sim-serial");
    const auto text = value("--sim-serial");
    if (!text)
      return fail("--sim-serial needs the simulated board's serial number (for example SIM0001)");
    // What a board could hold in a string descriptor, and what --board can
    // tell from a place on the bus.
    const bool printable =
        !text->empty() && text->size() <= kMaxSerialLength &&
        std::all_of(text->begin(), text->end(), [](char c) { return c > ' ' && c < 0x7F; });
    if (!printable || ChoiceIsPlace(*text)) {
      return fail("--sim-serial \"" + *text + "\" is no serial number: give 1 to " +
                  std::to_string(kMaxSerialLength) +
                  " printable characters without blanks that do not read as a place on the "
                  "bus (BUS-PORT), for example SIM0001");
    }
    line.simSerial = *text;
  } else if (is("--sim-scene")) {
    simOnly("--sim-scene");
    const auto text = value("--sim-scene");
    if (!text) return fail("--sim-scene needs a shape: steady, ramp or sine");
    const auto shape = sim::SceneShapeFromName(*text);
    if (!shape)
      return fail("--sim-scene \"" + *text + "\" is not a scene shape: give steady, ramp or sine");
    line.simScene.shape = *shape;
  } else {
    const SceneOption* option = nullptr;
    for (const SceneOption& candidate : kSceneOptions) {
      if (is(candidate.name)) option = &candidate;
    }
    if (option == nullptr) return {};
    simOnly(option->name);
    const std::string name = option->name;
    const auto text = value(name);
    if (!text) return fail(name + " needs a value: " + Wanted(*option));
    const auto number = ParseDecimal(*text);
    if (!number) return fail(name + " \"" + *text + "\" is not a number: give " + Wanted(*option));
    if (*number < 0.0 || *number > option->max) {
      return fail(name + " " + *text + " is out of range: give " + Wanted(*option));
    }
    line.simScene.*(option->field) = *number;
  }
  return {true, ""};
}

std::string CheckBoardOptions(const CommandLine& line) {
  if (line.firstSimOption.empty() || line.simulatedBoard) return "";
  return line.firstSimOption + " sets up the simulated board: it needs --simulated-board";
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  line.match.vendorId = kDefaultVendorId;
  line.match.productId = kDefaultProductId;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
      continue;
    }
    if (arg == "--version") {
      line.version = true;
      continue;
    }
    BoardOptionStep step = ParseBoardOption(args, i, line);
    if (!step.taken) step = SkipToolkitOption(args, i);  // the toolkit reads those itself
    if (!step.taken) return {std::nullopt, "unknown option \"" + arg + "\""};
    if (!step.error.empty()) return {std::nullopt, step.error};
  }
  if (std::string error = CheckBoardOptions(line); !error.empty()) return {std::nullopt, error};
  return {line, ""};
}

std::string UsageText(const std::string& program) {
  return "Usage: " + program +
         " [--simulated-board [--sim-address HH] [--sim-serial S] [scene options]]\n"
         "       [--usb-id VVVV:PPPP]\n"
         "\n"
         "Evaluation software for the KPS7110/20/60 ambient-light and proximity sensor.\n"
         "\n"
         "  (no option)          talk to the evaluation board over USB\n"
         "  --help               show this text\n"
         "  --version            show the version\n" +
         BoardOptionsHelp() +
         "\n"
         "Qt's own options are passed to Qt: -style S, -platform P, -geometry WxH+X+Y,\n"
         "-stylesheet FILE, -reverse, -display D ... (for example -style fusion).\n";
}

std::string BoardOptionsHelp() {
  const sim::Scene scene;
  return "  --simulated-board    run on the simulated board (no hardware needed)\n"
         "  --sim-address HH     8-bit I2C address of the simulated chip in hex (default 88;\n"
         "                       the KPS7110/60 variant may sit at 8A)\n"
         "  --sim-serial S       the simulated board's serial number (default SIM0001);\n"
         "                       it sits on the bus at 1-1\n"
         "  --sim-unplugged      the simulated board starts out of its USB socket\n"
         "  --sim-refuse WHY     the simulated board cannot be opened: access-denied (as\n"
         "                       without the udev rule) or in-use (held by another program)\n"
         "  --usb-id VVVV:PPPP   the board's USB vendor and product id in hex (default 1209:a710)\n"
         "\n"
         "Scene options: what the simulated sensor looks at (with --simulated-board only)\n"
         "  --sim-lux N          ambient light in lux, 0 to " +
         Number(sim::kMaxLux) + " (default " + Number(scene.lux) +
         ")\n"
         "  --sim-ir N           infrared on the lux scale, read in IR mode, 0 to " +
         Number(sim::kMaxIr) + " (default " + Number(scene.ir) +
         ")\n"
         "  --sim-proximity N    proximity count at the 110 mA IR LED drive, 0 to " +
         Number(sim::kMaxProximity) + " (default " + Number(scene.proximity) +
         ");\n"
         "                       the 220 mA drive reads twice that, at most 255\n"
         "  --sim-noise N        random noise in percent of full scale, 0 to " +
         Number(sim::kMaxNoise) + " (default " + Number(scene.noise) +
         ": none)\n"
         "  --sim-scene S        steady, ramp or sine (default " +
         sim::SceneShapeName(scene.shape) +
         "): the levels as set, or\n"
         "                       rising from 0 to them over " +
         std::to_string(sim::kShapePeriod) +
         " conversions, or swinging from 0\n"
         "                       up to them and back every " +
         std::to_string(sim::kShapePeriod) + " conversions\n";
}

}  // namespace kps
