// The script window driven as a user drives it: opened from the console's
// menu, a script loaded through the open dialog, rows clicked or run all,
// against scripted board replies (where exact bytes matter) or the simulated
// board.
#include <gtest/gtest.h>

#include <fstream>

#include "core/text.h"
#include "support/file_text.h"
#include "support/opened_console.h"

namespace kps {
namespace {

using Bytes = std::vector<uint8_t>;

struct Scripted : test::Opened {
  Scripted() {
    c().rec.mnuScript.Click();
    transport.calls.clear();
  }
  ScriptWindow& w() { return *app->scripts.open().front(); }
  ScriptTable& t() { return w().vbalGrid1; }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // Loads the lines (joined by CR LF) through "Open Script File".
  void Load(const std::string& text, const std::string& name = "test.txt") {
    toolkit.fileAnswers.push_back(Write(name, text));
    w().mnuScript_Read.Click();
  }
  void Click(int row) { t().CellClick(row, 1); }
  // The length of each reply asked for on the I2C pipe.
  std::vector<uint32_t> ReplyLengths() const {
    std::vector<uint32_t> out;
    for (const auto& f : transport.Frames())
      if (f.op == "in" && f.pipe == 130) out.push_back(f.length);
    return out;
  }
  std::string Counters() {
    return w().txttotReads.text() + "/" + w().txtRdPass.text() + "/" + w().txtRdFails.text();
  }
  test::ScratchDir dir{"script"};
};

TEST(ScriptWindowTest, OpensEmptyFromTheConsoleMenuAndLoadsAScript) {
  Scripted s;
  ScriptWindow& w = s.w();
  EXPECT_TRUE(w.form.visible());
  EXPECT_EQ(w.form.caption(), "No Script File Selected");
  EXPECT_EQ(s.t().rowCount(), 24);
  EXPECT_EQ(s.t().column(kColOperation).header, "Operation");
  EXPECT_FALSE(w.frmScriptExec.visible());
  EXPECT_FALSE(w.cmdReload2.visible());
  EXPECT_EQ(w.txtRunning.text(), "1");
  // "Script" again brings the same window back; the console stays usable.
  s.c().rec.mnuScript.Click();
  EXPECT_EQ(s.app->scripts.open().size(), 1u);

  s.Load("10,05\r\n08,,XXXX\n#c");
  EXPECT_EQ(s.toolkit.fileDialogs.back().title, "Select Script File to Open");
  EXPECT_EQ(s.toolkit.fileDialogs.back().filter, "Norvale Script Files |*.txt|All Files|*.*");
  EXPECT_EQ(w.form.caption(), "[ test.txt ]    Script IC Send / Receive");
  EXPECT_EQ(s.t().rowCount(), 3);
  EXPECT_EQ(w.txtTotLines.text(), "3");
  EXPECT_EQ(s.Counters(), "1/0/0");
  EXPECT_EQ(w.txtScriptLine1.text(), "10:35:12");
  EXPECT_TRUE(w.frmScriptExec.visible());
  EXPECT_TRUE(w.cmdReload2.visible());
  EXPECT_TRUE(s.Sent().empty());  // loading talks to no board
}

// The worked example: the frames byte for byte, the status checks, the
// capture, and the export of the table after the run.
TEST(ScriptWindowTest, RunAllSendsTheRowsFramesAndExportsTheResult) {
  Scripted s;
  s.Load("10,05\r\n08,,XXXX\r\n");
  s.transport.i2cReplies = {{3}, {2, 0xD2, 0x04}};
  s.w().cmdExecAll.Click();

  EXPECT_EQ(s.Sent(), (std::vector<Bytes>{{0x02, 0x88, 0x10, 0x05}, {0x02, 0x89, 0x08}}));
  EXPECT_EQ(s.ReplyLengths()[1], 3u);
  EXPECT_EQ(s.t().text(2, kColActRd), "D204");
  EXPECT_EQ(s.t().text(2, kColADDecimal), "  1234");
  EXPECT_EQ(s.Counters(), "1/0/0");  // a capture is neither pass nor fail
  for (int r : {1, 2}) EXPECT_EQ(s.t().cell(r, kColI2CAdr).back, kCellGreen);
  EXPECT_EQ(s.t().cell(1, kColDataWr).back, std::nullopt);
  EXPECT_EQ(s.t().cell(2, kColActRd).back, std::nullopt);
  EXPECT_EQ(s.w().txtRunning.text(), "Done");

  const std::string csv = s.dir / "out.csv";
  s.w().txtFilePath.setText(csv);
  s.w().cmdStartRec.Click();
  const std::string block =
      "Line,I2C Adr,Reg Adr,Data_Wr,Data_Rd,Act_Rd,Operation,Comment,AD Decimal, \r\n"
      "001,88,10,05,,, Reg:1 W:1,,\r\n"
      "002,88,08,,XXXX,D204, Reg:1 R:2,,  1234\r\n"
      "END\r\n";
  EXPECT_EQ(test::FileText(csv), block);
  EXPECT_EQ(s.w().Label18.caption(), " 3 Script written: 12-05-2026 10:35:12");
  s.w().chkAppend.setChecked(true);
  s.w().cmdStartRec.Click();
  EXPECT_EQ(test::FileText(csv), block + block);
  s.w().chkAppend.setChecked(false);
  s.w().cmdStartRec.Click();
  EXPECT_EQ(test::FileText(csv), block);

  // Wrong counts in the replies mark the data cells, and stay marked.
  s.transport.i2cReplies = {{2}, {1, 0xD2, 0x04}};
  s.w().cmdExecAll.Click();
  EXPECT_EQ(s.t().cell(1, kColDataWr).back, kCellRed);
  EXPECT_EQ(s.t().cell(2, kColDataRd).back, kCellRed);
  s.w().cmdExecAll.Click();
  EXPECT_EQ(s.t().cell(1, kColDataWr).back, kCellRed);
}

TEST(ScriptWindowTest, ComparisonsCountPassesFailsAndCaptures) {
  struct Case {
    std::string expected;
    Bytes reply;
    std::string actual, decimal, counters;
    std::optional<Rgb> color;
  };
  const Case cases[] = {
      {"00XX", {2, 0x00, 0x12}, "0012", "  18", "1/0/0", std::nullopt},
      {"X1", {1, 0x21}, "21", "", "1/0/0", std::nullopt},
      {"1F", {1, 0x1F}, "1F", "", "1/1/0", kCellGreen},
      {"1F", {1, 0x1E}, "1E", "", "1/0/1", kCellRed},
      // A reply short of its values, or not acknowledged (status 0), has no
      // values: never a match, never a capture, whatever was expected.
      {"FFFF", {2, 0xFF}, "--", "", "1/0/1", kCellRed},
      {"00", {1}, "--", "", "1/0/1", kCellRed},
      {"XX", {1}, "--", "", "1/0/1", kCellRed},
      {"00", {0, 0x00}, "--", "", "1/0/1", kCellRed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Scripted s;
    s.Load("08,," + c.expected);
    s.transport.i2cReplies = {c.reply};
    s.Click(1);
    EXPECT_EQ(s.t().text(1, kColActRd), c.actual);
    EXPECT_EQ(s.t().text(1, kColADDecimal), c.decimal);
    EXPECT_EQ(s.Counters(), c.counters);
    EXPECT_EQ(s.t().cell(1, kColActRd).back, c.color);
    EXPECT_EQ(s.t().cell(1, kColDataRd).back == kCellRed, c.actual == "--");
  }
}

TEST(ScriptWindowTest, AbortOnFailStopsRunAllAfterTheFailingRow) {
  Scripted s;
  s.Load("08,,01\n08,,02\n08,,03");
  s.w().chkAOF.setChecked(true);
  s.transport.i2cReplies = {{1, 0x01}, {1, 0x07}, {1, 0x03}};
  s.w().cmdExecAll.Click();
  EXPECT_EQ(s.Sent().size(), 2u);
  EXPECT_EQ(s.Counters(), "3/1/1");
  EXPECT_EQ(s.t().cell(3, kColI2CAdr).back, std::nullopt);
  EXPECT_TRUE(s.w().cmdExecAll.visible());
  EXPECT_FALSE(s.w().cmdAbort.visible());

  // Unticked, the same failure lets the run go on.
  s.w().chkAOF.setChecked(false);
  s.transport.i2cReplies = {{1, 0x01}, {1, 0x07}, {1, 0x03}};
  s.w().cmdExecAll.Click();
  EXPECT_EQ(s.Counters(), "3/2/1");

  // A row in error sends nothing and fails, and so stops the run too.
  s.w().chkAOF.setChecked(true);
  s.Load("08,,01\n01,ZZ\n08,,03");
  s.transport.calls.clear();
  s.transport.i2cReplies = {{1, 0x01}, {1, 0x03}};
  s.w().cmdExecAll.Click();
  EXPECT_EQ(s.Sent().size(), 1u);
  EXPECT_EQ(s.Counters(), "2/1/1");
  EXPECT_EQ(s.t().cell(2, kColActRd).back, kCellRed);
  EXPECT_EQ(s.t().cell(3, kColI2CAdr).back, std::nullopt);
}

TEST(ScriptWindowTest, PauseDelayAndAbortDuringLoopCont) {
  Scripted s;
  s.Load("`w250\n`w");
  s.toolkit.answers = {MessageResult::Ok, MessageResult::Cancel};
  s.w().cmdRunContinuous.Click();
  EXPECT_EQ(
      s.toolkit.messages,
      (std::vector<std::string>(2, "Script Pause Line :2 Click OK to Continue, Cancel to Abort")));
  EXPECT_EQ(s.w().txtLoopCount.text(), "2");
  EXPECT_EQ(s.t().text(1, kColActRd), "Delay 250");
  EXPECT_EQ(s.t().text(2, kColActRd), "Delay Keypress");
  EXPECT_EQ(std::count(s.toolkit.sleeps.begin(), s.toolkit.sleeps.end(), 250), 2);
  EXPECT_TRUE(s.w().cmdRunContinuous.visible());
  EXPECT_FALSE(s.w().cmdAbort.visible());
  EXPECT_TRUE(s.Sent().empty());

  // "Abort" clicked while a row runs ends Loop Cont after that row.
  s.Load("`w10\n`w10");
  s.toolkit.onProcessEvents = [&s] {
    if (s.t().cell(1, kColI2CAdr).back == kCellRed) s.w().cmdAbort.Click();
  };
  s.w().cmdRunContinuous.Click();
  EXPECT_EQ(s.w().txtLoopCount.text(), "1");
  EXPECT_EQ(s.t().cell(2, kColI2CAdr).back, std::nullopt);
}

TEST(ScriptWindowTest, AddressRowsTheAddressBoxAndTheCloseRestore) {
  Scripted s;
  s.Load("`A8A\n`AFF\n01,,XX");
  s.Click(1);
  EXPECT_EQ(s.board().I2CWriteAddress, 0x8A);
  EXPECT_EQ(s.board().I2CReadAddress, 0x8B);
  EXPECT_TRUE(s.Sent().empty());
  EXPECT_EQ(s.t().cell(1, kColI2CAdr).back, kCellGreen);

  s.Click(2);  // FF is no address: an error row, which sends nothing and fails
  EXPECT_EQ(s.w().txtRdFails.text(), "1");
  EXPECT_EQ(s.board().I2CWriteAddress, 0x8A);
  EXPECT_TRUE(s.Sent().empty());
  s.Click(3);  // the rows after it keep 8A
  EXPECT_EQ(s.Sent().size(), 1u);

  // The address box: Enter reloads with the new address; text that is no
  // address (FF included) changes nothing, reloads nothing and says so.
  s.Load("01,,XX");
  for (const char* typed : {"1FF", "FF", "zz", "0x"}) {
    s.toolkit.messages.clear();
    s.w().txtI2CAdr.setText(typed);
    s.w().txtI2CAdr.onKeyPress(13);
    EXPECT_EQ(s.w().txtI2CAdr.text(), "8A") << typed;
    EXPECT_EQ(s.board().I2CWriteAddress, 0x8A) << typed;
    EXPECT_EQ(s.t().text(1, kColI2CAdr), "8A") << typed;
    ASSERT_EQ(s.toolkit.messages.size(), 1u) << typed;
  }
  EXPECT_EQ(s.toolkit.messages[0],
            "\"0X\" is not an I2C address: type two hex digits, 00 to FE. The address stays 8A.");
  EXPECT_EQ(s.Sent().size(), 1u);  // nothing more than row 3's read
  s.w().txtI2CAdr.setText("0x9a");
  s.w().txtI2CAdr.onKeyPress(13);
  EXPECT_EQ(s.w().txtI2CAdr.text(), "9A");
  EXPECT_EQ(s.board().I2CReadAddress, 0x9B);
  EXPECT_EQ(s.t().text(1, kColI2CAdr), "9A");

  // A second window saves the address current when it opens; closing either
  // window gives that address back.
  s.w().Dupform.Click();
  ASSERT_EQ(s.app->scripts.open().size(), 2u);
  ScriptWindow& second = *s.app->scripts.open()[1];
  EXPECT_EQ(second.form.caption(), "No Script File Selected");
  s.Load("`A20");
  s.Click(1);
  EXPECT_EQ(s.board().I2CWriteAddress, 0x20);
  s.w().Unload();
  EXPECT_EQ(s.board().I2CWriteAddress, 0x9A);
  EXPECT_EQ(s.app->scripts.open().size(), 1u);
}

TEST(ScriptWindowTest, LoadsThatCannotCompleteLeaveThePreviousScript) {
  Scripted s;
  s.Load("10,05\n08,,XX");
  s.w().txtRdPass.setText("7");
  std::string big;
  for (int i = 0; i < 1001; ++i) big += "10,05\r\n";
  s.Load(big, "big.txt");
  EXPECT_NE(s.toolkit.messages.back().find("more than 1000"), std::string::npos);
  s.toolkit.fileAnswers.push_back(s.dir / "missing.txt");
  s.w().mnuScript_Read.Click();
  EXPECT_NE(s.toolkit.messages.back().find("No such file"), std::string::npos);
  EXPECT_EQ(s.t().rowCount(), 2);
  EXPECT_EQ(s.w().LineTotal, 2);
  EXPECT_EQ(s.w().txtRdPass.text(), "7");
  EXPECT_EQ(s.w().form.caption(), "[ test.txt ]    Script IC Send / Receive");
  s.w().cmdBrowse.Click();  // still the script that is shown
  EXPECT_EQ(s.toolkit.fileDialogs.back().fileName, s.dir / "test.csv");

  // Reload of a file that went bad (saved as UTF-16) keeps the table and the counters too.
  s.Write("test.txt", std::string("\xFF\xFE"
                                  "1\0"
                                  "0\0",
                                  6));
  s.w().cmdReload2.Click();
  EXPECT_NE(s.toolkit.messages.back().find("UTF-16"), std::string::npos);
  EXPECT_EQ(s.t().rowCount(), 2);
  EXPECT_EQ(s.w().txtRdPass.text(), "7");

  // An empty file is a script of no rows; Run All Steps is done at once.
  s.Load("", "empty.txt");
  EXPECT_EQ(s.t().rowCount(), 0);
  s.w().cmdExecAll.Click();
  EXPECT_EQ(s.w().txtRunning.text(), "Done");
  s.w().cmdRunContinuous.Click();  // returns: nothing to repeat
  EXPECT_EQ(s.w().txtLoopCount.text(), "1");
}

TEST(ScriptWindowTest, RunAllReopensTheSessionARowClosedAndWithoutABoardEveryRowFails) {
  Scripted s;
  s.Load("01,A5\n01,,A5\n08,,XX");
  s.Click(2);  // runs alone, then closes the session the console holds
  EXPECT_FALSE(s.board().UsbConnected);
  s.transport.calls.clear();
  s.w().cmdExecAll.Click();
  EXPECT_EQ(s.Sent().size(), 3u);  // every row reached the chip
  EXPECT_EQ(s.Counters(), "2/1/0");
  EXPECT_EQ(s.t().cell(2, kColActRd).back, kCellGreen);
  // The console goes on with the session opened again, not a dead handle.
  s.Click(1);
  EXPECT_TRUE(s.c().cmdRDReg_Click(1));
  EXPECT_EQ(s.c().regs.txtRegRd[1].text(), "A5");

  s.sim().Unplug();
  s.board().DoEvents();
  s.toolkit.messages.clear();
  s.transport.calls.clear();
  s.w().cmdExecAll.Click();
  EXPECT_TRUE(s.Sent().empty());
  EXPECT_EQ(s.t().text(2, kColActRd), "--");
  EXPECT_EQ(s.t().cell(2, kColActRd).back, kCellRed);
  EXPECT_EQ(s.t().text(3, kColADDecimal), "");          // no capture left from the run before
  EXPECT_EQ(s.t().cell(1, kColDataWr).back, kCellRed);  // a write that was never made fails too
  EXPECT_EQ(s.Counters(), "2/0/3");
  EXPECT_TRUE(s.toolkit.messages.empty());
}

TEST(ScriptWindowTest, ClosingDuringARunStopsAfterTheCurrentRow) {
  enum Close { kWindow, kExit, kConsoleCloseBox };
  for (Close how : {kWindow, kExit, kConsoleCloseBox}) {
    SCOPED_TRACE(how);
    Scripted s;
    s.Load("`A8A\n08,,XX\n08,,XX");
    s.toolkit.onProcessEvents = [&s, how] {
      if (s.app->scripts.open().empty() || s.t().cell(1, kColI2CAdr).back != kCellGreen) return;
      if (how == kWindow) s.w().Unload();
      if (how == kExit) s.c().Command4.Click();
      if (how == kConsoleCloseBox) s.c().Unload();
    };
    ScriptWindow& w = s.w();
    w.cmdExecAll.Click();
    s.toolkit.onProcessEvents = nullptr;
    EXPECT_FALSE(w.form.visible());
    EXPECT_TRUE(s.Sent().empty());
    EXPECT_EQ(s.board().I2CWriteAddress, 0x88);
    // The closed window's model goes once nothing uses it (ASan watches).
    s.c().rec.mnuScript.Click();
    EXPECT_EQ(s.app->scripts.open().size(), 1u);
    EXPECT_EQ(s.w().form.caption(), "No Script File Selected");
  }
}

TEST(ScriptWindowTest, NoLoadReplacesTheTableUnderRunningRows) {
  Scripted s;
  s.Load("`w10\n`w10");
  s.w().txtI2CAdr.setText("9A");
  s.toolkit.onProcessEvents = [&s] {
    if (s.t().cell(1, kColI2CAdr).back != kCellRed || !s.toolkit.messages.empty()) return;
    s.w().txtI2CAdr.onKeyPress(13);
    s.toolkit.fileAnswers.push_back(s.Write("other.txt", "10,05"));
    s.w().mnuScript_Read.Click();
  };
  s.w().cmdExecAll.Click();
  s.toolkit.onProcessEvents = nullptr;
  ASSERT_EQ(s.toolkit.messages.size(), 2u);
  EXPECT_NE(s.toolkit.messages[0].find("running"), std::string::npos);
  EXPECT_EQ(s.board().I2CWriteAddress, 0x88);
  EXPECT_EQ(s.t().text(1, kColOperation), "Cmd:Delay :10: mSec");
  EXPECT_EQ(s.t().cell(2, kColI2CAdr).back, kCellGreen);  // the run went on to its end
}

// The user may pick another row, or the console exchange the GPIO state, while
// a row waits for the board: the row still sends and compares its own bytes.
TEST(ScriptWindowTest, WhatRunsInsideARowLeavesItsFramesAndReplyAlone) {
  Scripted s;
  s.Load("10,0506070809\n08,,1F\n08,,1F");
  s.transport.i2cReplies = {{7}, {1, 0x1F}, {1, 0x1F}};
  bool picked = false;
  s.toolkit.onProcessEvents = [&] {
    if (!picked && s.t().cell(1, kColI2CAdr).back == kCellRed) {
      picked = true;
      s.Click(2);  // runs at once, inside row 1, which holds the bus: no transfer, a fail
    }
    if (s.ReplyLengths().size() == 3 && s.t().cell(3, kColI2CAdr).back == kCellRed) {
      s.app->gpio.cmdGPIO_Write_Click();  // its reply lands in the transfer buffer
    }
  };
  s.w().cmdExecAll.Click();
  ASSERT_TRUE(picked);
  EXPECT_EQ(s.Sent(), (std::vector<Bytes>{{0x06, 0x88, 0x10, 0x05, 0x06, 0x07, 0x08, 0x09},
                                          {0x01, 0x89, 0x08},
                                          {0x01, 0x89, 0x08}}));
  EXPECT_EQ(s.t().cell(1, kColDataWr).back, std::nullopt);
  EXPECT_EQ(s.t().text(3, kColActRd), "1F");
  EXPECT_EQ(s.Counters(), "2/2/1");
}

// Against the simulated chip: registers written and read back as a script
// would on a real board, with auto-increment over several registers.
TEST(ScriptWindowTest, ScriptRowsAgainstTheSimulatedChip) {
  Scripted s;
  s.Load(
      "01,A5   # configure\n"
      "01,,A5\n"
      "04,1122\n"
      "04,,1122\n"
      ",,XX    # the pointer moved on to 06\n");
  s.w().cmdExecAll.Click();
  EXPECT_EQ(s.sim().chipRegister(0x01), 0xA5);
  EXPECT_EQ(s.Counters(), "3/2/0");
  EXPECT_EQ(s.t().cell(2, kColActRd).back, kCellGreen);
  EXPECT_EQ(s.t().cell(4, kColActRd).back, kCellGreen);
  EXPECT_EQ(s.t().text(5, kColActRd), HexByte(s.sim().chipRegister(0x06)));
}

}  // namespace
}  // namespace kps
