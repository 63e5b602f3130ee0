// Control models: what a user can see of each control (caption, text, colour,
// visible, enabled, checked, tool tip), held as plain data. A window model is a
// struct of these, named as the program's controls are named. Bindings (the Qt
// layer, or a test) subscribe to a control and are told whenever it changes;
// user actions reach the window model through the control's handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/listeners.h"
#include "core/memory_surface.h"
#include "core/palette.h"
#include "core/pixel_surface.h"

namespace kps {

class Control {
 public:
  using Listener = std::function<void()>;

  explicit Control(std::string name) : name_(std::move(name)) {}
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  // The control's name, as the program names it ("cmdWrtReg_3" for index 3).
  const std::string& name() const { return name_; }

  bool visible() const { return visible_; }
  void setVisible(bool v) { Set(visible_, v); }
  bool enabled() const { return enabled_; }
  void setEnabled(bool e) { Set(enabled_, e); }
  const std::string& toolTip() const { return toolTip_; }
  void setToolTip(std::string t) { Set(toolTip_, std::move(t)); }

  // Subscribes a listener; the returned id unsubscribes it.
  int Subscribe(Listener listener) { return listeners_.Subscribe(std::move(listener)); }
  void Unsubscribe(int id) { listeners_.Unsubscribe(id); }

 protected:
  template <typename T>
  void Set(T& field, T value) {
    if (field == value) return;
    field = std::move(value);
    Changed();
  }
  void Changed() { listeners_.Notify(); }

 private:
  std::string name_;
  bool visible_ = true;
  bool enabled_ = true;
  std::string toolTip_;
  Listeners<> listeners_;
};

// A control with a caption: labels, buttons, check boxes, frames, menu items.
class CaptionedControl : public Control {
 public:
  CaptionedControl(std::string name, std::string caption)
      : Control(std::move(name)), caption_(std::move(caption)) {}
  const std::string& caption() const { return caption_; }
  void setCaption(std::string c) { Set(caption_, std::move(c)); }

 private:
  std::string caption_;
};

class Label : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  std::function<void()> onDblClick;
  void DblClick() {
    if (onDblClick) onDblClick();
  }
  // Background and text colours; none means the system's own.
  const std::optional<Rgb>& backColor() const { return back_; }
  void setBackColor(std::optional<Rgb> c) { Set(back_, c); }
  const std::optional<Rgb>& foreColor() const { return fore_; }
  void setForeColor(std::optional<Rgb> c) { Set(fore_, c); }

 private:
  std::optional<Rgb> back_;
  std::optional<Rgb> fore_;
};

class Button : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  std::function<void()> onClick;
  void Click() {
    if (onClick) onClick();
  }
};

class MenuItem : public Button {
 public:
  using Button::Button;
};

class Frame : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
};

// A filled shape used as a lamp. Its fill is a palette colour value (see
// palette.h); its caption is what the lamp stands for ("Attached"), which the
// Qt layer reports to accessibility tools together with the colour in words.
class Lamp : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  double fillColor() const { return fill_; }
  void setFillColor(double c) { Set(fill_, c); }

 private:
  double fill_ = 0;
};

// A text box. It tells the text the program put there from text the user
// edited since: a handler that acts when the focus leaves the box acts on the
// user's edits only, not on a box the focus merely passed through.
class TextBox : public Control {
 public:
  TextBox(std::string name, std::string text) : Control(std::move(name)), text_(std::move(text)) {}
  const std::string& text() const { return text_; }
  // By code: the box shows the program's text, which counts as no edit.
  void setText(std::string t) {
    edited_ = false;
    Set(text_, std::move(t));
  }
  // The user edits the text (typing, pasting, deleting).
  void Edit(std::string t) {
    edited_ = true;
    Set(text_, std::move(t));
  }
  // Whether the user edited the text since the program last set it (a
  // handler that takes the text sets it back, cleaned up).
  bool edited() const { return edited_; }
  // For a handler that acts on the text as it stands: whether it holds an
  // edit not yet acted on; from now on it holds none.
  bool TakeEdit() { return std::exchange(edited_, false); }
  std::function<void(int key)> onKeyPress;
  std::function<void()> onLostFocus;

 private:
  std::string text_;
  bool edited_ = false;
};

// A check box's click handler runs whenever its value changes, whether the
// user clicked it or code set it (handlers rely on both).
class CheckBox : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  CheckBox(std::string name, std::string caption, bool checked)
      : CaptionedControl(std::move(name), std::move(caption)), checked_(checked) {}
  bool checked() const { return checked_; }
  void setChecked(bool c);
  std::function<void()> onClick;

 private:
  bool checked_ = false;
};

