// A PixelSurface in memory: the pixels of a window that is not on screen (the
// tests, the command-line tool) and the pixel store of the Qt surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/pixel_surface.h"

namespace kps {

class MemorySurface : public PixelSurface {
 public:
  // Text is not rendered here: each string is recorded with its position, and
  // measured as `charWidth` pixels a character and `lineHeight` pixels high.
  struct Text {
    int x;
    int y;
    std::string text;
  };

  MemorySurface(int width, int height, int charWidth = 7, int lineHeight = 13);

  int width() const override { return width_; }
  int height() const override { return height_; }
  uint32_t Pixel(int x, int y) const override {
    return Inside(x, y) ? pixels_[Index(x, y)] & 0xFFFFFF : kOutsidePixel;
  }
  void SetPixel(int x, int y, uint32_t color) override {
    if (Inside(x, y)) pixels_[Index(x, y)] = 0xFF000000 | color;
  }
  void Clear() override;
  void DrawText(int x, int y, const std::string& text) override;
  int TextWidth(const std::string& text) const override;
  int TextHeight(const std::string& text) const override;
  void Refresh() override { ++refreshes; }
  PixelMemory Memory() override { return {pixels_.data(), width_, width_, height_}; }
  ConstPixelMemory Memory() const override { return {pixels_.data(), width_, width_, height_}; }

  // The texts drawn since the last Clear.
  const std::vector<Text>& texts() const { return texts_; }
  int refreshes = 0;

 private:
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(x);
  }

  int width_;
  int height_;
  int charWidth_;
  int lineHeight_;
  std::vector<uint32_t> pixels_;  // rows of 0xFFRRGGBB, top row first, no padding
  std::vector<Text> texts_;
};

}  // namespace kps
