// The 16-colour palette of the lamps and indicators. A colour is held as a
// double-precision palette value and turned into RGB by truncating it to an
// index (ColorBlack is never assigned and stays 0).
#pragma once

#include <cstdint>
#include <string>

namespace kps {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

Rgb PaletteRgb(double color);
// The colour in words, for accessibility tools: "green", "red", "black" ...
std::string PaletteName(double color);

// The colour constants of the program; zero until InitColors runs.
struct ColorTable {
  double ColorRed = 0;
  double ColorGreen = 0;
  double ColorBlue = 0;
  double ColorDarkGreen = 0;
  double ColorWhite = 0;
  double ColorGrey = 0;
  double ColorBlack = 0;
};

void InitColors(ColorTable& colors);

}  // namespace kps
