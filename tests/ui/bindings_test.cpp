// The generic bindings: the model reaches the widget, the user's edit reaches
// the model and its handler exactly once, and a widget that goes first leaves
// nothing subscribed to the model.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include <vector>

#include "core/controls.h"
#include "ui/bindings.h"
#include "ui/lamp_widget.h"

using namespace kps;
using namespace kps::ui;

namespace {

// A shown, active window; declared after the models it shows, so it goes first.
struct Window {
  QWidget widget;
  QVBoxLayout* layout = new QVBoxLayout(&widget);
  template <typename W>
  W* Add(W* w) {
    layout->addWidget(w);
    return w;
  }
  bool ShowActive() {
    widget.show();
    widget.activateWindow();
    return QTest::qWaitForWindowActive(&widget);
  }
};

}  // namespace

class BindingsTest : public QObject {
  Q_OBJECT

 private slots:
  void labelButtonMenuItemAndFrame() {
    Label label("lblVersion", "Version");
    Button button("cmdSysInfo", "&System Info...");
    MenuItem item("mnuAbout", "About");
    Frame frame("Frame1", "Status");
    int dblClicks = 0, clicks = 0, chosen = 0;
    label.onDblClick = [&] { ++dblClicks; };
    button.onClick = [&] { ++clicks; };
    item.onClick = [&] { ++chosen; };
    Window w;
    QLabel* l = w.Add(BindLabel(label, new QLabel));
    QPushButton* b = w.Add(BindButton(button, new QPushButton));
    QGroupBox* g = w.Add(BindFrame(frame, new QGroupBox));
    QAction* a = BindMenuItem(item, new QAction(&w.widget));
    QVERIFY(w.ShowActive());

    QCOMPARE(l->objectName(), QString("lblVersion"));
    QCOMPARE(a->objectName(), QString("mnuAbout"));
    QCOMPARE(g->title(), QString("Status"));
    label.setCaption("<b>1.0.13</b>");  // readings may hold "<": shown as written
    QCOMPARE(l->text(), QString("<b>1.0.13</b>"));
    QCOMPARE(l->textFormat(), Qt::PlainText);
    item.setCaption("About...");
    QCOMPARE(a->text(), QString("About..."));

    QTest::mouseClick(l, Qt::LeftButton);
    QCOMPARE(dblClicks, 0);
    QTest::mouseDClick(l, Qt::LeftButton);
    QCOMPARE(dblClicks, 1);
    QTest::mouseClick(b, Qt::LeftButton);
    a->trigger();
    QCOMPARE(clicks, 1);
    QCOMPARE(chosen, 1);

    button.setEnabled(false);
    label.setVisible(false);
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(clicks, 1);
    QVERIFY(!l->isVisible());
    label.setVisible(true);
    QVERIFY(l->isVisible());
  }

