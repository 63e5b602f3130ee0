// Two boards on the bus: kps-eval-cli lists them, takes only the one --board
// names, refuses to guess, and tells a board another program holds. The same
// choice on the simulated board, whose serial number --sim-serial sets.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/console_toolkit.h"
#include "emulated/board_rigs.h"

namespace kps::test {
namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome RunTool(const std::vector<std::string>& args, Transport& transport) {
  const cli::ParseResult parsed = cli::ParseArguments(args);
  EXPECT_TRUE(parsed.request) << parsed.error;
  if (!parsed.request) return {};
  std::ostringstream out, err;
  std::istringstream in;
  std::atomic<bool> interrupt{false};
  cli::ConsoleToolkit toolkit(err, in, false, &interrupt);
  const int status = cli::Run(*parsed.request, transport, toolkit, out, "libusb 1.0");
  return {status, out.str(), err.str()};
}

bool Matches(const std::string& text, const std::string& pattern) {
  return pattern.empty() || std::regex_search(text, std::regex(pattern));
}

TEST(SeveralBoardsTest, TheToolListsBothBoardsTakesOnlyTheChosenOneAndNamesThemWhenNoneIsChosen) {
  if (!EmulatedUsbBus::Available()) GTEST_SKIP() << EmulatedUsbBus::kUnavailable;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;  // patterns
    int claims1, claims2;
    bool denied1 = false, held2 = false;
  };
  const std::vector<std::string> read{"reg", "read", "0"};
  const auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), read.begin(), read.end());
    return args;
  };
  const Case cases[] = {
      {{"list"},
       0,
       "Bus +Port +Address +Serial +Openable\n1 +1-1 +[0-9]+ +EMU-0001 +yes\n"
       "1 +1-2 +[0-9]+ +EMU-0002 +yes\n$",
       "^$",
       0,
       0},
      {{"--format", "json", "list"},
       0,
       R"re(\{"bus":1,"port":"1-2","address":[0-9]+,"serial":"EMU-0002","maker":"Emulated )re"
       R"re(hardware","product":"KPS7110 evaluation board \(emulated\)","openable":true\})re",
       "",
       0,
       0},
      {{"--format", "csv", "list"}, 0, "1,1-1,[0-9]+,,,,false\r\n", "", 0, 0, true},
      {{"list"}, 0, "1 +1-1 +[0-9]+ +- +no: access denied\n", "", 0, 0, true},
      {read, 2, "^$",
       "2 boards with USB id 1209:a710 are attached: EMU-0001 at 1-1, EMU-0002 at 1-2", 0, 0},
      {with({"--board", "EMU-0002"}), 0, "^00 71\n$", "^$", 0, 1},
      {with({"--board", "1-1"}), 0, "^00 71\n$", "^$", 1, 0},
      {with({"--board", "EMU-0003"}), 3, "^$",
       "has the serial number EMU-0003; attached: EMU-0001 at 1-1, EMU-0002 at 1-2", 0, 0},
      {with({"--board", "EMU-0002"}), 3, "^$",
       "\\(USB id 1209:a710\\) is in use by another program", 0, 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    EmulatedUsbBus bus;
    EmulatedBoard first(bus, {.serial = "EMU-0001", .port = 1});
    EmulatedBoard second(bus, {.serial = "EMU-0002", .port = 2});
    first.DenyAccess(c.denied1);
    second.HeldElsewhere(c.held2);
    Outcome outcome;
    {
      usb::LibusbTransport transport;
      outcome = RunTool(c.args, transport);
    }
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    EXPECT_TRUE(Matches(outcome.out, c.out)) << outcome.out;
    EXPECT_TRUE(Matches(outcome.err, c.err)) << outcome.err;
    EXPECT_EQ(first.counts().claims, c.claims1);
    EXPECT_EQ(second.counts().claims, c.claims2);
    EXPECT_EQ(bus.Leaks(), std::vector<std::string>{});
  }
}

TEST(SeveralBoardsTest, TheSimulatedBoardIsListedAndChosenByItsSerialNumberOrPlace) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {{"list"}, 0, "\n1 +1-1 +1 +SIM0001 +yes\n$", "^$"},
      {{"--sim-serial", "BENCH-7", "--format", "json", "list"}, 0, R"("serial":"BENCH-7")", "^$"},
      {{"--sim-unplugged", "list"}, 3, "^$", "No board with USB id 1209:a710 is attached.\n$"},
      {{"--sim-serial", "BENCH-7", "--board", "BENCH-7", "info"},
       0,
       "Board serial number: BENCH-7\n",
       "^$"},
      {{"--board", "1-1", "reg", "read", "0"}, 0, "^00 71\n$", "^$"},
      {{"--board", "BENCH-7", "reg", "read", "0"},
       3,
       "^$",
       "has the serial number BENCH-7; attached: SIM0001 at 1-1.\n$"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    std::vector<std::string> args{"--simulated-board"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const cli::ParseResult parsed = cli::ParseArguments(args);
    ASSERT_TRUE(parsed.request) << parsed.error;
    sim::SimOptions options{.plugged = parsed.request->board.simPlugged};
    if (parsed.request->board.simSerial) options.serial = *parsed.request->board.simSerial;
    sim::SimulatedBoard board(options);
    const Outcome outcome = RunTool(args, board);
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    EXPECT_TRUE(Matches(outcome.out, c.out)) << outcome.out;
    EXPECT_TRUE(Matches(outcome.err, c.err)) << outcome.err;
  }
}

}  // namespace
}  // namespace kps::test
