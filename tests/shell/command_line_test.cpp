// The simulated board's scene options: what they set, and the message each
// mistake gets.
#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kps {
namespace {

using Args = std::vector<std::string>;

Args WithSim(const Args& args) {
  Args out{"--simulated-board"};
  out.insert(out.end(), args.begin(), args.end());
  return out;
}

TEST(CommandLineSceneTest, DefaultsAndEachOptionInBothForms) {
  const auto plain = ParseCommandLine(WithSim({}));
  ASSERT_TRUE(plain.options) << plain.error;
  const sim::Scene defaults;
  EXPECT_EQ(plain.options->simScene.lux, defaults.lux);
  EXPECT_EQ(plain.options->simScene.proximity, defaults.proximity);
  EXPECT_EQ(plain.options->simScene.shape, sim::SceneShape::Steady);

  const auto set = ParseCommandLine(WithSim({"--sim-lux", "62.5", "--sim-ir=0", "--sim-proximity",
                                             "255", "--sim-noise=2.5", "--sim-scene", "Sine"}));
  ASSERT_TRUE(set.options) << set.error;
  const sim::Scene& scene = set.options->simScene;
  EXPECT_EQ(scene.lux, 62.5);
  EXPECT_EQ(scene.ir, 0.0);
  EXPECT_EQ(scene.proximity, 255.0);
  EXPECT_EQ(scene.noise, 2.5);
  EXPECT_EQ(scene.shape, sim::SceneShape::Sine);

  // The last of a repeated option counts; the limits themselves are accepted.
  const auto again =
      ParseCommandLine(WithSim({"--sim-lux=1", "--sim-lux", "100000", "--sim-scene=ramp"}));
  ASSERT_TRUE(again.options) << again.error;
  EXPECT_EQ(again.options->simScene.lux, 100000.0);
  EXPECT_EQ(again.options->simScene.shape, sim::SceneShape::Ramp);
}

TEST(CommandLineSceneTest, MistakesAreNamedWithWhatToGive) {
  struct Case {
    Args args;
    std::string expected;  // the whole message
  };
  const Case cases[] = {
      {WithSim({"--sim-lux"}),
       "--sim-lux needs a value: the ambient light, from 0 to 100000 (lux)"},
      {WithSim({"--sim-lux", "bright"}),
       "--sim-lux \"bright\" is not a number: give the ambient light, from 0 to 100000 (lux)"},
      {WithSim({"--sim-lux=1e3"}),
       "--sim-lux \"1e3\" is not a number: give the ambient light, from 0 to 100000 (lux)"},
      {WithSim({"--sim-lux", "100000.5"}),
       "--sim-lux 100000.5 is out of range: give the ambient light, from 0 to 100000 (lux)"},
      {WithSim({"--sim-ir", "-1"}),
       "--sim-ir -1 is out of range: give the infrared level, from 0 to 100000 (on the lux "
       "scale)"},
      {WithSim({"--sim-ir", "1.2.3"}),
       "--sim-ir \"1.2.3\" is not a number: give the infrared level, from 0 to 100000 (on the "
       "lux scale)"},
      {WithSim({"--sim-proximity", "256"}),
       "--sim-proximity 256 is out of range: give the proximity count at the 110 mA drive, "
       "from 0 to 255 (counts)"},
      {WithSim({"--sim-proximity="}),
       "--sim-proximity \"\" is not a number: give the proximity count at the 110 mA drive, "
       "from 0 to 255 (counts)"},
      {WithSim({"--sim-noise", "nan"}),
       "--sim-noise \"nan\" is not a number: give the noise, from 0 to 100 (percent of full "
       "scale)"},
      {WithSim({"--sim-noise", "101"}),
       "--sim-noise 101 is out of range: give the noise, from 0 to 100 (percent of full scale)"},
      {WithSim({"--sim-scene"}), "--sim-scene needs a shape: steady, ramp or sine"},
      {WithSim({"--sim-scene", "square"}),
       "--sim-scene \"square\" is not a scene shape: give steady, ramp or sine"},
      {WithSim({"--sim-luxury", "1"}), "unknown option \"--sim-luxury\""},
      // Without the simulated board, the first option that needs it is named.
      {{"--sim-noise", "5", "--sim-lux", "10"},
       "--sim-noise sets up the simulated board: it needs --simulated-board"},
      {{"--sim-scene", "ramp"},
       "--sim-scene sets up the simulated board: it needs --simulated-board"},
      {{"--sim-address", "8A", "--sim-ir", "3"},
       "--sim-address sets up the simulated board: it needs --simulated-board"},
  };
  for (const Case& c : cases) {
    const auto result = ParseCommandLine(c.args);
    EXPECT_FALSE(result.options) << c.expected;
    EXPECT_EQ(result.error, c.expected);
  }
}

// Each option the parser takes is in the usage, with its default printed as
// a user would type it.
TEST(CommandLineSceneTest, UsageListsEverySceneOption) {
  const std::string usage = UsageText("kps-eval");
  for (const char* expected : {"--sim-lux N", "(default 100)", "--sim-ir N", "--sim-proximity N",
                               "--sim-noise N", "--sim-scene S", "(default steady)"}) {
    EXPECT_NE(usage.find(expected), std::string::npos) << expected << "\n" << usage;
  }
}

}  // namespace
}  // namespace kps
