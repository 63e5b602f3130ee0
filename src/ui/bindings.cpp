#include "ui/bindings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <utility>

#include "core/palette.h"
#include "ui/lamp_widget.h"
#include "ui/view_pace.h"

namespace kps::ui {

namespace {

QString ToQ(const std::string& s) {
  return QString::fromStdString(s);
}

// Holds one subscription to a model for as long as the object it is a child of
// (the widget or action) exists, and optionally watches that object's events.
// The widget is brought up to date at the screen's pace (ViewPace).
class Binding : public QObject, public PacedView {
 public:
  using EventHook = std::function<bool(QEvent*)>;

  Binding(Control& model, QObject* target, std::function<void()> sync, EventHook hook = {})
      : QObject(target), model_(model), sync_(std::move(sync)), hook_(std::move(hook)) {
    setObjectName(QStringLiteral("binding"));
    id_ = model_.Subscribe([this] { ViewPace::instance().Changed(*this); });
    if (hook_) target->installEventFilter(this);
    sync_();
  }
  ~Binding() override { model_.Unsubscribe(id_); }
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;

  void BringUpToDate() override { sync_(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == parent() && hook_) return hook_(event);
    return QObject::eventFilter(watched, event);
  }

 private:
  Control& model_;
  std::function<void()> sync_;
  EventHook hook_;
  int id_ = 0;
};

// What every control has: visible, enabled and a tool tip.
void SyncVisible(const Control& model, QWidget* widget) {
  // Only an explicit hide keeps a child widget from showing with its window;
  // a child that was never hidden shows when the window does.
  const bool hidden = widget->isHidden() && widget->testAttribute(Qt::WA_WState_ExplicitShowHide);
  if (hidden == model.visible()) widget->setVisible(model.visible());
}

void Name(const Control& model, QObject* object) {
  object->setObjectName(ToQ(model.name()));
}

// The character code a key press hands to a text box's key handler, as the
// handlers compare it (13 for Enter, 8 for Backspace); 0 for keys without one.
int KeyCode(const QKeyEvent& key) {
  if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) return 13;
  const QString text = key.text();
  if (text.size() == 1 && text.at(0).unicode() < 128) return text.at(0).unicode();
  return 0;
}

// Whether the focus, now on `to`, has moved from `from` to another control of
// the program: not to a message box or another dialog, not to a drop-down
// list's popup, not to a window outside the program (the board simulator), not
// to another application (then nothing of ours has it).
bool IsAnotherControl(const QWidget* to, const QWidget* from) {
  if (to == nullptr || to == from) return false;
  const QWidget* window = to->window();
  return window->windowType() != Qt::Popup && qobject_cast<const QDialog*>(window) == nullptr &&
         !window->property(kOutsideTheProgram).toBool();
}

// A mouse press on another control moves the focus before that control has
// seen the press. A lost-focus handler run then would process events (its
// register writes do) and with them the release, which the pressed control
// would never see: the click would be lost. So a focus moved by a mouse press
// is handled once the button is up, and before whatever the click does, so the
// order stays: the box's handler, then the click's.
std::function<void()>& PendingLostFocus() {
  static std::function<void()> pending;
  return pending;
}

// Runs the lost-focus handler that waits for the mouse, if any. Every user
// action calls this before its own handler.
void RunPendingLostFocus() {
  std::function<void()> handler = std::move(PendingLostFocus());
  PendingLostFocus() = nullptr;
  if (handler) handler();
}

// Runs the pending handler once the mouse button that moved the focus is
// released: after the control under it has taken the release (and run a click,
// which runs the handler first), or at the latest a second later.
class ReleaseWatch : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease) {
      QTimer::singleShot(0, qApp, [] { RunPendingLostFocus(); });
      deleteLater();
    }
    return false;
  }
};

void RunWhenMouseIsUp(std::function<void()> handler, QObject* context) {
  RunPendingLostFocus();
  // Only while the text box is there: its window may close before the mouse is up.
  PendingLostFocus() = [box = QPointer<QObject>(context), handler = std::move(handler)] {
    if (box) handler();
  };
  qApp->installEventFilter(new ReleaseWatch(qApp));
  QTimer::singleShot(1000, context, [] { RunPendingLostFocus(); });
}

// The focus has left `edit`: its handler runs if it went to another control.
void LeftTextBox(TextBox& model, QLineEdit* edit, bool byMousePress) {
  if (!IsAnotherControl(QApplication::focusWidget(), edit) || !model.onLostFocus) return;
  if (byMousePress) {
    RunWhenMouseIsUp(
        [&model] {
          if (model.onLostFocus) model.onLostFocus();
        },
        edit);
    return;
  }
  model.onLostFocus();
}

