#include "shell/startup_window.h"

#include <gtest/gtest.h>

#include "support/harness.h"

namespace kps {
namespace {

using Lines = std::vector<std::string>;

// A program whose startup window has been loaded and shown.
struct Started : test::Harness {
  explicit Started(bool boardPlugged = true) : Harness(boardPlugged) { s.Show(); }
  StartupWindow& s = startup();
};

TEST(StartupWindowTest, LoadHidesTheDebugControlsAndClosingEndsSessionAndProgram) {
  Started h;
  EXPECT_EQ(h.s.cboTypeSelect.listIndex(), 0);
  EXPECT_FALSE(h.s.goto_x28.visible() || h.s.goto_adaptive.visible() || h.s.Label2_1.visible());
  EXPECT_FALSE(h.s.lamps.Shp_USB_Info.visible() || h.s.lamps.Shp_USB_Transfer.visible());
  EXPECT_FALSE(h.app->console.form.visible());

  h.transport.calls.clear();
  h.s.Form_QueryUnload();
  h.s.Form_Unload();
  EXPECT_EQ(h.transport.Ops(), (Lines{"resetPipe", "resetPipe", "resetPipe", "uninit"}));
  EXPECT_EQ(h.toolkit.quits, 1);
  EXPECT_TRUE(h.app->ended());
}

TEST(StartupWindowTest, ChoosingAnAddressNeedsTheBoardWithoutLoopingThenOpensTheConsole) {
  Started h(/*boardPlugged=*/false);
  // The window is activated again when the message box closes.
  h.toolkit.onMessage = [&](const std::string&) { h.s.Form_Activate(); };
  h.s.cboTypeSelect.setListIndex(2);
  EXPECT_EQ(h.toolkit.messages,
            Lines{"Evaluation Board is not connected, or another application is using it."});
  EXPECT_EQ(h.s.cboTypeSelect.listIndex(), 0);
  EXPECT_FALSE(h.app->console.form.visible());
  EXPECT_FALSE(h.board().SessionHeld);

  h.transport.board.Plug();  // plugged in after the start
  h.board().DoEvents();
  h.s.cboTypeSelect.setListIndex(2);
  ConsoleWindow& console = h.app->console;
  EXPECT_EQ(h.toolkit.messages.size(), 1u);
  EXPECT_TRUE(console.form.visible());
  EXPECT_EQ(console.txtI2CADR.text(), "8A");
  EXPECT_EQ(h.board().I2CReadAddress, 0x8B);
  EXPECT_TRUE(h.board().UsbConnected && h.board().SessionHeld);
  EXPECT_EQ(h.board().StatusForm, &console.lamps);
  EXPECT_FALSE(h.s.form.visible());
  EXPECT_TRUE(h.transport.Frames().empty());  // opening the console sends nothing to the chip
}

TEST(StartupWindowTest, ActivationResetsTheListButNoChoiceUnderWayAndClosingOpensNothing) {
  Started h;
  h.s.cboTypeSelect.setListIndex(1);
  ASSERT_TRUE(h.app->console.form.visible());
  h.app->console.form.setVisible(false);  // stands for a window that is not there yet
  const int checksBefore = h.Count("getDeviceInfo");
  h.s.Form_Activate();
  EXPECT_EQ(h.s.cboTypeSelect.listIndex(), 0);
  EXPECT_FALSE(h.app->console.form.visible());
  EXPECT_EQ(h.board().StatusForm, &h.s.lamps);
  // The first entry checks the device and holds the session, nothing more;
  // activating again while the list is already reset runs nothing.
  h.s.Form_Activate();
  EXPECT_EQ(h.Count("getDeviceInfo"), checksBefore + 1);

  // An activation while a choice is handled (the list's popup closing) leaves it standing.
  h.toolkit.onProcessEvents = [&] { h.s.Form_Activate(); };
  h.s.cboTypeSelect.setListIndex(2);
  EXPECT_TRUE(h.app->console.form.visible());
  EXPECT_EQ(h.board().I2CWriteAddress, 0x8A);
  h.app->console.form.setVisible(false);

  h.toolkit.onProcessEvents = [&] { h.s.Unload(); };  // the user closes the window meanwhile
  h.s.cboTypeSelect.setListIndex(1);
  EXPECT_TRUE(h.app->ended());
  EXPECT_FALSE(h.app->console.form.visible());
}

TEST(StartupWindowTest, DebugButtonsOpenConsolesWithoutCheckingTheBoard) {
  Started h(/*boardPlugged=*/false);
  const int checksBefore = h.Count("getDeviceInfo");
  h.s.goto_adaptive.Click();
  EXPECT_TRUE(h.app->adaptive.form.visible());
  EXPECT_EQ(h.app->adaptive.txtI2CADR.text(), "88");
  EXPECT_FALSE(h.s.form.visible() || h.board().SessionHeld);
  EXPECT_EQ(h.Count("getDeviceInfo"), checksBefore);
  EXPECT_TRUE(h.toolkit.messages.empty());
  h.s.goto_x28.Click();
  EXPECT_TRUE(h.app->console.form.visible());
}

// The close box's way is the console's and the widgets' tests.
TEST(ConsoleWindowTest, ExitEndsTheProgramOnceAndStopsWork) {
  Started h;
  h.s.cboTypeSelect.setListIndex(1);
  h.app->about.Show();
  h.app->flags.CollectRunning = true;
  h.app->console.Command4.Click();
  EXPECT_TRUE(h.app->flags.AbortRequested);
  EXPECT_FALSE(h.app->about.form.visible());
  EXPECT_FALSE(h.app->flags.CollectRunning || h.app->console.form.visible());
  EXPECT_EQ(h.Count("uninit"), 1);
  EXPECT_EQ(h.toolkit.quits, 1);
}

TEST(AboutBoxTest, ShowsTheVersionAndSystemInformationAndRevealsTheDebugButtons) {
  Started h;
  h.app->usbLibraryVersion = "libusb 9.9.9";
  h.s.mnuAbout.Click();
  AboutBox& about = h.app->about;
  EXPECT_TRUE(about.form.visible());
  EXPECT_EQ(about.form.caption(), "About Norvale KPS7110/20/60 ALS GUI");
  EXPECT_EQ(about.lblVersion.caption(), "Version 1.0.13");
  about.lblVersion.DblClick();
  EXPECT_TRUE(h.s.goto_x28.visible() && h.s.goto_adaptive.visible());
  about.cmdSysInfo.Click();
  ASSERT_EQ(h.toolkit.reports.size(), 1u);
  const std::string& report = h.toolkit.reports[0];
  for (const char* expected :
       {"version 1.0.13", "Operating system: Test OS 1", "Kernel: testkernel 1.2.3",
        "FakeToolkit 1.0", "recording transport", "USB library: libusb 9.9.9",
        "Board USB id matched: 1209:a710", "Board attached: yes", "Attached green"}) {
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
  }
  about.cmdOK.Click();
  EXPECT_FALSE(about.form.visible());
}

}  // namespace
}  // namespace kps
