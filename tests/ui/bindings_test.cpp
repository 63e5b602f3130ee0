// The generic bindings: what the model holds reaches the widget, what the user
// does reaches the model and its handler exactly once, and a widget that goes
// first leaves nothing behind in the model.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>
#include <vector>

#include "core/controls.h"
#include "ui/bindings.h"
#include "ui/lamp_widget.h"

namespace {

using namespace kps;
using namespace kps::ui;

// A shown, active window to put the widgets under test in. Declared after the
// models it shows, so that it goes first, as the program's windows do.
struct Window {
  Window() {
    widget = std::make_unique<QWidget>();
    layout = new QVBoxLayout(widget.get());
  }
  template <typename W>
  W* Add(W* w) {
    layout->addWidget(w);
    return w;
  }
  bool ShowActive() {
    widget->show();
    widget->activateWindow();
    return QTest::qWaitForWindowActive(widget.get());
  }
  std::unique_ptr<QWidget> widget;
  QVBoxLayout* layout;
};

}  // namespace

class BindingsTest : public QObject {
  Q_OBJECT

 private slots:
  void labelShowsCaptionAndRunsDoubleClick() {
    Label model("lblVersion", "Version");
    Window w;
    int dblClicks = 0;
    model.onDblClick = [&] { ++dblClicks; };
    QLabel* label = w.Add(BindLabel(model, new QLabel(w.widget.get())));
    QVERIFY(w.ShowActive());

    QCOMPARE(label->objectName(), QString("lblVersion"));
    QCOMPARE(label->text(), QString("Version"));
    model.setCaption("Version 1.0.13");
    QCOMPARE(label->text(), QString("Version 1.0.13"));
    // Markup in a caption is shown as it is written.
    model.setCaption("<b>x</b>");
    QCOMPARE(label->textFormat(), Qt::PlainText);

    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(dblClicks, 0);
    QTest::mouseDClick(label, Qt::LeftButton);
    QCOMPARE(dblClicks, 1);

    model.setVisible(false);
    QVERIFY(!label->isVisible());
    model.setVisible(true);
    QVERIFY(label->isVisible());
    model.setToolTip("tip");
    QCOMPARE(label->toolTip(), QString("tip"));
  }

  void buttonClickRunsHandlerAndFollowsModel() {
    Button model("cmdSysInfo", "&System Info...");
    Window w;
    int clicks = 0;
    model.onClick = [&] { ++clicks; };
    QPushButton* button = w.Add(BindButton(model, new QPushButton(w.widget.get())));
    QVERIFY(w.ShowActive());

    QCOMPARE(button->objectName(), QString("cmdSysInfo"));
    QCOMPARE(button->text(), QString("&System Info..."));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 1);

