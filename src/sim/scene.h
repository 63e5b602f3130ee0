// What the simulated sensor looks at, and how it may vary from one conversion
// to the next. Header-only and free of the chip, so that the command line can
// check and describe a scene without linking the simulation.
// docs/simulated-board.md gives the model.
#pragma once

#include <cctype>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <string_view>

namespace kps::sim {

// How the scene's levels vary with the conversions the chip runs (never with
// the wall clock, so that a trace is the same on any machine).
enum class SceneShape {
  Steady,  // the levels as set
  Ramp,    // from 0 up to the levels as set in kShapePeriod conversions, then again
  Sine,    // from 0 up to the levels as set and back down in kShapePeriod conversions
};

struct Scene {
  double lux = 100.0;       // visible light, lux (readable in both ALS ranges)
  double ir = 40.0;         // infrared, on the lux scale (IR mode shares the ALS full scales)
  double proximity = 26.0;  // the proximity count the object gives at the 110 mA LED drive
  double noise = 0.0;       // random noise, percent of each channel's full scale; 0 = none
  SceneShape shape = SceneShape::Steady;
};

// The ranges a scene's values are accepted in.
inline constexpr double kMaxLux = 100000.0;  // direct sunlight
inline constexpr double kMaxIr = 100000.0;
inline constexpr double kMaxProximity = 255.0;
inline constexpr double kMaxNoise = 100.0;

inline constexpr int kShapePeriod = 64;  // conversions per ramp or sine cycle

// What the shape makes of the levels as set at the conversion numbered
// `conversion` (0 = the first since the board was made): a factor 0..1.
inline double ShapeFactor(SceneShape shape, uint64_t conversion) {
  const auto phase = static_cast<double>(conversion % kShapePeriod);
  switch (shape) {
    case SceneShape::Ramp:
      return phase / (kShapePeriod - 1);
    case SceneShape::Sine:
      // Starts at 0 like the ramp, so that switching between them is easy to follow.
      return (1.0 - std::cos(2.0 * std::numbers::pi * phase / kShapePeriod)) / 2.0;
    case SceneShape::Steady:
      break;
  }
  return 1.0;
}

inline const char* SceneShapeName(SceneShape shape) {
  switch (shape) {
    case SceneShape::Ramp:
      return "ramp";
    case SceneShape::Sine:
      return "sine";
    case SceneShape::Steady:
      break;
  }
  return "steady";
}

// "steady", "ramp" or "sine" in any letter case.
inline std::optional<SceneShape> SceneShapeFromName(std::string_view name) {
  for (SceneShape shape : {SceneShape::Steady, SceneShape::Ramp, SceneShape::Sine}) {
    const std::string_view known = SceneShapeName(shape);
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(name[i])) == known[i];
    }
    if (same) return shape;
  }
  return std::nullopt;
}

}  // namespace kps::sim
