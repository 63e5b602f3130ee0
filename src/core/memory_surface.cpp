#include "core/memory_surface.h"

#include <algorithm>

namespace kps {

MemorySurface::MemorySurface(int width, int height, int charWidth, int lineHeight)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      charWidth_(charWidth),
      lineHeight_(lineHeight),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
              0xFF000000 | kWhite) {}

void MemorySurface::Clear() {
  std::fill(pixels_.begin(), pixels_.end(), 0xFF000000 | kWhite);
  texts_.clear();
}

void MemorySurface::DrawText(int x, int y, const std::string& text) {
  texts_.push_back({x, y, text});
}

int MemorySurface::TextWidth(const std::string& text) const {
  return charWidth_ * static_cast<int>(text.size());
}

int MemorySurface::TextHeight(const std::string&) const {
  return lineHeight_;
}

}  // namespace kps
