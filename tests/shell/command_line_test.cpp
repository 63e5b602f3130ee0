// The simulated board's scene options: what they set, and the message each
// mistake gets.
#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kps {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineSceneTest, EachOptionInBothForms) {
  // Both forms; the last of a repeated option counts; the limits are accepted.
  const auto set =
      ParseCommandLine({"--simulated-board", "--sim-lux=1", "--sim-lux", "100000", "--sim-ir=0",
                        "--sim-proximity", "255", "--sim-noise=2.5", "--sim-scene", "Sine"});
  ASSERT_TRUE(set.options) << set.error;
  const sim::Scene& scene = set.options->simScene;
  EXPECT_EQ(scene.lux, 100000.0);
  EXPECT_EQ(scene.ir, 0.0);
  EXPECT_EQ(scene.proximity, 255.0);
  EXPECT_EQ(scene.noise, 2.5);
  EXPECT_EQ(scene.shape, sim::SceneShape::Sine);
}

TEST(CommandLineSceneTest, MistakesAreNamedWithWhatToGive) {
  const std::string lux = "the ambient light, from 0 to 100000 (lux)";
  const std::string needsSim = " sets up the simulated board: it needs --simulated-board";
  const std::pair<Args, std::string> cases[] = {
      // the arguments after --simulated-board
      {{"--sim-lux"}, "--sim-lux needs a value: " + lux},
      {{"--sim-lux=1e3"}, "--sim-lux \"1e3\" is not a number: give " + lux},
      {{"--sim-lux", "100000.5"}, "--sim-lux 100000.5 is out of range: give " + lux},
      {{"--sim-ir", "-1"},
       "--sim-ir -1 is out of range: give the infrared level, from 0 to 100000 (on the lux scale)"},
      {{"--sim-proximity="},
       "--sim-proximity \"\" is not a number: give the proximity count at the 110 mA drive, "
       "from 0 to 255 (counts)"},
      {{"--sim-noise", "nan"},
       "--sim-noise \"nan\" is not a number: give the noise, from 0 to 100 (percent of full "
       "scale)"},
      {{"--sim-scene"}, "--sim-scene needs a shape: steady, ramp or sine"},
      {{"--sim-scene", "square"},
       "--sim-scene \"square\" is not a scene shape: give steady, ramp or sine"},
      {{"--sim-luxury", "1"}, "unknown option \"--sim-luxury\""},
  };
  for (const auto& [args, expected] : cases) {
    Args line{"--simulated-board"};
    line.insert(line.end(), args.begin(), args.end());
    const auto result = ParseCommandLine(line);
    EXPECT_FALSE(result.options) << expected;
    EXPECT_EQ(result.error, expected);
  }
  // Without the simulated board, the first option that needs it is named.
  for (const auto& [args, expected] :
       {std::pair<Args, std::string>{{"--sim-noise", "5", "--sim-lux", "10"}, "--sim-noise"},
        {{"--sim-scene", "ramp", "--sim-ir", "3"}, "--sim-scene"}}) {
    const auto result = ParseCommandLine(args);
    EXPECT_FALSE(result.options);
    EXPECT_EQ(result.error, expected + needsSim);
  }
}

TEST(CommandLineSceneTest, UsageListsEverySceneOptionWithItsDefault) {
  const std::string usage = UsageText("kps-eval");
  for (const char* expected : {"--sim-lux N", "(default 100)", "--sim-ir N", "--sim-proximity N",
                               "--sim-noise N", "--sim-scene S", "(default steady)"}) {
    EXPECT_NE(usage.find(expected), std::string::npos) << expected << "\n" << usage;
  }
}

}  // namespace
}  // namespace kps
