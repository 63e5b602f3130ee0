#include "core/palette.h"

#include <array>

namespace kps {

namespace {

struct Entry {
  Rgb rgb;
  const char* name;
};

constexpr std::array<Entry, 16> kPalette{{
    {{0, 0, 0}, "black"},
    {{0, 0, 128}, "navy"},
    {{0, 128, 0}, "dark green"},
    {{0, 128, 128}, "teal"},
    {{128, 0, 0}, "maroon"},
    {{128, 0, 128}, "purple"},
    {{128, 128, 0}, "olive"},
    {{192, 192, 192}, "silver"},
    {{128, 128, 128}, "grey"},
    {{0, 0, 255}, "blue"},
    {{0, 255, 0}, "green"},
    {{0, 255, 255}, "cyan"},
    {{255, 0, 0}, "red"},
    {{255, 0, 255}, "magenta"},
    {{255, 255, 0}, "yellow"},
    {{255, 255, 255}, "white"},
}};

const Entry& Lookup(double color) {
  const int index = static_cast<int>(color);  // truncation, as the palette values are used
  return kPalette[static_cast<std::size_t>(index) & 15u];
}

}  // namespace

Rgb PaletteRgb(double color) {
  return Lookup(color).rgb;
}
std::string PaletteName(double color) {
  return Lookup(color).name;
}

void InitColors(ColorTable& colors) {
  colors.ColorRed = 12;
  colors.ColorGreen = 10;
  colors.ColorBlue = 9;
  colors.ColorDarkGreen = 2;
  colors.ColorWhite = 15;
  colors.ColorGrey = 8;
}

}  // namespace kps
