#include "core/controls.h"

#include <algorithm>

namespace kps {

int Control::Subscribe(Listener listener) {
  const int id = nextId_++;
  listeners_.emplace_back(id, std::move(listener));
  return id;
}

void Control::Unsubscribe(int id) {
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void Control::Changed() {
  // A listener may subscribe or unsubscribe others; iterate over a copy.
  const auto listeners = listeners_;
  for (const auto& [id, listener] : listeners) listener();
}

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

}  // namespace kps
