// kps-eval-cli in process: its terminal toolkit, and the board failures a
// separate process cannot stage (no permission, a board pulled out mid-run,
// Ctrl-C).
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "cli/cli_run.h"
#include "cli/in_process.h"

namespace kps::test {
namespace {

using cli::ConsoleToolkit;

TEST(ConsoleToolkitTest, QuestionsAskedOnATerminalOrAnsweredAsTheCommandLineSaid) {
  struct Case {
    bool terminal;
    std::string typed;
    MessageResult unattended;
    MessageResult answer;
    int prompts;
  };
  const Case cases[] = {
      {true, "ok\n", MessageResult::Cancel, MessageResult::Ok, 1},
      {true, "maybe\nC\n", MessageResult::Ok, MessageResult::Cancel, 2},
      {true, "", MessageResult::Ok, MessageResult::Cancel, 1},  // end of input
      {false, "ok\n", MessageResult::Cancel, MessageResult::Cancel, 0},
      {false, "", MessageResult::Ok, MessageResult::Ok, 0},
  };
  for (const Case& c : cases) {
    std::ostringstream err;
    std::istringstream in(c.typed);
    ConsoleToolkit toolkit(err, in, c.terminal);
    toolkit.SetUnattendedAnswer(c.unattended, "--on-pause x");
    EXPECT_EQ(toolkit.ShowMessage("Pause?", MessageButtons::OkCancel), c.answer) << c.typed;
    const std::string text = err.str();
    EXPECT_EQ(text.rfind("kps-eval-cli: Pause?\n", 0), 0u) << text;
    int prompts = 0;
    for (auto at = text.find("[o/c]"); at != std::string::npos; at = text.find("[o/c]", at + 1)) {
      ++prompts;
    }
    EXPECT_EQ(prompts, c.prompts) << text;
    EXPECT_EQ(text.find("(--on-pause x)") != std::string::npos, !c.terminal) << text;
    // A plain message asks nothing.
    EXPECT_EQ(toolkit.ShowMessage("Note", MessageButtons::Ok), MessageResult::Ok);
    EXPECT_EQ(toolkit.messages(), 2);
  }
}

TEST(ConsoleToolkitTest, AnInterruptReachesTheCommandOnceAndEventsNeverNest) {
  std::ostringstream err;
  std::istringstream in;
  std::atomic<bool> interrupt{false};
  ConsoleToolkit toolkit(err, in, false, &interrupt);
  int interrupts = 0, events = 0;
  toolkit.onInterrupt = [&] { ++interrupts; };
  toolkit.onEvents = [&] {
    ++events;
    toolkit.ProcessEvents();  // a handler that processes events itself
  };
  toolkit.ProcessEvents();
  interrupt = true;
  toolkit.ProcessEvents();
  toolkit.ProcessEvents();
  EXPECT_EQ(interrupts, 1);
  EXPECT_EQ(events, 3);
  EXPECT_TRUE(toolkit.interrupted());
  toolkit.AnswerFileDialog("/tmp/a.txt");
  EXPECT_EQ(toolkit.OpenFileDialog({}), "/tmp/a.txt");
  EXPECT_EQ(toolkit.OpenFileDialog({}), "");
}

TEST(ConsoleToolkitTest, OneProgressLineRewrittenOnATerminalAndNothingElsewhere) {
  for (const bool terminal : {false, true}) {
    std::ostringstream err, out;
    std::istringstream in;
    ConsoleToolkit toolkit(err, in, false);
    if (terminal) toolkit.UseTerminal(&out);
    toolkit.ShowProgress({3, 10, "rows", 0});
    toolkit.ProcessEvents();
    toolkit.ShowProgress({4, 10, "rows", 1});
    toolkit.ProcessEvents();  // too soon to draw again
    out << "row\n";           // a line on the same terminal takes the progress away
    toolkit.ProcessEvents();  // and the next event point brings it back
    toolkit.ShowMessage("Note", MessageButtons::Ok);
    toolkit.EndProgress();
    toolkit.EndProgress();
    const std::string line = "4 of 10 rows, 0:00 elapsed, 1 failed\x1b[K";
    EXPECT_EQ(err.str(), terminal ? "\r3 of 10 rows, 0:00 elapsed\x1b[K\r\x1b[K\r" + line +
                                        "\r\x1b[Kkps-eval-cli: Note\n\r" + line + "\n"
                                  : "kps-eval-cli: Note\n");
  }
  EXPECT_EQ(cli::ProgressText({1234, 0, "samples", 0}, 3723999), "1234 samples, 1:02:03 elapsed");
}

TEST(CliSessionTest, ABoardThisUserMayNotOpenExitsThreeNamingTheUdevRule) {
  InProcess run({"reg", "dump"});
  run.transport.setInterfaceStatus = kUsbAccessDenied;
  EXPECT_EQ(run.Run(), cli::kExitNoBoard);
  const std::string err = run.err.str();
  EXPECT_NE(err.find(UdevRuleLine(UsbMatch{.vendorId = 0x1209, .productId = 0xA710})),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("is attached but cannot be opened: access denied. Install the udev rule"),
            std::string::npos)
      << err;
  EXPECT_EQ(run.out.str(), "");
}

TEST(CliSessionTest, CtrlCStopsACollectionAndTheSamplesSoFarAreWritten) {
  ScratchDir dir("interrupted");
  InProcess run({"collect", "--samples", "999", "--interval", "0", "--record", dir / "m.csv"});
  run.After(40, [&] { run.interrupt = true; });
  EXPECT_EQ(run.Run(), cli::kExitFailed);
  const std::string file = FileText(dir / "m.csv");
  // The range read, then 39 readings: the pass under way completes, and the
  // first eleven are never recorded.
  EXPECT_NE(file.find(", Qty 28\r\n"), std::string::npos) << file.substr(0, 80);
  EXPECT_NE(run.out.str().find("28 Measurement set(s) written"), std::string::npos);

  // Too early for a recording: the console's own message, and still the early end.
  InProcess early({"collect", "--samples", "999", "--interval", "0", "--record", dir / "e.csv"});
  early.After(5, [&] { early.interrupt = true; });
  EXPECT_EQ(early.Run(), cli::kExitFailed);
  EXPECT_NE(early.err.str().find("Save More Measurements"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "e.csv"));
}

// What a failed collection reading or script row does is the fault table's
// (link_faults_test.cpp); here the messages of the other commands.
TEST(CliSessionTest, BadRepliesAreFailedChecksNotData) {
  // A reply holding only its status byte.
  InProcess shortReply({"reg", "read", "0", "2"});
  shortReply.After(0, [&] { shortReply.transport.board.InjectFault(sim::Fault::ShortReply); });
  EXPECT_EQ(shortReply.Run(), cli::kExitFailed);
  EXPECT_EQ(shortReply.out.str(), "");
  EXPECT_NE(shortReply.err.str().find("reading register 00: the reply was short: 1 of 2 bytes."),
            std::string::npos)
      << shortReply.err.str();

  // A read that times out: the board did not take it.
  InProcess timeout({"measure"});
  timeout.After(1, [&] { timeout.transport.board.InjectFault(sim::Fault::Timeout); });
  EXPECT_EQ(timeout.Run(), cli::kExitNoBoard);
  EXPECT_NE(timeout.err.str().find("reading the data registers: no reply came (time-out)."),
            std::string::npos)
      << timeout.err.str();
  // A read-back that times out is the read's failure, not the write's.
  InProcess readBack({"reg", "write", "3", "12"});
  readBack.After(0, [&] { readBack.transport.board.InjectFault(sim::Fault::Timeout, 1, 1); });
  EXPECT_EQ(readBack.Run(), cli::kExitNoBoard);
  EXPECT_EQ(readBack.transport.board.chipRegister(3), 0x12);
  EXPECT_NE(readBack.err.str().find("reading register 03 back: no reply came (time-out)."),
            std::string::npos)
      << readBack.err.str();
}

// Each value through the console's own control (or the register panel), the
// statistics of its readings, and the register as it was afterwards, also
// after Ctrl-C. Failed readings are the fault table's (link_faults_test.cpp).
TEST(CliSessionTest, ASweepStepsTheFieldAndGivesTheRegisterBack) {
  const std::string header =
      "prox-drive      n  prox mean       sd     pp  als_ir mean       sd     pp   lux mean"
      "       sd     pp\n";
  const std::string at110 =
      "110             4         26        0      0         3276        0      0        100"
      "        0      0\n";
  struct Case {
    std::vector<std::string> sweep;
    int interruptAfter;  // I2C frames; 0: never
    int status;
    std::string out;
  };
  const Case cases[] = {
      {{"prox-drive"},
       0,
       cli::kExitOk,
       header + at110 +
           "220             4         52        0      0         3276        0      0        100"
           "        0      0\n"
           "Register 01 set back to A4\n"},
      // The bits of CONF that prox-drive sets; the other bits keep what CONF held.
      {{"1:08", "--values", "1"},
       0,
       cli::kExitOk,
       "1:08       n  prox mean       sd     pp  als_ir mean       sd     pp   lux mean"
       "       sd     pp\n"
       "01         4         52        0      0         3276        0      0        100"
       "        0      0\n"
       "Register 01 set back to A4\n"},
      // Ctrl-C at the first reading kept at 220 mA: the value is given as far as it got.
      {{"PROX-DRIVE", "--values", "110mA,220"},
       17,
       cli::kExitFailed,
       header + at110 +
           "220             1         52        -      0         3276        -      0        100"
           "        -      0\n"
           "Register 01 set back to A4\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--write", "01=A4", "sweep"};
    args.insert(args.end(), c.sweep.begin(), c.sweep.end());
    args.insert(args.end(), {"--samples", "4", "--settle", "2", "--interval", "0"});
    InProcess run(args);
    if (c.interruptAfter) run.After(c.interruptAfter, [&] { run.interrupt = true; });
    EXPECT_EQ(run.Run(), c.status) << run.err.str();
    EXPECT_EQ(run.out.str(), c.out);
    EXPECT_EQ(run.transport.board.chipRegister(1), 0xA4);
  }
}

TEST(CliSessionTest, CtrlCBeforeTheFirstRowRunsNothingAndStillExports) {
  ScratchDir dir("early");
  std::ofstream(dir / "s.txt") << "01,A4\n01,,A4\n";
  InProcess run({"script", "run", dir / "s.txt", "--export", dir / "s.csv"});
  run.interrupt = true;
  EXPECT_EQ(run.Run(), cli::kExitFailed);
  EXPECT_NE(run.err.str().find("Interrupted before the first row: nothing was run."),
            std::string::npos);
  EXPECT_EQ(run.out.str(), "Total 1 Pass 0 Fail 0\n");
  EXPECT_EQ(run.transport.board.chipRegister(1), 0);
  EXPECT_NE(FileText(dir / "s.csv").find("END"), std::string::npos);
}

}  // namespace
}  // namespace kps::test