class OptionGroup;

// One member of a group of option buttons: at most one member is selected.
class OptionButton : public CaptionedControl {
 public:
  OptionButton(OptionGroup& group, int index, std::string name, std::string caption)
      : CaptionedControl(std::move(name), std::move(caption)), group_(group), index_(index) {}
  bool value() const { return value_; }
  // By code: selecting clears the other members; no click handler runs.
  void setValue(bool v);
  // The user selects this member: the group's click handler runs with its
  // index, unless the member was already selected (then nothing changes).
  void Select();
  int index() const { return index_; }

 private:
  friend class OptionGroup;
  void SetQuietly(bool v) { Set(value_, v); }
  OptionGroup& group_;
  int index_;
  bool value_ = false;
};

// Option buttons named base_first .. base_(first + n - 1), one per caption,
// indexed by their program index. `selected` is the index selected by design,
// or -1 for none.
class OptionGroup {
 public:
  OptionGroup(const std::string& base, const std::vector<std::string>& captions, int selected,
              int first = 0);
  OptionGroup(const OptionGroup&) = delete;
  OptionGroup& operator=(const OptionGroup&) = delete;

  OptionButton& operator[](int index) { return *buttons_.at(Slot(index)); }
  const OptionButton& operator[](int index) const { return *buttons_.at(Slot(index)); }
  int first() const { return first_; }
  int size() const { return static_cast<int>(buttons_.size()); }
  // The selected member's index, or -1.
  int selected() const;
  std::function<void(int index)> onClick;

 private:
  friend class OptionButton;
  std::size_t Slot(int index) const { return static_cast<std::size_t>(index - first_); }
  int first_;
  std::vector<std::unique_ptr<OptionButton>> buttons_;
};

// A drop-down list. Setting the selection runs the click handler whenever the
// selection changes, by code or by the user, as the list's selection sequence
// relies on.
class ComboBox : public Control {
 public:
  using Control::Control;
  const std::vector<std::string>& items() const { return items_; }
  int listIndex() const { return listIndex_; }
  void Clear();
  void AddItem(std::string item);
  void setListIndex(int index);
  // The user picks an entry: the click handler runs even when the entry was
  // already the selected one.
  void Choose(int index);
  std::function<void()> onClick;

 private:
  std::vector<std::string> items_;
  int listIndex_ = -1;
};

// A picture box: a pixel surface of the design size. The window draws into a
// surface in memory until a binding that shows the picture puts its own in
// place (which takes over what was drawn so far).
class Picture : public Control {
 public:
  Picture(std::string name, int width, int height)
      : Control(std::move(name)), memory_(width, height), surface_(&memory_) {}
  PixelSurface& surface() { return *surface_; }
  const PixelSurface& surface() const { return *surface_; }
  // nullptr goes back to the surface in memory.
  void setSurface(PixelSurface* surface);

 private:
  MemorySurface memory_;
  PixelSurface* surface_;
};

// A window: caption and whether it is shown. Windows that are created when
// opened and unloaded when closed are modelled as hidden while unloaded.
class Form : public CaptionedControl {
 public:
  Form(std::string name, std::string caption)
      : CaptionedControl(std::move(name), std::move(caption)) {
    setVisible(false);
  }
};

// An indexed set of controls of one kind, named base_0, base_1, ...
template <typename T>
class ControlArray {
 public:
  // `count` controls, each made with the same further arguments (a design text).
  template <typename... Args>
  ControlArray(const std::string& base, int count, const Args&... args) {
    for (int i = 0; i < count; ++i) items_.push_back(std::make_unique<T>(Name(base, i), args...));
  }
  // One captioned control per caption.
  ControlArray(const std::string& base, const std::vector<std::string>& captions) {
    for (std::size_t i = 0; i < captions.size(); ++i) {
      items_.push_back(std::make_unique<T>(Name(base, static_cast<int>(i)), captions[i]));
    }
  }
  T& operator[](int i) { return *items_.at(static_cast<std::size_t>(i)); }
  const T& operator[](int i) const { return *items_.at(static_cast<std::size_t>(i)); }
  int size() const { return static_cast<int>(items_.size()); }

 private:
  static std::string Name(const std::string& base, int i) { return base + "_" + std::to_string(i); }
  std::vector<std::unique_ptr<T>> items_;
};

}  // namespace kps
