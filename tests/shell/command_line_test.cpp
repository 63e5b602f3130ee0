// The command line: the USB id, the simulated board and its scene, and the
// message each mistake gets.
#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kps {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, OptionsInBothFormsTheLastOfARepeatedOneCounting) {
  const auto plain = ParseCommandLine({});
  ASSERT_TRUE(plain.options);
  EXPECT_FALSE(plain.options->simulatedBoard);
  EXPECT_TRUE(plain.options->simPlugged);
  EXPECT_EQ(plain.options->match.vendorId, 0x1209);
  EXPECT_EQ(plain.options->match.productId, 0xA710);

  // The limits are accepted.
  const auto set = ParseCommandLine(
      {"--simulated-board", "--usb-id", "04B4:00f1", "--sim-address=8a", "--sim-lux=1", "--sim-lux",
       "100000", "--sim-ir=0", "--sim-proximity", "255", "--sim-noise=2.5", "--sim-scene", "Sine",
       "--sim-unplugged", "--sim-serial=BENCH-7", "--sim-refuse", "in-use",
       // Qt's own, left to Qt
       "-style", "fusion", "--platform", "offscreen", "-stylesheet=a.qss", "-geometry",
       "900x700+10+10", "-reverse"});
  ASSERT_TRUE(set.options) << set.error;
  const CommandLine& line = *set.options;
  EXPECT_TRUE(line.simulatedBoard);
  EXPECT_EQ(line.match.vendorId, 0x04B4);
  EXPECT_EQ(line.match.productId, 0x00F1);
  EXPECT_EQ(line.simAddress, 0x8A);
  EXPECT_EQ(line.simSerial, "BENCH-7");
  EXPECT_FALSE(line.simPlugged);
  EXPECT_EQ(line.simOpenRefusal, kUsbBusy);
  const sim::Scene& scene = line.simScene;
  EXPECT_EQ(scene.lux, 100000.0);
  EXPECT_EQ(scene.ir, 0.0);
  EXPECT_EQ(scene.proximity, 255.0);
  EXPECT_EQ(scene.noise, 2.5);
  EXPECT_EQ(scene.shape, sim::SceneShape::Sine);
}

TEST(CommandLineTest, MistakesAreNamedWithWhatToGive) {
  const std::string lux = "the ambient light, from 0 to 100000 (lux)";
  const std::string usbId =
      "\" is not a vendor and product id: give VVVV:PPPP, up to four hex "
      "digits each (for example 1209:a710)";
  const std::string address =
      "--sim-address needs the chip's 8-bit I2C address as two hex digits (for example 8A)";
  const std::string serial =
      "\" is no serial number: give 1 to 126 printable characters without blanks that do not "
      "read as a place on the bus (BUS-PORT), for example SIM0001";
  const std::string needsSim = " sets up the simulated board: it needs --simulated-board";
  const std::pair<Args, std::string> cases[] = {
      {{"--usb-id"}, "--usb-id needs a value VVVV:PPPP"},
      {{"--usb-id", "1234"}, "--usb-id \"1234" + usbId},
      {{"--usb-id", "12345:0001"}, "--usb-id \"12345:0001" + usbId},
      {{"--usb-id=12G4:0001"}, "--usb-id \"12G4:0001" + usbId},
      {{"--simulated-board", "--sim-address", "188"}, address},
      {{"--simulated-board", "--sim-lux"}, "--sim-lux needs a value: " + lux},
      {{"--simulated-board", "--sim-lux=1e3"}, "--sim-lux \"1e3\" is not a number: give " + lux},
      {{"--simulated-board", "--sim-lux", "100000.5"},
       "--sim-lux 100000.5 is out of range: give " + lux},
      {{"--simulated-board", "--sim-ir", "-1"},
       "--sim-ir -1 is out of range: give the infrared level, from 0 to 100000 (on the lux scale)"},
      {{"--simulated-board", "--sim-proximity="},
       "--sim-proximity \"\" is not a number: give the proximity count at the 110 mA drive, "
       "from 0 to 255 (counts)"},
      {{"--simulated-board", "--sim-scene"}, "--sim-scene needs a shape: steady, ramp or sine"},
      {{"--simulated-board", "--sim-scene", "square"},
       "--sim-scene \"square\" is not a scene shape: give steady, ramp or sine"},
      {{"--simulated-board", "--sim-luxury", "1"}, "unknown option \"--sim-luxury\""},
      {{"--simulated-board", "--sim-serial", "1-3"}, "--sim-serial \"1-3" + serial},
      {{"--simulated-board", "--sim-refuse=denied"},
       "--sim-refuse needs access-denied or in-use, not \"denied\""},
      {{"--simulated-board", "--sim-serial=SIM 1"}, "--sim-serial \"SIM 1" + serial},
      {{"-style"}, "-style needs a value"},
      {{"-styles", "fusion"}, "unknown option \"-styles\""},
      // Without the simulated board, the first option that needs it is named.
      {{"--sim-address", "8A"}, "--sim-address" + needsSim},
      {{"--sim-noise", "5", "--sim-lux", "10"}, "--sim-noise" + needsSim},
      {{"--sim-scene", "ramp", "--sim-ir", "3"}, "--sim-scene" + needsSim},
      {{"--sim-unplugged"}, "--sim-unplugged" + needsSim},
  };
  for (const auto& [args, expected] : cases) {
    const auto result = ParseCommandLine(args);
    EXPECT_FALSE(result.options) << expected;
    EXPECT_EQ(result.error, expected);
  }
}

TEST(CommandLineTest, UsageGivesEverySceneOptionItsRangeAndDefault) {
  const std::string usage = UsageText("kps-eval");
  for (const char* expected :
       {"lux, 0 to 100000 (default 100)", "0 to 100000 (default 40)", "0 to 255 (default 26)",
        "0 to 100 (default 0: none)", "(default steady)", "over 64 conversions"}) {
    EXPECT_NE(usage.find(expected), std::string::npos) << expected << "\n" << usage;
  }
}

}  // namespace
}  // namespace kps
