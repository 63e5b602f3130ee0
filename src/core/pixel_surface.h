// A picture the program draws on pixel by pixel: the real-time graph and its
// label panel. The Qt layer puts a QImage behind it; tests and the command-line
// tool use MemorySurface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kps {

// Colours are 0xRRGGBB.
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr uint32_t kBlack = 0x000000;
// What a pixel outside the drawable area reads.
inline constexpr uint32_t kOutsidePixel = 0xFFFFFFFF;

inline constexpr uint32_t RgbColor(uint8_t r, uint8_t g, uint8_t b) {
  return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

// A surface's pixels in memory, for routines that draw whole spans at once:
// `height` rows of `width` pixels, each 0xFF000000 | colour, a row starting
// `stride` pixels after the one above it. `pixels` is null for a surface that
// has no such memory to offer: it is drawn on pixel by pixel.
template <typename PixelType>
struct PixelRows {
  PixelType* pixels = nullptr;
  std::ptrdiff_t stride = 0;
  int width = 0;
  int height = 0;
};
using PixelMemory = PixelRows<uint32_t>;
using ConstPixelMemory = PixelRows<const uint32_t>;

class PixelSurface {
 public:
  virtual ~PixelSurface() = default;

  // The drawable size in pixels.
  virtual int width() const = 0;
  virtual int height() const = 0;
  // A pixel's colour; kOutsidePixel outside the drawable area.
  virtual uint32_t Pixel(int x, int y) const = 0;
  // Outside the drawable area nothing happens.
  virtual void SetPixel(int x, int y, uint32_t color) = 0;
  // Every pixel to the background colour (white).
  virtual void Clear() = 0;
  // Text in the surface's font, black, with its top-left corner at (x, y).
  virtual void DrawText(int x, int y, const std::string& text) = 0;
  virtual int TextWidth(const std::string& text) const = 0;
  virtual int TextHeight(const std::string& text) const = 0;
  // Makes what was drawn visible (on screen: one repaint, coalesced).
  virtual void Refresh() = 0;
  // The pixels in memory, if the surface keeps them there; valid until the
  // surface is next cleared, resized or drawn on other than through them.
  // Writing through them, then Refresh, is drawing.
  virtual PixelMemory Memory() { return {}; }
  virtual ConstPixelMemory Memory() const { return {}; }
};

}  // namespace kps
