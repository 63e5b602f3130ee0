// One binding per control type: the widget shows what the control model holds
// and follows each change of it; what the user does with the widget goes into
// the model and on to the control's handler. Every widget takes the control's
// name as its object name, so tests and accessibility tools find "ShpAttach" as
// the program names it.
//
// A binding lives as long as its widget and unsubscribes from the model when the
// widget goes; the model must outlive the widget (the windows are destroyed
// before the application context).
#pragma once

#include <functional>

#include "core/controls.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kps::ui {

class LampWidget;

// Caption and colours; a double-click runs the label's DblClick.
QLabel* BindLabel(Label& model, QLabel* label);
// Caption (with its & mnemonic); a click runs Click.
QPushButton* BindButton(Button& model, QPushButton* button);
// A menu item or a menu-bar entry; choosing it runs Click.
QAction* BindMenuItem(MenuItem& model, QAction* action);
// Fill colour, with the lamp's caption and colour name for accessibility tools.
LampWidget* BindLamp(Lamp& model, LampWidget* lamp);
// A window that stands outside the program (the board simulator, which is the
// bench the board sits on) carries this property set to true: the focus moving
// into it is no move to another control of the program.
inline constexpr const char* kOutsideTheProgram = "kpsOutsideTheProgram";

// Text both ways; keys go to onKeyPress as character codes (Enter is 13); the
// focus moving to another control of the program runs onLostFocus.
QLineEdit* BindTextBox(TextBox& model, QLineEdit* edit);
// Caption and check mark; a click by the user sets the mark, then runs onClick.
QCheckBox* BindCheckBox(CheckBox& model, QCheckBox* box);
// One member of an option group: its value, and the user's selection, which
// runs the group's click handler unless the member was selected already.
QRadioButton* BindOptionButton(OptionButton& model, QRadioButton* button);
// Items and selection; the user's choice goes to Choose, which runs the list's
// click handler.
QComboBox* BindComboBox(ComboBox& model, QComboBox* combo);
// Caption as the group's title.
QGroupBox* BindFrame(Frame& model, QGroupBox* group);
// What every control has: visible, enabled and the tool tip, onto its widget.
void SyncCommon(const Control& model, QWidget* widget);
// Runs sync now and on every change of the model, for as long as owner exists:
// for widgets that show a control in their own way.
void Follow(Control& model, QObject* owner, std::function<void()> sync);
// A caption written as column titles separated by runs of blanks (" 0x0   0x1 ..."),
// shown with each title over its own column of `grid`, from `firstColumn` on.
// The whole caption stays each title's accessible description.
void BindColumnTitles(Label& model, QGridLayout* grid, int row, int firstColumn, int columns,
                      QWidget* parent);
// A top-level window: caption as the window title, shown while visible.
QWidget* BindForm(Form& model, QWidget* window);

}  // namespace kps::ui
