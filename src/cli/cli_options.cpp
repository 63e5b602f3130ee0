#include "cli/cli_options.h"

#include <cctype>

#include "acquisition/measurement_file.h"
#include "board/usb_ids.h"
#include "cli/console_toolkit.h"
#include "console/register_map.h"
#include "core/text.h"
#include "shell/app_identity.h"

namespace kps::cli {

namespace {

// A hex argument (an optional 0x prefix) up to `maxValue`.
std::optional<int> Hex(const std::string& text, unsigned maxValue) {
  const auto value = ParseHex(text, maxValue);
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

// A whole decimal number from `low` to `high`.
std::optional<int> Whole(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

// The fields sweep knows by name: the console's "Register 1 Configure"
// controls, each value as its control offers it, in the control's order.
struct NamedSweepValue {
  const char* name;
  int option;  // the control's member
};
struct NamedSweepField {
  const char* name;
  SweepControl control;
  RegField field;
  const char* unit;  // a value may carry it: "220mA", "125lux", "12.5ms"
  std::vector<NamedSweepValue> values;
  // The member's bits of the register.
  uint8_t Bits(int option) const {
    switch (control) {
      case SweepControl::IrSleep:
        return static_cast<uint8_t>(option * 0x10);
      case SweepControl::AlsRange:
        return option == 0 ? 0x02 : 0x00;  // member 0 is "2000 Lux"
      default:
        return option == 0 ? 0x00 : static_cast<uint8_t>(~field.keep);
    }
  }
};

const std::vector<NamedSweepField>& NamedSweepFields() {
  static const std::vector<NamedSweepField> fields = {
      {"als-range", SweepControl::AlsRange, field::kAlsRange, "lux", {{"125", 1}, {"2000", 0}}},
      {"ir-sleep",
       SweepControl::IrSleep,
       field::kIrSleep,
       "ms",
       {{"800", 0},
        {"400", 1},
        {"200", 2},
        {"100", 3},
        {"75", 4},
        {"50", 5},
        {"12.5", 6},
        {"continuous", 7}}},
      {"prox-drive", SweepControl::ProxDrive, field::kIrDrive, "mA", {{"110", 0}, {"220", 1}}},
      {"mode", SweepControl::Mode, field::kMeasureMode, "", {{"als", 0}, {"ir", 1}}},
  };
  return fields;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The text between commas; an empty item is kept, to be refused.
std::vector<std::string> CommaList(const std::string& text) {
  std::vector<std::string> items;
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    items.push_back(text.substr(from, comma - from));
    if (comma == std::string::npos) return items;
    from = comma + 1;
  }
}

// FIELD of sweep: a name, or REG:MASK in hex; empty `error` when it is one.
SweepField SweepFieldOf(const std::string& text, std::string& error) {
  SweepField f;
  f.name = text;
  for (const NamedSweepField& named : NamedSweepFields()) {
    if (Lower(text) != named.name) continue;
    f.name = named.name;
    f.control = named.control;
    f.reg = named.field.reg;
    f.mask = static_cast<uint8_t>(~named.field.keep);
    return f;
  }
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) {
    error = "FIELD \"" + text +
            "\" is not a field: give als-range, ir-sleep, prox-drive, mode or REG:MASK (hex, "
            "for example 01:08)";
    return f;
  }
  const auto reg = Hex(text.substr(0, colon), 0x0F);
  const auto mask = Hex(text.substr(colon + 1), 0xFF);
  if (!reg) {
    error = "FIELD \"" + text + "\": \"" + text.substr(0, colon) +
            "\" is not a register: give 0 to F (hex)";
  } else if (!mask) {
    error = "FIELD \"" + text + "\": \"" + text.substr(colon + 1) +
            "\" is not a mask: give the field's bits as 01 to FF (hex)";
  } else if (*mask == 0) {
    error = "FIELD \"" + text + "\": the mask 00 selects no bits: give 01 to FF (hex)";
  } else {
    f.reg = *reg;
    f.mask = static_cast<uint8_t>(*mask);
  }
  return f;
}

// The lowest bit of a mask that is not 0.
int MaskShift(uint8_t mask) {
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  return shift;
}

// The value of a register field: hex, shifted into the mask, with no bit outside it.
std::optional<SweepValue> RegisterFieldValue(const SweepField& f, const std::string& text) {
  const auto value = Hex(text, 0xFF);
  if (!value) return std::nullopt;
  const unsigned bits = static_cast<unsigned>(*value) << MaskShift(f.mask);
  if ((bits & ~static_cast<unsigned>(f.mask)) != 0) return std::nullopt;
  return SweepValue{HexByte(static_cast<unsigned>(*value)), static_cast<uint8_t>(bits), -1};
}

// Every value of the field, or the ones `list` names; empty `error` when all are.
std::vector<SweepValue> SweepValuesOf(const SweepField& f, const std::optional<std::string>& list,
                                      std::string& error) {
  std::vector<SweepValue> values;
  if (f.control == SweepControl::Register) {
    const int shift = MaskShift(f.mask);
    const unsigned top = static_cast<unsigned>(f.mask) >> shift;
    const std::string range = "give a hex value from 0 to " + HexByte(top) + " whose bits, moved " +
                              "to the mask's lowest bit, stay within the mask " + HexByte(f.mask);
    if (!list) {
      for (unsigned v = 0; v <= top; ++v) {
        if (auto value = RegisterFieldValue(f, HexByte(v))) values.push_back(*value);
      }
      return values;
    }
    for (const std::string& item : CommaList(*list)) {
      const auto value = RegisterFieldValue(f, item);
      if (!value) {
        error = "--values: \"" + item + "\" is not a value of " + f.name + ": " + range;
        return {};
      }
      values.push_back(*value);
    }
    return values;
  }
  const NamedSweepField* named = nullptr;
  for (const NamedSweepField& n : NamedSweepFields()) {
    if (n.name == f.name) named = &n;
  }
  std::string names;
  for (const NamedSweepValue& v : named->values)
    names += std::string(names.empty() ? "" : ", ") + v.name;
  const auto add = [&](const NamedSweepValue& v) {
    values.push_back({v.name, named->Bits(v.option), v.option});
  };
  if (!list) {
    for (const NamedSweepValue& v : named->values) add(v);
    return values;
  }
  const std::string unit = Lower(named->unit);
  for (const std::string& item : CommaList(*list)) {
    std::string key = Lower(item);
    if (!unit.empty() && key.size() > unit.size() &&
        key.compare(key.size() - unit.size(), unit.size(), unit) == 0) {
      key.resize(key.size() - unit.size());
    }
    const NamedSweepValue* found = nullptr;
    for (const NamedSweepValue& v : named->values) {
      if (key == v.name) found = &v;
    }
    if (!found) {
      error = "--values: \"" + item + "\" is not a value of " + f.name + ": give " + names +
              (unit.empty() ? "" : std::string(" (") + named->unit + ")");
      return {};
    }
    add(*found);
  }
  return values;
}

const char* const kCommandsHelp =
    "Commands:\n"
    "  info                     the board link (its lamps in words), the USB ids and\n"
    "                           versions, and the chip's ID register\n"
    "  list                     every attached board with these USB ids: bus, port,\n"
    "                           address, serial number and whether it may be opened\n"
    "  reg read REG [COUNT]     read COUNT registers (default 1) from REG on; one\n"
    "                           \"REG VALUE\" line each, in hex\n"
    "  reg write REG BYTE...    write the bytes to REG, REG+1, ... and read each back\n"
    "  reg dump                 all sixteen registers with their names\n"
    "  measure [--count N] [--interval MS] [--stats]\n"
    "                           proximity count, ALS/IR count and lux, one line a reading\n"
    "  collect --samples N --record FILE [--interval MS] [--append] [--stats]\n"
    "                           collect N samples and write them to the measurement file\n"
    "  collect --stream FILE [--samples N | --duration SECONDS] [--record FILE]\n"
    "                           write each sample as it is read, until N samples, the\n"
    "                           time is up or Ctrl-C\n"
    "  sweep FIELD [--values V,...] --samples N [--interval MS] [--settle K]\n"
    "                           set a field of a register to each value in turn and give\n"
    "                           the statistics of N readings at each\n"
    "  script run FILE [--export CSV [--append]] [--junit FILE] [--abort-on-fail]\n"
    "                  [--loop N] [--on-pause continue|abort]\n"
    "                           run a script's steps and check what they read\n"
    "  script check FILE        list the rows of a script that are in error, and\n"
    "                           warnings, without a board\n";

const char* const kExitHelp =
    "Exit status:\n"
    "  0  success, and no failed comparison\n"
    "  1  a check failed: a script read that did not match, a write or read the chip\n"
    "     did not acknowledge, a register that did not read back what was written,\n"
    "     a run that ended early (a pause answered Cancel, Ctrl-C), or a script\n"
    "     with a row in error (script run and script check)\n"
    "  2  bad usage, or a file that cannot be read or written (the standard output\n"
    "     included)\n"
    "  3  the board is not available (not attached, cannot be opened, in use by\n"
    "     another program), went away during the command (even if it came back), or\n"
    "     a transfer got no reply\n"
    "With several boards attached and none picked with --board, the exit status is 2\n"
    "and the message names them.\n";

const char* const kFormatHelp =
    "Output formats (--format):\n"
    "  text   aligned lines for people (the default)\n"
    "  csv    RFC 4180: a header line, then one line a record, CR LF line ends\n"
    "  json   JSON Lines: one object a line, UTF-8\n"
    "Records and their fields (CSV columns and JSON keys alike; hex values as two\n"
    "upper-case digits):\n"
    "  info             program_version, transport, usb_library, usb_id,\n"
    "                   session_open, attached, info_obtained, held, board_version,\n"
    "                   bus, address, maker, product, serial, usb_status,\n"
    "                   i2c_address, chip_id (null where unknown)\n"
    "  list             bus, port, address, serial, maker, product, openable\n"
    "  reg read, dump,  reg, name, value, hex, ok (false for a failed read, whose\n"
    "  write            value is null; for a write, whether it read back)\n"
    "  measure, collect time (UTC, 2026-12-06T15:04:09.123Z), sample, prox, als_ir,\n"
    "                   lux (null in IR mode or out of range), ok (false for a\n"
    "                   failed reading, whose counts are null)\n"
    "  script run       line, kind, address, reg, write, expect, read, result,\n"
    "                   capture, comment; then in JSON {\"total\",\"pass\",\"fail\"}\n"
    "                   (in CSV the totals line goes to the standard error)\n"
    "  script check     line, level (error or warning), message\n"
    "  --stats          kind (\"stats\"), then for prox, als_ir and lux the figures\n"
    "                   n, mean, sd, min, max, pp: prox_n, prox_mean ... lux_pp\n"
    "                   (null where there is none: no reading, one reading's sd)\n"
    "  sweep            kind (\"sweep\"), field, value, failed, then the figures as\n"
    "                   for --stats\n"
    "Messages and progress always go to the standard error.\n";

const char* const kRegHelp =
    "Usage: kps-eval-cli [global options] reg read REG [COUNT]\n"
    "       kps-eval-cli [global options] reg write REG BYTE [BYTE ...]\n"
    "       kps-eval-cli [global options] reg dump\n"
    "\n"
    "The chip's sixteen registers, 0 to F, through the console's register panel.\n"
    "REG and BYTE are hex (one or two digits); COUNT is decimal.\n"
    "\n"
    "  read REG [COUNT]   reads COUNT registers (default 1, at most up to register F)\n"
    "                     from REG on and prints one \"REG VALUE\" line each: \"01 A3\"\n"
    "  write REG BYTE...  writes each byte to the next register from REG on, as the\n"
    "                     register panel's write box and Enter do: the register is\n"
    "                     written and read back. Prints the value read back; one\n"
    "                     that differs from the byte written is a failed check\n"
    "  dump               reads all sixteen registers: \"01 A3  CONF\"\n"
    "\n"
    "A read the chip does not acknowledge is reported and is a failed check.\n";

const char* const kMeasureHelp =
    "Usage: kps-eval-cli [global options] measure [--count N] [--interval MS] [--stats]\n"
    "\n"
    "Reads the data registers (8 to A) as the console's \"Read ADs\" does and prints\n"
    "one line a reading: its number, the proximity count, the ALS/IR count and the\n"
    "lux the console would show (\"-\" in IR mode; \">=125\" or \">=2000\" at full\n"
    "scale). The lux range is the one register 1 (CONF) is set to.\n"
    "\n"
    "  --count N       readings to take, 1 to 1000000 (default 1)\n"
    "  --interval MS   milliseconds from one reading to the next, 0 to 60000\n"
    "                  (default 100)\n"
    "  --stats         after the readings, their statistics: one line a quantity,\n"
    "                  \"prox    n 100  mean 26.02  sd 1.4  min 23  max 29  pp 6\",\n"
    "                  then als_ir and lux (a record of kind stats in csv and json).\n"
    "                  The sd is the sample standard deviation (n - 1); a failed\n"
    "                  reading is no sample, and lux counts only the readings whose\n"
    "                  lux is known (not in IR mode, not at full scale); \"-\" where\n"
    "                  there is no figure\n"
    "\n"
    "The chip starts with its conversions off: enable them with --write, for\n"
    "example --write 01=A4 (proximity on, ALS on, 125 lux range).\n";

const char* const kCollectHelp =
    "Usage: kps-eval-cli [global options] collect --samples N --record FILE\n"
    "                    [--interval MS] [--append] [--stats]\n"
    "       kps-eval-cli [global options] collect --stream FILE\n"
    "                    [--samples N | --duration SECONDS] [--record FILE]\n"
    "                    [--interval MS] [--append] [--stats]\n"
    "\n"
    "Runs the console's real-time collection until N samples are recorded, then\n"
    "writes the measurement file exactly as the console's \"Write to Disk\" does:\n"
    "a header with registers 0 and 1 as written (see --write), the interval, the\n"
    "date and time and the quantity, then one line a sample and END.\n"
    "\n"
    "  --samples N     samples to record, 9 to 999 (the collection's history holds\n"
    "                  999 after the eleven it always leaves out at its start)\n"
    "  --record FILE   the measurement file\n"
    "  --interval MS   the collection's loop time, 0 to 60000 (default 50, the\n"
    "                  console's)\n"
    "  --append        add the recording to the end of FILE instead of replacing it\n"
    "  --stream FILE   write each sample to FILE as it is read, one record a line in\n"
    "                  the --format (text: \"TIME SAMPLE PROX ALS_IR LUX\"), flushed\n"
    "                  line by line; no limit of samples\n"
    "  --duration S    end the stream after S seconds (1 to 2678400)\n"
    "  --stats         after the samples, their statistics as measure --stats gives\n"
    "                  them: over the samples the file holds, or over every sample\n"
    "                  of a stream (then at the end of the stream, in its file)\n"
    "\n"
    "FILE may be - for the standard output (then the lines the command prints\n"
    "otherwise go to the standard error).\n"
    "\n"
    "Without --stream, a reading that fails (not acknowledged, short, no reply, or\n"
    "not taken by the board) is no sample and stops the collection; the samples\n"
    "before it are written, the message names it, and the exit status says the\n"
    "failure. Ctrl-C stops the collection early; the samples so far are still\n"
    "written once there are at least nine.\n"
    "\n"
    "A stream goes on past a failed reading, which it writes as a record with ok\n"
    "false and no counts (exit status 1 at the end); --samples N (no upper limit),\n"
    "--duration or Ctrl-C ends it (exit status 0, 0 and 1). A board pulled out ends\n"
    "it with exit status 3. With --record as well, the measurement file gets the\n"
    "newest 999 samples (at most) when the stream ends.\n"
    "\n"
    "Examples:\n"
    "  kps-eval-cli --write 01=A4 collect --samples 100 --record run1.txt\n"
    "  kps-eval-cli --format json --write 01=A4 collect --stream - --duration 60\n";

const char* const kSweepHelp =
    "Usage: kps-eval-cli [global options] sweep FIELD [--values V1,V2,...]\n"
    "                    --samples N [--interval MS] [--settle K]\n"
    "\n"
    "Sets a field of a register to each value in turn, drops K readings, takes N\n"
    "readings as measure does and prints their statistics: a header, then one line\n"
    "a value with the number of readings and the mean, sd and peak-to-peak of the\n"
    "proximity count, the ALS/IR count and lux (in csv and json one record a value,\n"
    "kind sweep, with every figure: see --help). Afterwards the register gets back\n"
    "the value it had, also after Ctrl-C or a failed reading.\n"
    "\n"
    "FIELD and its values (in any letter case; the unit may follow the number):\n"
    "  als-range    125, 2000 (lux)                     CONF bit 1\n"
    "  ir-sleep     800, 400, 200, 100, 75, 50, 12.5 (ms), continuous\n"
    "                                                   CONF bits 6..4\n"
    "  prox-drive   110, 220 (mA)                       CONF bit 3\n"
    "  mode         als, ir                             CONF bit 0\n"
    "  REG:MASK     any bits of a register, both hex (01:70 is ir-sleep's bits);\n"
    "               the values are hex numbers moved into the mask (01:70 with\n"
    "               value 7 writes 0x70)\n"
    "A named field is set as the console's control for it sets it, a REG:MASK\n"
    "field through the register panel's write box: the register is read, the\n"
    "field changed, the register written and read back.\n"
    "\n"
    "  --values V,...  the values, in order (default: every value of the field)\n"
    "  --samples N     readings a value, 1 to 1000000\n"
    "  --interval MS   milliseconds from one reading to the next, 0 to 60000\n"
    "                  (default 50, the collection's)\n"
    "  --settle K      readings dropped after each change, 0 to 1000000 (default\n"
    "                  15, as many as the console lets go by before it shows lux\n"
    "                  again after a change of range: with fewer, the first\n"
    "                  readings of als-range have no lux)\n"
    "\n"
    "A failed reading is no sample: the sweep goes on, the line says how many\n"
    "failed and the exit status is 1 (3 when no reply came or the board did not\n"
    "take the transfer, which also ends the sweep). A field that does not read\n"
    "back as written ends the sweep with exit status 1.\n"
    "\n"
    "Example:\n"
    "  kps-eval-cli --write 01=A4 sweep prox-drive --samples 100\n";

const char* const kScriptHelp =
    "Usage: kps-eval-cli [global options] script run FILE [--export CSV [--append]]\n"
    "                    [--junit FILE] [--abort-on-fail] [--loop N]\n"
    "                    [--on-pause continue|abort]\n"
    "       kps-eval-cli [global options] script check FILE\n"
    "\n"
    "Loads a script file as the script window does and runs all its steps (\"Run\n"
    "All Steps\"). Prints one line a row as it runs: the line number, the operation,\n"
    "the address, register, data written, data expected and data read, and the\n"
    "result (pass, FAIL, the value captured, delay, pause). The last line gives the\n"
    "window's three counters: \"Total T Pass P Fail F\".\n"
    "\n"
    "  --export CSV        write the table afterwards as the window's \"Write to Disk\"\n"
    "                      does\n"
    "  --append            add the table to the end of CSV instead of replacing it\n"
    "  --junit FILE        write a JUnit XML report for a CI server: one test suite\n"
    "                      a pass, one test case a comparison row, a failure for a\n"
    "                      read that did not match, an error for a row not run or\n"
    "                      in error\n"
    "  --abort-on-fail     stop after the first row whose read does not match\n"
    "                      (\"Abort On fail\")\n"
    "  --loop N            run all steps N times, 1 to 1000000 (\"Loop Cont\"); a line\n"
    "                      \"Loop K: Total T Pass P Fail F\" follows each pass and the\n"
    "                      last line adds up the passes\n"
    "  --on-pause ANSWER   how a pause row (`w) is answered when the standard input\n"
    "                      is not a terminal: continue or abort (default abort, so\n"
    "                      an unattended run never hangs). On a terminal it asks.\n"
    "\n"
    "CSV and FILE may be - for the standard output (then the rows go to the\n"
    "standard error). The script's rows start at the address given by --address.\n"
    "Ctrl-C aborts the run after the current row; the table is still exported.\n"
    "\n"
    "check loads the script as the script window does, without a board, and prints\n"
    "one line for each row in error (a field that is not hex, a row of more bytes\n"
    "than a frame carries, a delay that is no time: such a row sends nothing and\n"
    "fails when run) and each warning (expected data whose X's compare or capture\n"
    "nothing, a field of an odd number of digits): \"line 3: Hex Error: ...\",\n"
    "\"line 7: Warning: ...\". The last line counts them. Exit status 0 when no row\n"
    "is in error (warnings allowed), 1 when one is, 2 when the file cannot be\n"
    "loaded.\n";

const char* const kListHelp =
    "Usage: kps-eval-cli [global options] list\n"
    "\n"
    "Lists every attached board with the USB ids looked for (see --usb-id), one line\n"
    "each: the bus, the port path, the device address, the serial number (\"-\" when\n"
    "the board has none) and whether this user may open it. Pick one for the other\n"
    "commands with --board SERIAL or --board BUS-PORT (for example 1-4.2).\n";

const char* const kInfoHelp =
    "Usage: kps-eval-cli [global options] info\n"
    "\n"
    "Prints the program's and the system's versions, the USB ids looked for, the\n"
    "state of the board link with its lamps in words (green, red ...), the board's\n"
    "device information, the I2C address and the chip's ID register (0).\n"
    "Exits with 3 when the board is not available, after printing what is known.\n";

std::string GlobalHelp() {
  return std::string(
             "Global options (before the command):\n"
             "  --address HH         the chip's 8-bit I2C write address in hex (default 88),\n"
             "                       set as the console's address box sets it; reads go to\n"
             "                       HH + 1\n"
             "  --format F           text, csv or json (JSON Lines): see Output formats\n"
             "  --board B            the board to use, by serial number or BUS-PORT, when\n"
             "                       several are attached (see list)\n"
             "  --write REG=VALUE    write VALUE (hex) to register REG (hex, 0 to F) before\n"
             "                       the command, as the register panel's Wr button does,\n"
             "                       then read it back to see that the chip answers;\n"
             "                       repeatable, in the order given\n"
             "  --help, -h           show this text; COMMAND --help (or help COMMAND)\n"
             "                       shows a command's\n"
             "  --version            show the version\n") +
         BoardOptionsHelp();
}

bool IsHelp(const std::string& arg) {
  return arg == "--help" || arg == "-h";
}

bool IsGlobalOption(const std::string& arg) {
  for (const char* name :
       {"--address", "--write", "--format", "--board", "--simulated-board", "--usb-id", "--sim-"}) {
    if (arg.rfind(name, 0) == 0) return true;
  }
  return false;
}

// Walks the arguments of one command.
class Cursor {
 public:
  Cursor(const std::vector<std::string>& args, std::size_t at) : args_(args), at_(at) {}
  bool done() const { return at_ >= args_.size(); }
  std::size_t at() const { return at_; }
  const std::string& peek() const { return args_[at_]; }
  std::string next() { return args_[at_++]; }
  // The value of option `name` at the cursor ("--name=V" or "--name V"), which is consumed.
  std::optional<std::string> value(const std::string& name) {
    const std::string arg = next();
    if (arg.size() > name.size() && arg[name.size()] == '=') return arg.substr(name.size() + 1);
    // "--record --append" is an option left without its value, not a file named "--append".
    if (done() || peek().rfind("--", 0) == 0) return std::nullopt;
    return next();
  }
  static bool Is(const std::string& arg, const std::string& name) {
    return arg == name || arg.rfind(name + "=", 0) == 0;
  }

 private:
  const std::vector<std::string>& args_;
  std::size_t at_;
};

// A help text's usage lines (up to its first blank line) and where to read more.
ParseResult Fail(const std::string& message, const std::string& help) {
  ParseResult result;
  result.error = message;
  result.usage = help.substr(0, help.find("\n\n") + 1) + "Run \"" + kCliName + " --help\" or \"" +
                 kCliName + " COMMAND --help\" for more.\n";
  return result;
}

std::string RegisterText(const std::string& text) {
  return "REG \"" + text + "\" is not a register: give 0 to F (hex)";
}

std::optional<int> Register(const std::string& text) {
  return Hex(text, 0x0F);
}

// The options of measure, collect and script run; nullopt when the
// argument is none of the command's, with `error` set when it is one but wrong.
struct CommandParse {
  Request& request;
  Cursor& cursor;
  std::string error;

  bool Number(const std::string& name, int low, int high, const std::string& what, int& into) {
    const auto text = cursor.value(name);
    if (!text) {
      error = name + " needs a value: " + what;
      return false;
    }
    const auto value = Whole(*text, low, high);
    if (!value) {
      error = name + " \"" + *text + "\" is not " + what;
      return false;
    }
    into = *value;
    return true;
  }
  bool Text(const std::string& name, const std::string& what, std::string& into) {
    const auto text = cursor.value(name);
    if (!text || text->empty()) {
      error = name + " needs a value: " + what;
      return false;
    }
    into = *text;
    return true;
  }
  bool Interval() {
    int ms = 0;
    if (!Number("--interval", 0, kMaxIntervalMs,
                "a time in milliseconds from 0 to " + std::to_string(kMaxIntervalMs), ms)) {
      return false;
    }
    request.intervalMs = ms;
    return true;
  }
};

std::string Unexpected(const std::string& arg, const std::string& command) {
  if (IsGlobalOption(arg)) {
    return arg.substr(0, arg.find('=')) + " is a global option: give it before the command";
  }
  if (!arg.empty() && arg[0] == '-') return "unknown option \"" + arg + "\" for " + command;
  return "unexpected argument \"" + arg + "\" for " + command;
}

ParseResult ParseCommand(Request r, const std::string& command, Cursor cursor) {
  const std::string usage = CommandHelp(command).empty() ? ToolHelp() : CommandHelp(command);
  CommandParse p{r, cursor, ""};
  auto done = [&]() {
    ParseResult result;
    result.request = r;
    return result;
  };

  if (command == "info" || command == "list") {
    r.command = command == "info" ? Command::Info : Command::List;
    if (!cursor.done()) return Fail(Unexpected(cursor.peek(), command), usage);
    return done();
  }

  if (command == "reg") {
    if (cursor.done()) return Fail("reg needs read, write or dump", usage);
    const std::string sub = cursor.next();
    if (sub == "dump") {
      r.command = Command::RegDump;
      if (!cursor.done()) return Fail(Unexpected(cursor.peek(), "reg dump"), usage);
      return done();
    }
    if (sub != "read" && sub != "write") {
      return Fail("\"" + sub + "\" is not a reg command: give read, write or dump", usage);
    }
    if (cursor.done()) return Fail("reg " + sub + " needs REG, the first register (0 to F)", usage);
    const std::string regText = cursor.next();
    const auto reg = Register(regText);
    if (!reg) return Fail(RegisterText(regText), usage);
    r.reg = *reg;
    const int room = 16 - r.reg;  // registers from REG to F
    if (sub == "read") {
      r.command = Command::RegRead;
      if (!cursor.done() && cursor.peek().rfind("-", 0) != 0) {
        const std::string countText = cursor.next();
        const auto count = Whole(countText, 1, room);
        if (!count) {
          return Fail("COUNT \"" + countText + "\" is not a number of registers from " + regText +
                          " on: give 1 to " + std::to_string(room),
                      usage);
        }
        r.count = *count;
      }
      if (!cursor.done()) return Fail(Unexpected(cursor.peek(), "reg read"), usage);
      return done();
    }
    r.command = Command::RegWrite;
    while (!cursor.done()) {
      const std::string byteText = cursor.next();
      const auto byte = Hex(byteText, 0xFF);
      if (!byte) {
        if (!byteText.empty() && byteText[0] == '-') {
          return Fail(Unexpected(byteText, "reg write"), usage);
        }
        return Fail("BYTE \"" + byteText + "\" is not a byte: give 00 to FF (hex)", usage);
      }
      r.bytes.push_back(static_cast<uint8_t>(*byte));
    }
    if (r.bytes.empty()) return Fail("reg write needs at least one BYTE to write", usage);
    if (static_cast<int>(r.bytes.size()) > room) {
      return Fail(std::to_string(r.bytes.size()) + " bytes from register " + regText +
                      " go past register F: give at most " + std::to_string(room),
                  usage);
    }
    return done();
  }

  if (command == "measure") {
    r.command = Command::Measure;
    while (!cursor.done()) {
      const std::string& arg = cursor.peek();
      if (Cursor::Is(arg, "--count")) {
        if (!p.Number("--count", 1, kMaxReadings,
                      "a number of readings from 1 to " + std::to_string(kMaxReadings),
                      r.readings)) {
          return Fail(p.error, usage);
        }
      } else if (Cursor::Is(arg, "--interval")) {
        if (!p.Interval()) return Fail(p.error, usage);
      } else if (arg == "--stats") {
        cursor.next();
        r.stats = true;
      } else {
        return Fail(Unexpected(arg, "measure"), usage);
      }
    }
    return done();
  }

  if (command == "collect") {
    r.command = Command::Collect;
    while (!cursor.done()) {
      const std::string& arg = cursor.peek();
      if (Cursor::Is(arg, "--samples")) {
        // The range depends on where the samples go: checked below.
        if (!p.Number("--samples", 1, kMaxStreamSamples, "a number of samples", r.samples)) {
          return Fail(p.error, usage);
        }
      } else if (Cursor::Is(arg, "--interval")) {
        if (!p.Interval()) return Fail(p.error, usage);
      } else if (Cursor::Is(arg, "--record")) {
        if (!p.Text("--record", "the measurement file to write", r.recordPath)) {
          return Fail(p.error, usage);
        }
      } else if (Cursor::Is(arg, "--stream")) {
        if (!p.Text("--stream", "the file to write each sample to as it is read", r.streamPath)) {
          return Fail(p.error, usage);
        }
      } else if (Cursor::Is(arg, "--duration")) {
        int seconds = 0;
        if (!p.Number("--duration", 1, kMaxDurationSeconds,
                      "a time in whole seconds from 1 to " + std::to_string(kMaxDurationSeconds),
                      seconds)) {
          return Fail(p.error, usage);
        }
        r.durationSeconds = seconds;
      } else if (arg == "--append") {
        cursor.next();
        r.append = true;
      } else if (arg == "--stats") {
        cursor.next();
        r.stats = true;
      } else {
        return Fail(Unexpected(arg, "collect"), usage);
      }
    }
    if (r.recordPath.empty() && r.streamPath.empty()) {
      return Fail("collect needs --record FILE or --stream FILE, where the samples go", usage);
    }
    const std::string recordRange = "a number of samples from " + std::to_string(kMinSamples) +
                                    " to " + std::to_string(kMaxSamples);
    if (r.streamPath.empty()) {
      if (r.samples == 0) return Fail("collect needs --samples N, the samples to record", usage);
      if (r.samples > kMaxSamples) {
        return Fail("--samples \"" + std::to_string(r.samples) + "\" is not " + recordRange, usage);
      }
      if (r.durationSeconds) {
        return Fail("--duration ends a stream: it needs --stream FILE", usage);
      }
    }
    if (r.samples != 0 && r.samples < kMinSamples && !r.recordPath.empty()) {
      return Fail("--samples \"" + std::to_string(r.samples) + "\" is not " + recordRange +
                      ": a recording needs at least " + std::to_string(kMinSamples),
                  usage);
    }
    // A stream counts every reading, and the recording leaves out the
    // collection's first eleven samples, as "Write to Disk" does.
    const int streamedForRecord = kMinSamples + kFirstRecordedSample;
    if (!r.streamPath.empty() && !r.recordPath.empty() && r.samples != 0 &&
        r.samples < streamedForRecord) {
      return Fail("--samples \"" + std::to_string(r.samples) + "\" is too few for --record: a " +
                      "recording leaves out the first " + std::to_string(kFirstRecordedSample) +
                      " samples of a stream and needs " + std::to_string(kMinSamples) +
                      " after them: give at least " + std::to_string(streamedForRecord),
                  usage);
    }
    if (r.append && r.recordPath.empty()) {
      return Fail("--append adds to the measurement file: it needs --record FILE", usage);
    }
    if (r.FileOnStandardOutput() && r.recordPath == r.streamPath) {
      return Fail("--record and --stream cannot both write to the standard output", usage);
    }
    return done();
  }

  if (command == "sweep") {
    r.command = Command::Sweep;
    std::optional<std::string> fieldText, valuesText;
    while (!cursor.done()) {
      const std::string& arg = cursor.peek();
      if (Cursor::Is(arg, "--values")) {
        valuesText = cursor.value("--values");
        if (!valuesText || valuesText->empty()) {
          return Fail("--values needs the values to step through, separated by commas", usage);
        }
      } else if (Cursor::Is(arg, "--samples")) {
        if (!p.Number("--samples", 1, kMaxReadings,
                      "a number of readings a value from 1 to " + std::to_string(kMaxReadings),
                      r.samples)) {
          return Fail(p.error, usage);
        }
      } else if (Cursor::Is(arg, "--settle")) {
        if (!p.Number("--settle", 0, kMaxReadings,
                      "a number of readings to drop from 0 to " + std::to_string(kMaxReadings),
                      r.settle)) {
          return Fail(p.error, usage);
        }
      } else if (Cursor::Is(arg, "--interval")) {
        if (!p.Interval()) return Fail(p.error, usage);
      } else if (!arg.empty() && arg[0] != '-' && !fieldText) {
        fieldText = cursor.next();
      } else {
        return Fail(Unexpected(arg, "sweep"), usage);
      }
    }
    if (!fieldText) {
      return Fail("sweep needs FIELD: als-range, ir-sleep, prox-drive, mode or REG:MASK", usage);
    }
    std::string error;
    r.sweep = SweepFieldOf(*fieldText, error);
    if (error.empty()) r.sweep.values = SweepValuesOf(r.sweep, valuesText, error);
    if (!error.empty()) return Fail(error, usage);
    if (r.samples == 0) return Fail("sweep needs --samples N, the readings a value", usage);
    return done();
  }

  if (command == "script") {
    if (cursor.done()) return Fail("script needs run FILE or check FILE", usage);
    const std::string sub = cursor.next();
    if (sub == "check") {
      r.command = Command::ScriptCheck;
      if (!cursor.done() && !cursor.peek().empty() && cursor.peek()[0] != '-') {
        r.scriptPath = cursor.next();
      }
      if (!cursor.done()) return Fail(Unexpected(cursor.peek(), "script check"), usage);
      if (r.scriptPath.empty()) return Fail("script check needs FILE, the script to check", usage);
      return done();
    }
    if (sub != "run") {
      return Fail("\"" + sub + "\" is not a script command: give run or check", usage);
    }
    r.command = Command::ScriptRun;
    while (!cursor.done()) {
      const std::string& arg = cursor.peek();
      if (Cursor::Is(arg, "--export")) {
        if (!p.Text("--export", "the file to write the table to", r.exportPath)) {
          return Fail(p.error, usage);
        }
      } else if (arg == "--append") {
        cursor.next();
        r.append = true;
      } else if (Cursor::Is(arg, "--junit")) {
        if (!p.Text("--junit", "the file to write the JUnit report to", r.junitPath)) {
          return Fail(p.error, usage);
        }
      } else if (arg == "--abort-on-fail") {
        cursor.next();
        r.abortOnFail = true;
      } else if (Cursor::Is(arg, "--loop")) {
        if (!p.Number("--loop", 1, kMaxLoops,
                      "a number of passes from 1 to " + std::to_string(kMaxLoops), r.loops)) {
          return Fail(p.error, usage);
        }
      } else if (Cursor::Is(arg, "--on-pause")) {
        const auto answer = cursor.value("--on-pause");
        if (!answer || (*answer != "continue" && *answer != "abort")) {
          return Fail("--on-pause needs continue or abort", usage);
        }
        r.pauseContinues = *answer == "continue";
      } else if (!arg.empty() && arg[0] != '-' && r.scriptPath.empty()) {
        r.scriptPath = cursor.next();
      } else {
        return Fail(Unexpected(arg, "script run"), usage);
      }
    }
    if (r.scriptPath.empty()) return Fail("script run needs FILE, the script to run", usage);
    if (r.append && r.exportPath.empty()) {
      return Fail("--append adds to the export file: it needs --export CSV", usage);
    }
    if (r.exportPath == kStandardOutput && r.junitPath == kStandardOutput) {
      return Fail("--export and --junit cannot both write to the standard output", usage);
    }
    return done();
  }

  return Fail("unknown command \"" + command + "\"", ToolHelp());
}

}  // namespace

std::string ToolHelp() {
  return std::string("Usage: ") + kCliName +
         " [global options] COMMAND [ARGS]\n"
         "\n"
         "Works the KPS7110/20/60 evaluation board from the command line: the board link,\n"
         "the registers, measurements, recordings and scripts, without a window.\n"
         "\n" +
         kCommandsHelp + "\n" + GlobalHelp() + "\n" + kFormatHelp + "\n" +
         "Hex values may have a 0x prefix: reg read 0x01, --write 0x01=0xA4.\n\n" + kExitHelp;
}

std::string CommandHelp(const std::string& command) {
  if (command == "info") return kInfoHelp;
  if (command == "list") return kListHelp;
  if (command == "reg") return kRegHelp;
  if (command == "measure") return kMeasureHelp;
  if (command == "collect") return kCollectHelp;
  if (command == "sweep") return kSweepHelp;
  if (command == "script") return kScriptHelp;
  return "";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
  Request r;
  r.board.match.vendorId = kDefaultVendorId;
  r.board.match.productId = kDefaultProductId;
  const std::string usage = ToolHelp();
  std::size_t i = 0;
  for (; i < args.size() && !args[i].empty() && args[i][0] == '-'; ++i) {
    const std::string& arg = args[i];
    if (IsHelp(arg)) return {std::nullopt, ToolHelp(), "", ""};
    if (arg == "--version") {
      return {std::nullopt, std::string(kCliName) + " " + kVersionText + "\n", "", ""};
    }
    const BoardOptionStep step = ParseBoardOption(args, i, r.board);
    if (step.taken) {
      if (!step.error.empty()) return Fail(step.error, usage);
      continue;
    }
    Cursor cursor(args, i);
    if (Cursor::Is(arg, "--address")) {
      const auto text = cursor.value("--address");
      const auto address = text ? Hex(*text, 0xFF) : std::nullopt;
      if (!address) {
        return Fail(
            "--address needs the chip's 8-bit I2C write address as two hex digits "
            "(for example 88)",
            usage);
      }
      if (*address % 2 != 0) {
        return Fail("--address " + *text +
                        " is a read address: give the 8-bit write address, which is even "
                        "(the read address is one more)",
                    usage);
      }
      r.address = static_cast<uint8_t>(*address);
    } else if (Cursor::Is(arg, "--format")) {
      const auto text = cursor.value("--format");
      if (text == "text") {
        r.format = OutputFormat::Text;
      } else if (text == "csv") {
        r.format = OutputFormat::Csv;
      } else if (text == "json") {
        r.format = OutputFormat::Json;
      } else {
        return Fail(
            "--format needs text, csv or json" + (text ? ", not \"" + *text + "\"" : std::string()),
            usage);
      }
    } else if (Cursor::Is(arg, "--board")) {
      const auto text = cursor.value("--board");
      if (!text || text->empty()) {
        return Fail(
            "--board needs the board's serial number or its place on the bus as BUS-PORT "
            "(for example 1-4.2; see the list command)",
            usage);
      }
      r.boardSelector = *text;
    } else if (Cursor::Is(arg, "--write")) {
      const auto text = cursor.value("--write");
      const std::size_t equals = text ? text->find('=') : std::string::npos;
      const auto reg =
          equals == std::string::npos ? std::nullopt : Register(text->substr(0, equals));
      const auto value =
          equals == std::string::npos ? std::nullopt : Hex(text->substr(equals + 1), 0xFF);
      if (!reg || !value) {
        return Fail(
            "--write needs REG=VALUE: a register 0 to F and a byte 00 to FF, both hex "
            "(for example 01=A4)" +
                (text ? ", not \"" + *text + "\"" : std::string()),
            usage);
      }
      r.writes.push_back({*reg, static_cast<uint8_t>(*value)});
    } else {
      return Fail("unknown option \"" + arg + "\"", usage);
    }
    // The cursor took the option and its value; the loop goes on after them.
    i = cursor.at() - 1;
  }
  if (std::string error = CheckBoardOptions(r.board); !error.empty()) return Fail(error, usage);
  if (i >= args.size()) return Fail("no command given", usage);
  const std::string command = args[i];
  // "help COMMAND" and "COMMAND ... --help".
  const bool helpFirst = command == "help";
  const std::string topic = helpFirst ? (i + 1 < args.size() ? args[i + 1] : "") : command;
  bool help = helpFirst;
  for (std::size_t k = i + 1; k < args.size(); ++k) help = help || IsHelp(args[k]);
  if (help) {
    if (topic.empty()) return {std::nullopt, ToolHelp(), "", ""};
    const std::string text = CommandHelp(topic);
    if (text.empty()) return Fail("unknown command \"" + topic + "\"", usage);
    return {std::nullopt, text, "", ""};
  }
  return ParseCommand(std::move(r), command, Cursor(args, i + 1));
}

}  // namespace kps::cli