    model.setEnabled(false);
    QVERIFY(!button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 1);
  }

  void lampShowsColourAndTellsAccessibilityTools() {
    Lamp model("ShpAttach", "Attached");
    Window w;
    model.setFillColor(12);
    LampWidget* lamp = w.Add(BindLamp(model, new LampWidget(w.widget.get())));
    QVERIFY(w.ShowActive());

    QCOMPARE(lamp->objectName(), QString("ShpAttach"));
    QCOMPARE(lamp->fill(), QColor(255, 0, 0));
    QCOMPARE(lamp->accessibleName(), QString("Attached"));
    QCOMPARE(lamp->accessibleDescription(), QString("red"));
    QCOMPARE(lamp->toolTip(), QString("Attached: red"));
    // What is painted is the fill.
    const QImage image = lamp->grab().toImage();
    QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2), QColor(255, 0, 0));

    model.setFillColor(10.0);
    QCOMPARE(lamp->fill(), QColor(0, 255, 0));
    QCOMPARE(lamp->accessibleDescription(), QString("green"));
    QCOMPARE(lamp->toolTip(), QString("Attached: green"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(lamp);
    QVERIFY(accessible != nullptr);
    QCOMPARE(accessible->role(), QAccessible::Indicator);
    QCOMPARE(accessible->text(QAccessible::Name), QString("Attached"));
    QCOMPARE(accessible->text(QAccessible::Description), QString("green"));
  }

  void textBoxCarriesTextBothWays() {
    TextBox model("txtI2CADR", "88");
    Window w;
    std::vector<std::pair<int, std::string>> keys;  // key and the model's text when it came
    model.onKeyPress = [&](int key) { keys.emplace_back(key, model.text()); };
    QLineEdit* edit = w.Add(BindTextBox(model, new QLineEdit(w.widget.get())));
    QVERIFY(w.ShowActive());

    QCOMPARE(edit->objectName(), QString("txtI2CADR"));
    QCOMPARE(edit->text(), QString("88"));
    model.setText("8A");
    QCOMPARE(edit->text(), QString("8A"));
    QVERIFY(keys.empty());  // a change by code is not a key press

    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "5c");
    QCOMPARE(model.text(), std::string("5c"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(keys.size(), std::size_t{4});
    QCOMPARE(keys[0].first, int('5'));
    QCOMPARE(keys[1].first, int('c'));
    QCOMPARE(keys[2].first, 13);
    QCOMPARE(keys[3].first, 13);
    // The key handler sees the text as it stood before the key was taken, and
    // Enter comes with everything typed before it.
    QCOMPARE(keys[0].second, std::string("8A"));
    QCOMPARE(keys[1].second, std::string("5"));
    QCOMPARE(keys[2].second, std::string("5c"));
  }

  void lostFocusOnlyWhenFocusMovesToAnotherControl() {
    TextBox model("txtRegHex_1", "00");
    Window w;
    int lost = 0;
    model.onLostFocus = [&] { ++lost; };
    QLineEdit* edit = w.Add(BindTextBox(model, new QLineEdit(w.widget.get())));
    QLineEdit* other = w.Add(new QLineEdit(w.widget.get()));
    QVERIFY(w.ShowActive());

    edit->setFocus(Qt::MouseFocusReason);
    QVERIFY(edit->hasFocus());
    other->setFocus(Qt::TabFocusReason);
    QCOMPARE(lost, 1);

    // Another window taking focus (a message box, another program) is not a
    // lost focus: the entry is checked when the user goes on within the window.
    edit->setFocus(Qt::MouseFocusReason);
    QWidget box;
    auto* boxButton = new QPushButton("OK", &box);
    boxButton->setFocusPolicy(Qt::StrongFocus);
    boxButton->setFocus();
    box.show();
    box.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    QVERIFY(boxButton->hasFocus());
    QCOMPARE(lost, 1);
    box.hide();
    w.widget->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.widget.get()));
    QVERIFY(edit->hasFocus());
    QCOMPARE(lost, 1);

    // Nor is a drop-down list's popup, which takes the focus while it is open.
    auto* list = w.Add(new QComboBox(w.widget.get()));
    list->addItems({"a", "b"});
    edit->setFocus(Qt::MouseFocusReason);
    list->showPopup();
    QTRY_VERIFY(QApplication::focusWidget() != edit);
    QCOMPARE(lost, 1);
    list->hidePopup();
  }

  void checkBoxClickSetsModelThenRunsHandler() {
    CheckBox model("chkALSEnable", "ALS Enable");
    Window w;
    std::vector<bool> seen;
    model.onClick = [&] { seen.push_back(model.checked()); };
    QCheckBox* box = w.Add(BindCheckBox(model, new QCheckBox(w.widget.get())));
    QVERIFY(w.ShowActive());

    QCOMPARE(box->text(), QString("ALS Enable"));
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center() - QPoint(box->width() / 3, 0));
    QCOMPARE(seen, std::vector<bool>{true});
    QVERIFY(model.checked());
    // A change by code shows, and is not a click.
    model.setChecked(false);
    QVERIFY(!box->isChecked());
    QCOMPARE(seen.size(), std::size_t{1});
  }

  void comboUserChoiceRunsHandlerOnce() {
    ComboBox model("cboTypeSelect");
    Window w;
    std::vector<int> clicks;
    model.onClick = [&] { clicks.push_back(model.listIndex()); };
    model.AddItem("I2C Address Selection");
    model.AddItem("Adr=0x88 (KPS7110/20/60)");
    QComboBox* combo = w.Add(BindComboBox(model, new QComboBox(w.widget.get())));
    model.AddItem("Adr=0x8A (KPS7110/60)");
    model.setListIndex(0);
    QVERIFY(w.ShowActive());

    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(2), QString("Adr=0x8A (KPS7110/60)"));
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(clicks, std::vector<int>{0});  // by code: the model's own run, not a second

    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(model.listIndex(), 1);
    QCOMPARE(clicks, (std::vector<int>{0, 1}));

    // Refilling the list, as the startup window's load does, runs nothing:
    // a list that gets its first item must not look chosen.
    model.Clear();
    QCOMPARE(combo->count(), 0);
    QCOMPARE(combo->currentIndex(), -1);
    model.AddItem("I2C Address Selection");
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(model.listIndex(), -1);
    QCOMPARE(clicks, (std::vector<int>{0, 1}));
  }

  void comboShowsWhatTheHandlerPutBack() {
    ComboBox model("cboTypeSelect");
    Window w;
    model.AddItem("I2C Address Selection");
    model.AddItem("Adr=0x88 (KPS7110/20/60)");
    model.AddItem("Adr=0x8A (KPS7110/60)");
    int clicks = 0;
    // As the startup window does without a board: the choice is refused.
    model.onClick = [&] {
      ++clicks;
      if (model.listIndex() != 0) model.setListIndex(0);
    };
    QComboBox* combo = w.Add(BindComboBox(model, new QComboBox(w.widget.get())));
    QVERIFY(w.ShowActive());
    QCOMPARE(clicks, 0);

    combo->setCurrentIndex(2);
    QCOMPARE(clicks, 2);  // the choice, then the reset
    QCOMPARE(model.listIndex(), 0);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->currentText(), QString("I2C Address Selection"));
  }

  void widgetGoneBeforeModelLeavesNoListener() {
    Label label("Label13", "USB COMM");
    Lamp lamp("ShpAttach", "Attached");
    TextBox text("txtI2CADR", "88");
    ComboBox combo("cboTypeSelect");
    Form form("frmAbout2", "");
    MenuItem item("mnuAbout", "About");
    {
      QWidget window;
      BindLabel(label, new QLabel(&window));
      BindLamp(lamp, new LampWidget(&window));
      BindTextBox(text, new QLineEdit(&window));
      BindComboBox(combo, new QComboBox(&window));
      BindMenuItem(item, new QAction(&window));
      BindForm(form, &window);
    }
    // Every listener would now write into a deleted widget; under the
    // sanitizers that is a failure, and without them a likely crash.
    label.setCaption("gone");
    lamp.setFillColor(12);
    text.setText("8A");
    combo.AddItem("x");
    combo.setListIndex(0);
    item.setCaption("gone");
    form.setVisible(true);
    form.setCaption("gone");

    // And a new widget binds afresh to the same model.
    QLabel again;
    BindLabel(label, &again);
    QCOMPARE(again.text(), QString("gone"));
    label.setCaption("back");
    QCOMPARE(again.text(), QString("back"));
  }
};

QTEST_MAIN(BindingsTest)
#include "bindings_test.moc"