// A label's own background and text colours; without them the style's own.
void SyncColors(const Label& model, QLabel* label) {
  const auto back = model.backColor();
  const auto fore = model.foreColor();
  label->setAutoFillBackground(back.has_value());
  QPalette palette = label->parentWidget() ? label->parentWidget()->palette() : QPalette();
  if (back) palette.setColor(QPalette::Window, QColor(back->r, back->g, back->b));
  palette.setColor(QPalette::WindowText,
                   fore ? QColor(fore->r, fore->g, fore->b) : palette.color(QPalette::ButtonText));
  if (back || fore) {
    label->setPalette(palette);
  } else {
    label->setPalette(QPalette());
  }
}

}  // namespace

void SyncCommon(const Control& model, QWidget* widget) {
  SyncVisible(model, widget);
  if (widget->isEnabled() != model.enabled()) widget->setEnabled(model.enabled());
  const QString tip = ToQ(model.toolTip());
  if (widget->toolTip() != tip) widget->setToolTip(tip);
}

QLabel* BindLabel(Label& model, QLabel* label) {
  Name(model, label);
  label->setTextFormat(Qt::PlainText);  // readings may hold "<" and must not turn into markup
  new Binding(
      model, label,
      [&model, label] {
        SyncCommon(model, label);
        const QString caption = ToQ(model.caption());
        if (label->text() != caption) label->setText(caption);
        SyncColors(model, label);
      },
      [&model](QEvent* event) {
        if (event->type() != QEvent::MouseButtonDblClick) return false;
        RunPendingLostFocus();
        model.DblClick();
        return true;
      });
  return label;
}

QPushButton* BindButton(Button& model, QPushButton* button) {
  Name(model, button);
  new Binding(model, button, [&model, button] {
    SyncCommon(model, button);
    const QString caption = ToQ(model.caption());
    if (button->text() != caption) button->setText(caption);
  });
  QObject::connect(button, &QPushButton::clicked, button, [&model] {
    RunPendingLostFocus();
    model.Click();
  });
  return button;
}

QAction* BindMenuItem(MenuItem& model, QAction* action) {
  Name(model, action);
  new Binding(model, action, [&model, action] {
    action->setVisible(model.visible());
    action->setEnabled(model.enabled());
    action->setToolTip(ToQ(model.toolTip()));
    const QString caption = ToQ(model.caption());
    if (action->text() != caption) action->setText(caption);
  });
  QObject::connect(action, &QAction::triggered, action, [&model] {
    RunPendingLostFocus();
    model.Click();
  });
  return action;
}

LampWidget* BindLamp(Lamp& model, LampWidget* lamp) {
  Name(model, lamp);
  new Binding(model, lamp, [&model, lamp] {
    SyncVisible(model, lamp);
    if (lamp->isEnabled() != model.enabled()) lamp->setEnabled(model.enabled());
    const Rgb rgb = PaletteRgb(model.fillColor());
    const QString what = ToQ(model.caption());
    const QString colour = ToQ(PaletteName(model.fillColor()));
    lamp->setState(what, QColor(rgb.r, rgb.g, rgb.b), colour);
    // Hovering tells the colour in words too, for those who cannot tell red from green.
    const QString tip =
        model.toolTip().empty() ? what + QStringLiteral(": ") + colour : ToQ(model.toolTip());
    if (lamp->toolTip() != tip) lamp->setToolTip(tip);
  });
  return lamp;
}

QLineEdit* BindTextBox(TextBox& model, QLineEdit* edit) {
  Name(model, edit);
  new Binding(
      model, edit,
      [&model, edit] {
        SyncCommon(model, edit);
        const QString text = ToQ(model.text());
        if (edit->text() != text) edit->setText(text);
      },
      [&model, edit](QEvent* event) {
        if (event->type() == QEvent::KeyPress) {
          // Before the box takes the key, as a key handler expects; the text
          // typed so far is already in the model.
          const int code = KeyCode(*static_cast<QKeyEvent*>(event));
          RunPendingLostFocus();
          if (code != 0 && model.onKeyPress) model.onKeyPress(code);
        } else if (event->type() == QEvent::FocusOut) {
          const auto reason = static_cast<QFocusEvent*>(event)->reason();
          if (reason == Qt::PopupFocusReason) return false;
          if (reason == Qt::ActiveWindowFocusReason) {
            // Another window took the focus; which widget has it is known
            // once the activation is through.
            QTimer::singleShot(0, edit, [&model, edit] {
              LeftTextBox(model, edit, QApplication::mouseButtons() != Qt::NoButton);
            });
          } else {
            LeftTextBox(model, edit, reason == Qt::MouseFocusReason);
          }
        }
        return false;
      });
  QObject::connect(edit, &QLineEdit::textEdited, edit,
                   [&model](const QString& text) { model.Edit(text.toStdString()); });
  return edit;
}

