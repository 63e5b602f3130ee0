// kps-eval-cli run as a separate program against the simulated board, its
// files compared with what the GUI's own windows write for the same work.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "acquisition/measurement_file.h"
#include "cli/cli_run.h"
#include "scripting/table_export.h"
#include "sim/sensor_chip.h"
#include "support/opened_console.h"

namespace kps::test {
namespace {

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

constexpr const char* kConfigScript =
    "# configuration and thresholds, written and read back\n"
    "01,A4\n"
    "01,,A4\n"
    "02,22\n"
    "02,,22\n"
    "03,1040\n"
    "03,,1040\n"
    "05,11A2FF\n"
    "05,,11A2FF\n"
    "08,,XX\n"
    "09,,XXXX\n";

TEST(CliEndToEndTest, ScriptPassesAndExportsWhatTheScriptWindowExports) {
  ScratchDir dir("config");
  Write(dir / "config.txt", kConfigScript);
  const CliResult cli =
      RunSim({"script", "run", dir / "config.txt", "--export", dir / "config.csv"}, dir);
  EXPECT_EQ(cli.status, 0) << cli.err;
  const auto lines = Lines(cli.out);
  ASSERT_EQ(lines.size(), 12u) << cli.out;
  EXPECT_EQ(lines[2], "line 003  Reg:1 R:1  adr 88  reg 01  expect A4  read A4  pass");
  EXPECT_EQ(lines[9], "line 010  Reg:1 R:1  adr 88  reg 08  expect XX  read 1A  capture 26");
  EXPECT_EQ(lines.back(), "Total 6 Pass 4 Fail 0");

  // The same script run from the console's "Script" window on a fresh board.
  Opened gui;
  gui.c().rec.mnuScript.Click();
  ScriptWindow& window = *gui.app->scripts.open().front();
  gui.toolkit.fileAnswers.push_back(dir / "config.txt");
  window.mnuScript_Read.Click();
  window.cmdExecAll.Click();
  EXPECT_EQ(window.txtRdFails.text(), "0");
  EXPECT_EQ(FileText(dir / "config.csv"), ScriptTableCsv(window.vbalGrid1));
}

TEST(CliEndToEndTest, FailedComparisonsAbortOnFailLoopsAndPauses) {
  ScratchDir dir("fail");
  Write(dir / "fail.txt", "01,A4\n01,,00\n01,,A4\n");
  Write(dir / "pause.txt", "01,A4\n`w\n01,,A4\n");
  Write(dir / "baddelay.txt", "`wabc\n01,,00\n");
  Write(dir / "empty.txt", "");
  Write(dir / "illegal.txt", "`AFF\n01,,00\n");
  Write(dir / "escape.txt", "01,,00 # esc\x1b[31m\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> lastLines;  // the end of the output
    std::string message;                 // part of the errors
  };
  const Case cases[] = {
      {{"script", "run", dir / "fail.txt"},
       1,
       {"line 002  Reg:1 R:1  adr 88  reg 01  expect 00  read A4  FAIL",
        "line 003  Reg:1 R:1  adr 88  reg 01  expect A4  read A4  pass", "Total 2 Pass 1 Fail 1"},
       ""},
      {{"script", "run", dir / "fail.txt", "--abort-on-fail"},
       1,
       {"line 002  Reg:1 R:1  adr 88  reg 01  expect 00  read A4  FAIL", "Total 2 Pass 0 Fail 1"},
       "The run ended at line 2 of 3."},
      {{"script", "run", dir / "fail.txt", "--loop", "3"},
       1,
       {"Loop 2: Total 2 Pass 1 Fail 1", "line 001  Reg:1 W:1  adr 88  reg 01  write A4  ok",
        "line 002  Reg:1 R:1  adr 88  reg 01  expect 00  read A4  FAIL",
        "line 003  Reg:1 R:1  adr 88  reg 01  expect A4  read A4  pass",
        "Loop 3: Total 2 Pass 1 Fail 1", "Total 6 Pass 3 Fail 3"},
       ""},
      // A row the loader marked in error fails the run; so does a script with nothing to run.
      {{"script", "run", dir / "baddelay.txt"},
       1,
       {"line 001  Error Delay_Time  adr 88  FAIL (the row is in error)  # Delay Error: Time not "
        "numeric",
        "line 002  Reg:1 R:1  adr 88  reg 01  expect 00  read 00  pass", "Total 1 Pass 1 Fail 1"},
       ""},
      {{"script", "run", dir / "empty.txt"}, 1, {}, "has no lines: nothing was run."},
      // An address that is none is an error row, which fails; the rows after
      // it keep the address before it.
      {{"script", "run", dir / "illegal.txt"},
       1,
       {"line 002  Reg:1 R:1  adr 88  reg 01  expect 00  read 00  pass", "Total 1 Pass 1 Fail 1"},
       ""},
      // What a script holds never reaches the terminal as control characters.
      {{"script", "run", dir / "escape.txt"},
       0,
       {"line 001  Reg:1 R:1  adr 88  reg 01  expect 00  read 00  pass  # esc?[31m",
        "Total 1 Pass 1 Fail 0"},
       ""},
      // A pause answered Cancel in the first of two passes.
      {{"script", "run", dir / "pause.txt", "--loop", "2"},
       1,
       {"Loop 1: Total 1 Pass 0 Fail 0", "Total 1 Pass 0 Fail 0"},
       "The run ended at line 2 of 3 in pass 1 of 2."},
      // No terminal: a pause row aborts unless told otherwise.
      {{"script", "run", dir / "pause.txt"},
       1,
       {"line 002  Cmd: Delay Keypress  adr 88  pause", "Total 1 Pass 0 Fail 0"},
       "answered Cancel (--on-pause abort)"},
      {{"script", "run", dir / "pause.txt", "--on-pause", "continue"},
       0,
       {"line 002  Cmd: Delay Keypress  adr 88  pause",
        "line 003  Reg:1 R:1  adr 88  reg 01  expect A4  read A4  pass", "Total 1 Pass 1 Fail 0"},
       "answered OK (--on-pause continue)"},
  };
  for (const Case& c : cases) {
    const CliResult cli = RunSim(c.args, dir);
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(cli.status, c.status) << cli.err;
    const auto lines = Lines(cli.out);
    ASSERT_GE(lines.size(), c.lastLines.size()) << cli.out;
    EXPECT_EQ(
        std::vector<std::string>(lines.end() - static_cast<long>(c.lastLines.size()), lines.end()),
        c.lastLines);
    EXPECT_TRUE(Has(cli.err, c.message)) << cli.err;
  }
}

// No board is needed, nor looked for: these run without --simulated-board.
TEST(CliEndToEndTest, ScriptCheckListsErrorRowsAndWarnings) {
  ScratchDir dir("check");
  Write(dir / "clean.txt", "\xEF\xBB\xBF`A8A \r\n01,A4\r\n08,,XX\r\n`w 10\t\r\n");
  Write(dir / "warn.txt", "08,,X\n");
  Write(dir / "bad.txt", "01,ZZ\n# ok\n08,,00XX\n`w-5 # neg\nhello\x1b\n");
  Write(dir / "utf16.txt", std::string("\xFF\xFE"
                                       "1\0"
                                       "0\0",
                                       6));
  struct Case {
    std::string file;
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {"clean.txt", 0, "4 lines: 0 error rows, 0 warnings\n", ""},
      {"warn.txt", 0,
       "line 1: Warning: Data_Rd \"0X\" has an X but no XX: the row compares nothing and "
       "captures nothing\n1 line: 0 error rows, 1 warning\n",
       ""},
      {"bad.txt", 1,
       "line 1: Hex Error: Data_Wr \"ZZ\" is not hex\n"
       "line 3: Warning: Data_Rd \"00XX\": a row with an X compares nothing, so its hex digits "
       "are not checked\n"
       "line 4: Delay Error: -5 is not a whole number of milliseconds from 0 to 32767\n"
       "line 5: Hex Error: Reg Adr \"HELLO?\" is not hex\n"
       "5 lines: 3 error rows, 1 warning\n",
       ""},
      {"utf16.txt", 2, "", "it is UTF-16 text"},
      {"missing.txt", 2, "", "missing.txt\": No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const CliResult cli = RunCli({"script", "check", dir / c.file}, dir);
    EXPECT_EQ(cli.status, c.status) << cli.err;
    EXPECT_EQ(cli.out, c.out);
    EXPECT_TRUE(Has(cli.err, c.err)) << cli.err;
  }
}

TEST(CliEndToEndTest, CollectWritesTheConsolesMeasurementFile) {
  ScratchDir dir("collect");
  // A ramp makes every conversion differ, so a sample lost, doubled or
  // shifted shows.
  const CliResult cli = RunSim({"--sim-scene", "ramp", "--write", "01=A4", "collect", "--samples",
                                "12", "--interval", "0", "--record", dir / "m.csv"},
                               dir);
  ASSERT_EQ(cli.status, 0) << cli.err;
  EXPECT_TRUE(Has(cli.out, "12 Measurement set(s) written: ")) << cli.out;
  const std::string file = FileText(dir / "m.csv");

  // The chip of a fresh simulated board, configured and read as each pass reads it.
  sim::SceneShape ramp = *sim::SceneShapeFromName("ramp");
  sim::SensorChip chip(1);
  chip.setScene({.shape = ramp});
  chip.PowerOn();
  const uint8_t conf[] = {0x01, 0xA4};
  chip.Write(conf);
  std::array<double, ConsoleShared::kHistorySize> prox{}, als{};
  const int sampleIndex = 12 + kFirstRecordedSample;
  for (int slot = 0; slot < sampleIndex; ++slot) {
    const uint8_t pointer[] = {0x08};
    chip.Write(pointer);
    std::array<uint8_t, 3> data{};
    chip.Read(data);
    prox[static_cast<std::size_t>(slot)] = data[0];
    als[static_cast<std::size_t>(slot)] = data[1] + 256 * data[2];
  }
  // The time is the one the file carries: "..., 12-06-2026,14:49:44, Qty 12".
  const std::size_t comma = file.find(",Interval 0, ");
  ASSERT_NE(comma, std::string::npos) << file;
  const std::string stamp = file.substr(comma + 13, 19);
  LocalTime time;
  ASSERT_EQ(std::sscanf(stamp.c_str(), "%d-%d-%d,%d:%d:%d", &time.month, &time.day, &time.year,
                        &time.hour, &time.minute, &time.second),
            6)
      << stamp;
  EXPECT_EQ(file, MeasurementBlock({"00", "A4", "0", time}, prox, als, sampleIndex));

  // --append adds a second block after the first; without it the file holds one.
  auto blocks = [&] {
    const std::string text = FileText(dir / "m.csv");
    std::size_t n = 0;
    for (std::size_t at = text.find("END\r\n"); at != std::string::npos;
         at = text.find("END\r\n", at + 1)) {
      ++n;
    }
    return n;
  };
  const std::vector<std::string> again = {"--write",    "01=A4", "collect",  "--samples",  "9",
                                          "--interval", "0",     "--record", dir / "m.csv"};
  std::vector<std::string> appended = again;
  appended.push_back("--append");
  ASSERT_EQ(RunSim(appended, dir).status, 0);
  EXPECT_EQ(blocks(), 2u);
  EXPECT_EQ(FileText(dir / "m.csv").rfind(file, 0), 0u);
  ASSERT_EQ(RunSim(again, dir).status, 0);
  EXPECT_EQ(blocks(), 1u);
}

TEST(CliEndToEndTest, RegistersAndMeasurements) {
  ScratchDir dir("regs");
  const CliResult read = RunSim({"--write", "01=A6", "reg", "read", "0", "2"}, dir);
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out, "00 71\n01 A6\n");

  const CliResult dump = RunSim({"reg", "dump"}, dir);
  EXPECT_EQ(dump.status, 0) << dump.err;
  const auto dumped = Lines(dump.out);
  ASSERT_EQ(dumped.size(), 16u);
  EXPECT_EQ(dumped[1], "01 00  CONF");
  EXPECT_EQ(dumped[10], "0A 00  ALS2");

  // Written, then read back; a register that keeps its own value fails the check.
  const CliResult written = RunSim({"reg", "write", "5", "11", "a2"}, dir);
  EXPECT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(written.out, "05 11\n06 A2\n");
  const CliResult id = RunSim({"reg", "write", "0", "5"}, dir);
  EXPECT_EQ(id.status, 1);
  EXPECT_TRUE(Has(id.err, "register 00 reads back 71 after 05 was written.")) << id.err;

  // Nobody answers at 8A.
  const CliResult elsewhere = RunSim({"--address", "8A", "reg", "read", "1"}, dir);
  EXPECT_EQ(elsewhere.status, 1);
  EXPECT_EQ(elsewhere.out, "");
  EXPECT_TRUE(Has(elsewhere.err, "the chip at address 8A did not acknowledge")) << elsewhere.err;
  // A --write the chip never got stops before the command.
  // Nor does a collection start without it.
  const CliResult nobody =
      RunSim({"--address", "8A", "collect", "--samples", "9", "--record", dir / "m.csv"}, dir);
  EXPECT_EQ(nobody.status, 1);
  EXPECT_TRUE(Has(nobody.err, "reading register 01: the chip at address 8A did not acknowledge"));
  EXPECT_FALSE(std::filesystem::exists(dir / "m.csv"));
  const CliResult lost = RunSim({"--address", "8A", "--write", "01=A4", "measure"}, dir);
  EXPECT_EQ(lost.status, 1);
  EXPECT_EQ(lost.out, "");
  EXPECT_TRUE(Has(lost.err, "reading register 01 back: the chip at address 8A did not acknowledge"))
      << lost.err;
  // Unless the chip sits there.
  EXPECT_EQ(RunSim({"--sim-address", "8A", "--address", "8A", "reg", "read", "0"}, dir).out,
            "00 71\n");

  // 100 lux on the 2000 lux range (CONF 0x02), then on the 125 lux range.
  const CliResult wide =
      RunSim({"--write", "01=A6", "measure", "--count", "2", "--interval=0"}, dir);
  EXPECT_EQ(wide.status, 0) << wide.err;
  EXPECT_EQ(wide.out,
            "Reading   Prox  ALS/IR  Lux\n"
            "      1     26     205  0100.12\n"
            "      2     26     205  0100.12\n");
  EXPECT_TRUE(Has(RunSim({"--write", "01=A4", "measure"}, dir).out, "3276  0100.00"));
  EXPECT_TRUE(Has(RunSim({"--write", "01=A5", "measure"}, dir).out, "  -\n"));
}

TEST(CliEndToEndTest, BadUsageAndUnreadableFilesExitTwoSayingWhy) {
  ScratchDir dir("usage");
  Write(dir / "ok.txt", "01,,00\n");
  Write(dir / "long.txt", std::string(1001, '\n'));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{"--frob", "info"}, "unknown option \"--frob\""},
      {{"info", "--address", "8A"}, "--address is a global option: give it before the command"},
      {{"--address", "89", "info"}, "--address 89 is a read address"},
      {{"--address", "123", "info"}, "--address needs the chip's 8-bit I2C write address"},
      {{"--write", "10=01", "info"}, "--write needs REG=VALUE"},
      {{"--write=01", "info"}, "not \"01\""},
      {{"reg"}, "reg needs read, write or dump"},
      {{"reg", "read", "G"}, "REG \"G\" is not a register: give 0 to F (hex)"},
      {{"reg", "read", "C", "5"},
       "COUNT \"5\" is not a number of registers from C on: give 1 to 4"},
      {{"reg", "write", "1"}, "reg write needs at least one BYTE"},
      {{"reg", "write", "1", "100"}, "BYTE \"100\" is not a byte"},
      {{"reg", "write", "E", "1", "2", "3"}, "3 bytes from register E go past register F"},
      {{"measure", "--count", "-1"}, "--count \"-1\" is not a number of readings"},
      {{"measure", "--count", "0"}, "--count \"0\" is not a number of readings from 1 to 1000000"},
      {{"measure", "--interval"}, "--interval needs a value"},
      {{"collect", "--samples", "8", "--record", "x"}, "from 9 to 999"},
      {{"collect", "--samples", "9"}, "collect needs --record FILE"},
      {{"collect", "--record", "x"}, "collect needs --samples N"},
      {{"sweep", "--samples", "5"}, "sweep needs FIELD"},
      {{"sweep", "led-colour", "--samples", "5"}, "FIELD \"led-colour\" is not a field"},
      {{"sweep", "10:08", "--samples", "5"}, "\"10\" is not a register: give 0 to F"},
      {{"sweep", "1:0", "--samples", "5"}, "the mask 00 selects no bits"},
      {{"sweep", "1:x", "--samples", "5"}, "\"x\" is not a mask"},
      {{"sweep", "1:70", "--values", "7,8", "--samples", "5"},
       "\"8\" is not a value of 1:70: give a hex value from 0 to 07"},
      {{"sweep", "PROX-DRIVE", "--values", "110mA,330", "--samples", "5"},
       "\"330\" is not a value of prox-drive: give 110, 220 (mA)"},
      {{"sweep", "mode", "--values", "als,", "--samples", "5"}, "\"\" is not a value of mode"},
      {{"sweep", "mode"}, "sweep needs --samples N"},
      {{"sweep", "mode", "--samples", "0"}, "--samples \"0\" is not a number of readings a value"},
      {{"sweep", "mode", "--samples", "1", "--settle", "x"}, "--settle \"x\" is not"},
      {{"sweep", "mode", "ir", "--samples", "1"}, "unexpected argument \"ir\" for sweep"},
      {{"script", "go", "x"}, "\"go\" is not a script command: give run or check"},
      {{"script", "check"}, "script check needs FILE"},
      {{"script", "check", "a", "b"}, "unexpected argument \"b\" for script check"},
      {{"script", "run"}, "script run needs FILE"},
      {{"script", "run", "a", "b"}, "unexpected argument \"b\" for script run"},
      {{"script", "run", "a", "--append"}, "--append adds to the export file: it needs --export"},
      {{"script", "run", "a", "--on-pause", "later"}, "--on-pause needs continue or abort"},
      {{"script", "run", "a", "--loop", "x"}, "--loop \"x\" is not a number of passes"},
      {{"script", "run", "a", "--export", "--append"}, "--export needs a value"},
      {{"help", "bogus"}, "unknown command \"bogus\""},
      // Files that cannot be read or written, found before any work is done.
      {{"script", "run", dir / "missing.txt"}, "missing.txt\": No such file or directory"},
      {{"script", "run", dir / "long.txt"}, "1000"},
      {{"collect", "--samples", "9", "--record", dir / "no/m.csv"}, "does not exist"},
      {{"script", "run", dir / "ok.txt", "--export", dir / "no/t.csv"},
       "Cannot write the table file"},
  };
  for (const auto& [args, message] : cases) {
    const CliResult cli = RunSim(args, dir);
    EXPECT_EQ(cli.status, 2) << message;
    EXPECT_TRUE(Has(cli.err, message)) << cli.err;
    EXPECT_EQ(cli.out, "") << message;  // nothing was run
  }
  // Help and version are not mistakes.
  const CliResult help = RunCli({"--help"}, dir);
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(Has(help.out, "script run FILE")) << help.out;
  EXPECT_TRUE(Has(RunCli({"reg", "write", "--help"}, dir).out, "reg write REG BYTE [BYTE ...]"));
  EXPECT_EQ(RunCli({"--version"}, dir).out.rfind("kps-eval-cli 1.", 0), 0u);
  // Results that cannot reach the standard output are lost, not a success.
  const CliResult full = RunCli({"--simulated-board", "reg", "read", "0"}, dir, "/dev/full");
  EXPECT_EQ(full.status, 2);
  EXPECT_TRUE(Has(full.err, "cannot write the standard output")) << full.err;
}

TEST(CliEndToEndTest, NoBoardExitsThree) {
  ScratchDir dir("unplugged");
  const CliResult dump = RunSim({"--sim-unplugged", "reg", "dump"}, dir);
  EXPECT_EQ(dump.status, 3);
  EXPECT_EQ(dump.out, "");
  EXPECT_TRUE(Has(dump.err, "the evaluation board (USB id 1209:a710) is not attached."))
      << dump.err;

  // What is known is still reported.
  const CliResult info = RunSim({"--sim-unplugged", "info"}, dir);
  EXPECT_EQ(info.status, 3);
  EXPECT_TRUE(Has(info.out, "Board attached: no\n")) << info.out;

  const CliResult attached = RunSim({"info"}, dir);
  EXPECT_EQ(attached.status, 0) << attached.err;
  EXPECT_TRUE(Has(attached.out, "Board attached: yes\n")) << attached.out;
  EXPECT_TRUE(Has(attached.out, "Chip ID (register 00): 71\n")) << attached.out;
}

}  // namespace
}  // namespace kps::test
