#include "core/controls.h"

#include <algorithm>

namespace kps {

void ComboBox::Clear() {
  items_.clear();
  listIndex_ = -1;
  Changed();
}

void ComboBox::AddItem(std::string item) {
  items_.push_back(std::move(item));
  Changed();
}

void ComboBox::Choose(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  if (index != listIndex_) {
    listIndex_ = index;
    Changed();
  }
  if (onClick) onClick();
}

void ComboBox::setListIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) return;
  if (index == listIndex_) return;
  listIndex_ = index;
  Changed();
  if (onClick) onClick();
}

void CheckBox::setChecked(bool c) {
  if (c == checked_) return;
  checked_ = c;
  Changed();
  if (onClick) onClick();
}

void OptionButton::setValue(bool v) {
  if (v) {
    for (auto& other : group_.buttons_) {
      if (other.get() != this) other->SetQuietly(false);
    }
  }
  SetQuietly(v);
}

void OptionButton::Select() {
  if (value_) return;
  setValue(true);
  if (group_.onClick) group_.onClick(index_);
}

OptionGroup::OptionGroup(const std::string& base, const std::vector<std::string>& captions,
                         int selected, int first)
    : first_(first) {
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const int index = first + static_cast<int>(i);
    buttons_.push_back(std::make_unique<OptionButton>(
        *this, index, base + "_" + std::to_string(index), captions[i]));
  }
  if (selected >= first && selected < first + size()) (*this)[selected].SetQuietly(true);
}

int OptionGroup::selected() const {
  for (const auto& b : buttons_) {
    if (b->value()) return b->index();
  }
  return -1;
}

void Picture::setSurface(PixelSurface* surface) {
  PixelSurface* next = surface != nullptr ? surface : &memory_;
  if (next == surface_) return;
  for (int y = 0; y < next->height(); ++y) {
    for (int x = 0; x < next->width(); ++x) next->SetPixel(x, y, surface_->Pixel(x, y));
  }
  surface_ = next;
  next->Refresh();
  Changed();
}

}  // namespace kps
