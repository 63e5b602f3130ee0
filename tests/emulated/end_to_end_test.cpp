// kps-eval-cli over the real libusb and the emulated board gives what it gives
// on the simulated board: the same lines and the same files, apart from the
// lines that name the transport and the board's own strings. The tool's entry
// function runs in this process, where the emulation lives.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/console_toolkit.h"
#include "emulated/board_rigs.h"
#include "support/file_text.h"

namespace kps::test {
namespace {

struct Outcome {
  int status = -1;
  std::string out, err, file;
};

// The lines that differ by nature between the two boards, and the clock.
std::string Comparable(const std::string& text) {
  static const std::regex kDiffers(
      "(USB access|Board|Board maker|Board product|Board serial number): [^\n]*");
  static const std::regex kClock("[0-9]{2}-[0-9]{2}-[0-9]{4}[ ,][0-9]{2}:[0-9]{2}:[0-9]{2}");
  return std::regex_replace(std::regex_replace(text, kDiffers, "$1: ..."), kClock, "<time>");
}

template <class Rig>
Outcome RunTool(const std::vector<std::string>& args, const std::string& file) {
  Rig rig;
  const cli::ParseResult parsed = cli::ParseArguments(args);
  EXPECT_TRUE(parsed.request) << parsed.error;
  std::ostringstream out, err;
  std::istringstream in;
  std::atomic<bool> interrupt{false};
  cli::ConsoleToolkit toolkit(err, in, false, &interrupt);
  Outcome outcome;
  outcome.status = cli::Run(*parsed.request, rig.transport(), toolkit, out, "libusb 1.0");
  outcome.out = out.str();
  outcome.err = err.str();
  if (!file.empty()) outcome.file = FileText(file);
  if constexpr (std::is_same_v<Rig, UsbRig>) {
    EXPECT_EQ(rig.Finish(), std::vector<std::string>{}) << "libusb_exit found leaks";
    EXPECT_EQ(rig.board.counts().unclaimedUse, 0);
  }
  return outcome;
}

TEST(EmulatedEndToEndTest, TheToolGivesTheSameLinesAndFilesOverLibusbAsOnTheSimulatedBoard) {
  if (!EmulatedUsbBus::Available()) GTEST_SKIP() << EmulatedUsbBus::kUnavailable;
  ScratchDir dir("emulated_cli");
  std::ofstream(dir / "steps.txt") << "# enable, read back, capture a measurement\n"
                                      "01,A4\n01,,A4\n02,,00\n08,,XXXXXX\n";
  const std::string record = dir / "record.txt";
  const std::string exported = dir / "steps.csv";
  struct Case {
    std::vector<std::string> args;
    std::string file;
  };
  const Case cases[] = {
      {{"info"}, ""},
      {{"--write", "1=A4", "reg", "dump"}, ""},
      {{"--write", "1=A4", "collect", "--samples", "20", "--record", record}, record},
      {{"script", "run", dir / "steps.txt", "--export", exported}, exported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    std::filesystem::remove(c.file);
    const Outcome simulated = RunTool<SimRig>(c.args, c.file);
    std::filesystem::remove(c.file);
    const Outcome emulated = RunTool<UsbRig>(c.args, c.file);
    EXPECT_EQ(emulated.status, 0) << emulated.err;
    EXPECT_EQ(emulated.status, simulated.status);
    EXPECT_EQ(Comparable(emulated.out), Comparable(simulated.out));
    EXPECT_EQ(Comparable(emulated.err), Comparable(simulated.err));
    EXPECT_EQ(Comparable(emulated.file), Comparable(simulated.file));
    if (c.args[0] == "info") {
      EXPECT_TRUE(Has(emulated.out, "Board serial number: EMU-0001")) << emulated.out;
      EXPECT_TRUE(Has(emulated.out, "Chip ID (register 00): 71")) << emulated.out;
    }
    if (!c.file.empty()) {
      EXPECT_FALSE(emulated.file.empty());
    }
  }
}

}  // namespace
}  // namespace kps::test
