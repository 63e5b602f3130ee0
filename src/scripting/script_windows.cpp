#include "scripting/script_windows.h"

#include <algorithm>

#include "shell/app_context.h"

namespace kps {

ScriptWindow& ScriptWindows::Create() {
  Discard();
  windows_.push_back(std::make_unique<ScriptWindow>(app_, *this));
  ScriptWindow& window = *windows_.back();
  window.Form_Load();
  window.form.setVisible(true);
  if (onShow) onShow(window);
  return window;
}

ScriptWindow& ScriptWindows::ShowDefault() {
  if (default_ != nullptr && default_->loaded()) {
    default_->form.setVisible(true);
    if (onShow) onShow(*default_);
    return *default_;
  }
  default_ = &Create();
  return *default_;
}

ScriptWindow& ScriptWindows::OpenAnother() {
  return Create();
}

void ScriptWindows::UnloadAll() {
  // Unloading processes no events, but copy anyway: the list must not change under us.
  for (ScriptWindow* window : open()) window->Unload();
}

std::vector<ScriptWindow*> ScriptWindows::open() const {
  std::vector<ScriptWindow*> result;
  for (const auto& window : windows_) {
    if (window->loaded()) result.push_back(window.get());
  }
  return result;
}

void ScriptWindows::Discard() {
  std::erase_if(windows_, [this](const std::unique_ptr<ScriptWindow>& window) {
    if (window->loaded() || window->active()) return false;
    if (default_ == window.get()) default_ = nullptr;
    if (app_.board.StatusForm == &window->lamps) app_.board.StatusForm = nullptr;
    if (onDiscard) onDiscard(*window);
    return true;
  });
}

}  // namespace kps
