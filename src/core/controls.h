// Control models: what a user can see of each control (caption, text, colour,
// visible, enabled, checked, tool tip), held as plain data. A window model is a
// struct of these, named as the program's controls are named. Bindings (the Qt
// layer, or a test) subscribe to a control and are told whenever it changes;
// user actions reach the window model through the control's handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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
  int Subscribe(Listener listener);
  void Unsubscribe(int id);

 protected:
  template <typename T>
  void Set(T& field, T value) {
    if (field == value) return;
    field = std::move(value);
    Changed();
  }
  void Changed();

 private:
  std::string name_;
  bool visible_ = true;
  bool enabled_ = true;
  std::string toolTip_;
  int nextId_ = 1;
  std::vector<std::pair<int, Listener>> listeners_;
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

class TextBox : public Control {
 public:
  TextBox(std::string name, std::string text) : Control(std::move(name)), text_(std::move(text)) {}
  const std::string& text() const { return text_; }
  void setText(std::string t) { Set(text_, std::move(t)); }
  std::function<void(int key)> onKeyPress;
  std::function<void()> onLostFocus;

 private:
  std::string text_;
};

class CheckBox : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  bool checked() const { return checked_; }
  void setChecked(bool c) { Set(checked_, c); }
  std::function<void()> onClick;

 private:
  bool checked_ = false;
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

// A window: caption and whether it is shown. Windows that are created when
// opened and unloaded when closed are modelled as hidden while unloaded.
class Form : public CaptionedControl {
 public:
  Form(std::string name, std::string caption)
      : CaptionedControl(std::move(name), std::move(caption)) {
    setVisible(false);
  }
};

}  // namespace kps