QCheckBox* BindCheckBox(CheckBox& model, QCheckBox* box) {
  Name(model, box);
  new Binding(model, box, [&model, box] {
    SyncCommon(model, box);
    const QString caption = ToQ(model.caption());
    if (box->text() != caption) box->setText(caption);
    if (box->isChecked() != model.checked()) {
      const QSignalBlocker quiet(box);
      box->setChecked(model.checked());
    }
  });
  // The model runs the click handler on every change of its value.
  QObject::connect(box, &QCheckBox::clicked, box, [&model](bool checked) {
    RunPendingLostFocus();
    model.setChecked(checked);
  });
  return box;
}

// Shows an option member's value. An auto-exclusive radio button refuses to be
// unchecked while it is its group's checked one, but code may deselect a member
// ("Test Comm" deselects itself).
void ShowOptionValue(const OptionButton& model, QRadioButton* button) {
  if (button->isChecked() == model.value()) return;
  const QSignalBlocker quiet(button);
  const bool exclusive = button->autoExclusive();
  button->setAutoExclusive(false);
  button->setChecked(model.value());
  button->setAutoExclusive(exclusive);
}

QRadioButton* BindOptionButton(OptionButton& model, QRadioButton* button) {
  Name(model, button);
  // Auto-exclusive, so the arrow keys select the next member as a click does.
  button->setAutoExclusive(true);
  new Binding(model, button, [&model, button] {
    SyncCommon(model, button);
    const QString caption = ToQ(model.caption());
    if (button->text() != caption) button->setText(caption);
    ShowOptionValue(model, button);
  });
  QObject::connect(button, &QRadioButton::clicked, button, [&model, button] {
    RunPendingLostFocus();
    model.Select();  // nothing happens for the member already selected
    ShowOptionValue(model, button);
  });
  return button;
}

QComboBox* BindComboBox(ComboBox& model, QComboBox* combo) {
  Name(model, combo);
  new Binding(model, combo, [&model, combo] {
    SyncCommon(model, combo);
    // Changes by code reach the widget quietly: the model has already run its
    // click handler, and it must not run a second time from the widget's signal.
    const QSignalBlocker quiet(combo);
    QStringList items;
    for (const std::string& item : model.items()) items.append(ToQ(item));
    bool same = combo->count() == items.size();
    for (int i = 0; same && i < items.size(); ++i) same = combo->itemText(i) == items.at(i);
    if (!same) {
      combo->clear();
      combo->addItems(items);
    }
    if (combo->currentIndex() != model.listIndex()) combo->setCurrentIndex(model.listIndex());
  });
  // activated, not currentIndexChanged: a user who picks the entry already
  // shown still runs the list's click handler.
  QObject::connect(combo, &QComboBox::activated, combo, [&model](int index) {
    RunPendingLostFocus();
    model.Choose(index);
  });
  return combo;
}

QGroupBox* BindFrame(Frame& model, QGroupBox* group) {
  Name(model, group);
  new Binding(model, group, [&model, group] {
    SyncCommon(model, group);
    const QString caption = ToQ(model.caption());
    if (group->title() != caption) group->setTitle(caption);
  });
  return group;
}

void Follow(Control& model, QObject* owner, std::function<void()> sync) {
  new Binding(model, owner, std::move(sync));
}

QWidget* BindForm(Form& model, QWidget* window) {
  Name(model, window);
  new Binding(model, window, [&model, window] {
    const QString caption = ToQ(model.caption());
    if (window->windowTitle() != caption) window->setWindowTitle(caption);
    if (window->isEnabled() != model.enabled()) window->setEnabled(model.enabled());
    if (model.visible() && !window->isVisible()) {
      window->show();
      window->raise();
      window->activateWindow();
    } else if (!model.visible() && window->isVisible()) {
      window->hide();
    }
  });
  return window;
}

void BindColumnTitles(Label& model, QGridLayout* grid, int row, int firstColumn, int columns,
                      QWidget* parent) {
  QList<QLabel*> cells;
  for (int c = 0; c < columns; ++c) {
    auto* cell = new QLabel(parent);
    cell->setAlignment(Qt::AlignCenter);
    cell->setObjectName(QString::fromStdString(model.name()) + "_col" + QString::number(c));
    grid->addWidget(cell, row, firstColumn + c);
    cells.append(cell);
  }
  Follow(model, parent, [&model, cells] {
    static const QRegularExpression kGap(QStringLiteral("\\s{2,}"));
    const QString caption = QString::fromStdString(model.caption());
    const QStringList titles = caption.trimmed().split(kGap);
    for (int c = 0; c < cells.size(); ++c) {
      cells[c]->setText(c < titles.size() ? titles[c] : QString());
      cells[c]->setAccessibleDescription(caption);
      cells[c]->setVisible(model.visible());
    }
  });
}

}  // namespace kps::ui
