// A picture the program draws on pixel by pixel: the real-time graph and its
// label panel. The Qt layer puts a QImage behind it; tests and the command-line
// tool use MemorySurface.
#pragma once

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
};

}  // namespace kps