  void lampTellsAccessibilityToolsItsMeaningAndColour() {
    Lamp model("ShpAttach", "Attached");
    model.setFillColor(12);
    Window w;
    LampWidget* lamp = w.Add(BindLamp(model, new LampWidget));
    QVERIFY(w.ShowActive());
    QCOMPARE(lamp->accessibleDescription(), QString("red"));
    const QImage image = lamp->grab().toImage();  // what is painted is the fill
    QCOMPARE(image.pixelColor(image.rect().center()), QColor(255, 0, 0));

    model.setFillColor(10);
    QCOMPARE(lamp->fill(), QColor(0, 255, 0));
    QCOMPARE(lamp->toolTip(), QString("Attached: green"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(lamp);
    QVERIFY(accessible != nullptr);
    QCOMPARE(accessible->role(), QAccessible::Indicator);
    QCOMPARE(accessible->text(QAccessible::Name), QString("Attached"));
    QCOMPARE(accessible->text(QAccessible::Description), QString("green"));
  }

  void textBoxCarriesTextBothWaysAndKeysAsCodes() {
    TextBox model("txtI2CADR", "88");
    std::vector<std::pair<int, std::string>> keys;  // code, and the model's text then
    model.onKeyPress = [&](int key) { keys.emplace_back(key, model.text()); };
    Window w;
    QLineEdit* edit = w.Add(BindTextBox(model, new QLineEdit));
    QVERIFY(w.ShowActive());
    model.setText("8A");
    QCOMPARE(edit->text(), QString("8A"));

    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "5c");
    QCOMPARE(model.text(), std::string("5c"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    // A handler sees the text as it stood before its key was taken.
    using Seen = std::vector<std::pair<int, std::string>>;
    QCOMPARE(keys, (Seen{{'5', "8A"}, {'c', "5"}, {13, "5c"}, {13, "5c"}}));
  }

  void lostFocusOnlyForAMoveToAnotherControlOfTheWindow() {
    TextBox model("txtRegHex_1", "00");
    int lost = 0;
    model.onLostFocus = [&] { ++lost; };
    Window w;
    QLineEdit* edit = w.Add(BindTextBox(model, new QLineEdit));
    QLineEdit* other = w.Add(new QLineEdit);
    auto* list = w.Add(new QComboBox);
    list->addItems({"a", "b"});
    QVERIFY(w.ShowActive());
    edit->setFocus(Qt::MouseFocusReason);
    other->setFocus(Qt::TabFocusReason);
    QCOMPARE(lost, 1);

    // Another window (a message box, another program) taking the focus is not one.
    edit->setFocus(Qt::MouseFocusReason);
    QPushButton box("OK");
    box.show();
    box.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    box.hide();
    QVERIFY(w.ShowActive());
    QVERIFY(edit->hasFocus());
    // Nor is a drop-down list's popup.
    list->showPopup();
    QTRY_VERIFY(QApplication::focusWidget() != edit);
    list->hidePopup();
    QCOMPARE(lost, 1);
  }

  void checkBoxClickSetsTheMarkThenRunsTheHandler() {
    CheckBox model("chkALSEnable", "ALS Enable");
    std::vector<bool> seen;
    model.onClick = [&] { seen.push_back(model.checked()); };
    Window w;
    QCheckBox* box = w.Add(BindCheckBox(model, new QCheckBox));
    QVERIFY(w.ShowActive());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QCOMPARE(seen, std::vector<bool>{true});
    model.setChecked(false);  // by code: shown, and not a click
    QVERIFY(!box->isChecked());
    QCOMPARE(seen.size(), std::size_t{1});
  }

  void comboRunsTheHandlerOncePerChoiceAndShowsWhatItPutBack() {
    ComboBox model("cboTypeSelect");
    std::vector<int> clicks;
    model.onClick = [&] {
      clicks.push_back(model.listIndex());
      if (model.listIndex() == 2) model.setListIndex(0);  // a refused choice
    };
    model.AddItem("I2C Address Selection");
    Window w;
    QComboBox* combo = w.Add(BindComboBox(model, new QComboBox));
    model.AddItem("Adr=0x88 (KPS7110/20/60)");
    model.AddItem("Adr=0x8A (KPS7110/60)");
    QCOMPARE(combo->currentIndex(), -1);  // a filled list does not look chosen
    model.setListIndex(0);
    QVERIFY(w.ShowActive());
    QCOMPARE(combo->itemText(2), QString("Adr=0x8A (KPS7110/60)"));
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(clicks, std::vector<int>{0});  // by code: the model's own run only

    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(model.listIndex(), 1);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(clicks, (std::vector<int>{0, 1, 2, 0}));
    QCOMPARE(combo->currentText(), QString("I2C Address Selection"));
    emit combo->activated(0);  // picking the entry already shown still counts as a choice
    QCOMPARE(clicks, (std::vector<int>{0, 1, 2, 0, 0}));

    model.Clear();
    model.AddItem("x");
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(clicks.size(), std::size_t{5});
  }

  void widgetGoneBeforeItsModelLeavesNoSubscription() {
    Label label("Label13", "USB COMM");
    Lamp lamp("ShpAttach", "Attached");
    ComboBox combo("cboTypeSelect");
    Form form("frmAbout2", "");
    MenuItem item("mnuAbout", "About");
    {
      QWidget window;
      BindLabel(label, new QLabel(&window));
      BindLamp(lamp, new LampWidget(&window));
      BindComboBox(combo, new QComboBox(&window));
      BindMenuItem(item, new QAction(&window));
      BindForm(form, &window);
    }
    // A subscription left behind would write into a deleted widget now.
    label.setCaption("gone");
    lamp.setFillColor(12);
    combo.AddItem("x");
    item.setCaption("gone");
    form.setVisible(true);

    QLabel again;  // and a new widget binds afresh
    BindLabel(label, &again);
    label.setCaption("back");
    QCOMPARE(again.text(), QString("back"));
  }
};

QTEST_MAIN(BindingsTest)
#include "bindings_test.moc"
