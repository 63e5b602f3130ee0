// The generic bindings: the model reaches the widget, the user's edit reaches
// the model and its handler exactly once, and a widget that goes first leaves
// nothing subscribed to the model.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include <vector>

#include "core/controls.h"
#include "ui/bindings.h"
#include "ui/lamp_widget.h"
#include "ui/view_pace.h"

using namespace kps;
using namespace kps::ui;

namespace {

// A shown, active window; declared after the models it shows, so it goes first.
struct Window : QWidget {
  QVBoxLayout* layout = new QVBoxLayout(this);
  template <typename W>
  W* Add(W* w) {
    layout->addWidget(w);
    return w;
  }
  bool ShowActive() {
    show();
    activateWindow();
    return QTest::qWaitForWindowActive(this);
  }
};

}  // namespace

class BindingsTest : public QObject {
  Q_OBJECT

 private slots:
  void captionsAndClicksOfLabelButtonMenuItemFrameAndCheckBox() {
    Label label("lblVersion", "Version");
    Button button("cmdSysInfo", "&System Info...");
    MenuItem item("mnuAbout", "About");
    Frame frame("Frame1", "Status");
    CheckBox check("chkALSEnable", "ALS Enable");
    std::vector<std::string> runs;
    label.onDblClick = [&] { runs.push_back("label"); };
    button.onClick = [&] { runs.push_back("button"); };
    item.onClick = [&] { runs.push_back("item"); };
    check.onClick = [&] { runs.push_back(check.checked() ? "checked" : "unchecked"); };
    Window w;
    QLabel* l = w.Add(BindLabel(label, new QLabel));
    QPushButton* b = w.Add(BindButton(button, new QPushButton));
    QGroupBox* g = w.Add(BindFrame(frame, new QGroupBox));
    QCheckBox* c = w.Add(BindCheckBox(check, new QCheckBox));
    QAction* a = BindMenuItem(item, new QAction(&w));
    QVERIFY(w.ShowActive());
    QCOMPARE(b->text(), QString("&System Info..."));
    QCOMPARE(g->title(), QString("Status"));
    label.setCaption("<b>1.0.13</b>");  // readings may hold "<": shown as written
    QCOMPARE(l->textFormat(), Qt::PlainText);
    QCOMPARE(l->text(), QString("<b>1.0.13</b>"));

    QTest::mouseDClick(l, Qt::LeftButton);
    QTest::mouseClick(b, Qt::LeftButton);
    a->trigger();
    QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(8, c->height() / 2));  // the mark is set first
    check.setChecked(false);  // by code: shown, and the handler runs as for a click
    QVERIFY(!c->isChecked());
    check.setChecked(false);  // no change, no handler
    QCOMPARE(runs, (std::vector<std::string>{"label", "button", "item", "checked", "unchecked"}));
    label.setVisible(false);
    QVERIFY(!l->isVisible());
    label.setVisible(true);  // shown again though its window never hid
    QVERIFY(l->isVisible());
  }

  void lampTellsAccessibilityToolsItsMeaningAndColour() {
    Lamp model("ShpAttach", "Attached");
    LampWidget lamp;
    BindLamp(model, &lamp);
    model.setFillColor(10);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&lamp);
    QVERIFY(accessible != nullptr);
    QCOMPARE(accessible->role(), QAccessible::Indicator);
    QCOMPARE(accessible->text(QAccessible::Name), QString("Attached"));
    QCOMPARE(accessible->text(QAccessible::Description), QString("green"));
  }

  void textBoxCarriesTextAndKeysAndLosesFocusOnlyToAnotherControl() {
    TextBox model("txtI2CADR", "88");
    std::vector<std::pair<int, std::string>> keys;  // code, and the model's text then
    model.onKeyPress = [&](int key) { keys.emplace_back(key, model.text()); };
    int lost = 0;
    model.onLostFocus = [&] { ++lost; };
    Window w;
    QLineEdit* edit = w.Add(BindTextBox(model, new QLineEdit));
    QLineEdit* other = w.Add(new QLineEdit);
    auto* list = w.Add(new QComboBox);
    list->addItems({"a", "b"});
    QVERIFY(w.ShowActive());
    model.setText("8A");
    QCOMPARE(edit->text(), QString("8A"));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "5c");
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    // A handler sees the text as it stood before its key was taken.
    using Seen = std::vector<std::pair<int, std::string>>;
    QCOMPARE(keys, (Seen{{'5', "8A"}, {'c', "5"}, {13, "5c"}, {13, "5c"}}));
    // What the user types counts as an edit; what the program puts there does not.
    QVERIFY(model.edited());
    model.setText("5C");
    QVERIFY(!model.edited());
    other->setFocus(Qt::TabFocusReason);
    QCOMPARE(lost, 1);

    // A message box taking the focus is not a move.
    edit->setFocus(Qt::MouseFocusReason);
    QMessageBox box(QMessageBox::Information, "kps", "USB is not Connected");
    box.show();
    box.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    QTest::qWait(20);
    box.hide();
    QVERIFY(w.ShowActive());
    QVERIFY(edit->hasFocus());
    // Nor is a drop-down list's popup.
    list->showPopup();
    QTRY_VERIFY(QApplication::focusWidget() != edit);
    list->hidePopup();
    QCOMPARE(lost, 1);
    // Nor is a window outside the program (the board simulator).
    Window bench;
    bench.setProperty(kOutsideTheProgram, true);
    bench.Add(new QLineEdit);
    QVERIFY(bench.ShowActive());
    QTest::qWait(20);
    QCOMPARE(lost, 1);
    // A control in another window of the program is.
    QVERIFY(w.ShowActive());
    edit->setFocus(Qt::MouseFocusReason);
    Window second;
    second.Add(new QLineEdit);
    QVERIFY(second.ShowActive());
    QTRY_COMPARE(lost, 2);
  }

  void comboRunsTheHandlerOncePerChoice() {
    ComboBox model("cboTypeSelect");
    std::vector<int> clicks;
    model.onClick = [&] { clicks.push_back(model.listIndex()); };
    Window w;
    QComboBox* combo = w.Add(BindComboBox(model, new QComboBox));
    model.AddItem("I2C Address Selection");
    model.AddItem("Adr=0x88 (KPS7110/20/60)");
    model.setListIndex(1);
    QVERIFY(w.ShowActive());
    QCOMPARE(combo->currentText(), QString("Adr=0x88 (KPS7110/20/60)"));
    QCOMPARE(clicks, std::vector<int>{1});  // by code: the model's own run only

    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Up);
    emit combo->activated(0);  // picking the entry already shown still counts as a choice
    QCOMPARE(clicks, (std::vector<int>{1, 0, 0}));
  }

  void widgetGoneBeforeItsModelLeavesNoSubscription() {
    Label label("Label13", "USB COMM");
    ComboBox combo("cboTypeSelect");
    Form form("frmAbout2", "");
    {
      QWidget window;
      BindLabel(label, new QLabel(&window));
      BindComboBox(combo, new QComboBox(&window));
      BindForm(form, &window);
    }
    // A subscription left behind would write into a deleted widget now.
    label.setCaption("gone");
    combo.AddItem("x");
    form.setVisible(true);
  }

  void pacedWidgetsCatchUpAtTheNextFrameAndAtOnceWhenThePaceEnds() {
    Label label("lblLoop_Count", "");
    Label other("txtTime1", "");
    ViewPace& pace = ViewPace::instance();
    QElapsedTimer clock;
    clock.start();
    pace.Begin();
    {
      Window w;
      QLabel* l = w.Add(BindLabel(label, new QLabel));
      w.Add(BindLabel(other, new QLabel));
      // A burst of changes inside one frame: the widget keeps what it showed.
      pace.Flush();
      for (int i = 1; i <= 50; ++i) label.setCaption(std::to_string(i));
      if (clock.elapsed() < pace.frameMs()) QCOMPARE(l->text(), QString());
      // The next frame shows the last one.
      QTRY_COMPARE_WITH_TIMEOUT(l->text(), QString("50"), 1000);
      label.setCaption("51");
      pace.End();
      QCOMPARE(l->text(), QString("51"));  // no frame to wait for once the pace ends
      // Unpaced, at once.
      label.setCaption("502");
      QCOMPARE(l->text(), QString("502"));
      pace.Begin();
      other.setCaption("waiting");
    }
    // The window went while its label waited for a frame: nothing is written into it.
    pace.End();
    QTest::qWait(2 * pace.frameMs());
  }
};

QTEST_MAIN(BindingsTest)
#include "bindings_test.moc"
