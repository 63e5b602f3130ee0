// The console window on screen: its caption, address and lamps for each
// variant, and the two ways out (its close box and "Exit"), which both end
// the program.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "ui/about_dialog.h"
#include "ui/lamp_widget.h"
#include "ui_harness.h"

using kps::ConsoleVariant;
using kps::ui::LampWidget;
using kps::uitest::FakeProgram;

namespace {

void OpenConsole(FakeProgram& p, int entry) {
  p.ctx->startup.Show();
  p.ctx->startup.cboTypeSelect.setListIndex(entry);
}

}  // namespace

class ConsoleWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void consoleShowsAddressLampsAndCaption() {
    FakeProgram p;
    OpenConsole(p, 1);
    QWidget* w = p.consoleWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->objectName(), QString("frmKPS7110"));
    QCOMPARE(w->windowTitle(), QString("KPS7110/20/60 ALS+PROX Evaluation Software"));
    QCOMPARE(p.Find<QLineEdit>(w, "txtI2CADR")->text(), QString("88"));
    QCOMPARE(p.Find<QLabel>(w, "Label13")->text(), QString("USB COMM"));
    QCOMPARE(p.Find<QPushButton>(w, "Command4")->text(), QString("Exit"));
    for (const char* name : {"ShpAttach", "Shp_USB_Info", "Shp_USB_Transfer"}) {
      auto* lamp = p.Find<LampWidget>(w, name);
      QVERIFY2(lamp && lamp->isVisible(), name);
    }
    // The console's own lamps: attached is green from its load.
    QCOMPARE(p.Find<LampWidget>(w, "ShpAttach")->accessibleDescription(), QString("green"));
    QCOMPARE(p.Find<LampWidget>(w, "ShpAttach")->accessibleName(), QString("Attached"));
  }

  void activatingTheConsoleMakesItsLampsTheLinkLamps() {
    FakeProgram p;
    OpenConsole(p, 1);
    QWidget* w = p.consoleWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    p.ctx->board.StatusForm = &p.ctx->startup.lamps;
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(p.ctx->board.StatusForm, &p.ctx->console.lamps);
  }

  void exitEndsTheProgramAndClosesEveryWindow() {
    FakeProgram p;
    OpenConsole(p, 1);
    p.ctx->startup.mnuAbout.Click();
    QWidget* w = p.consoleWindow();
    QVERIFY(w->isVisible());
    QVERIFY(p.windows->about().isVisible());

    QTest::mouseClick(p.Find<QPushButton>(w, "Command4"), Qt::LeftButton);
    QCOMPARE(p.toolkit.quits, 1);
    QVERIFY(!w->isVisible());
    QVERIFY(!p.windows->about().isVisible());
    QVERIFY(!p.startupWindow()->isVisible());
    QCOMPARE(p.ctx->board.hDriver, 0);
  }

  void closeBoxEndsTheProgramOnce() {
    FakeProgram p;
    OpenConsole(p, 1);
    QWidget* w = p.consoleWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(w->close());
    QCOMPARE(p.toolkit.quits, 1);
    QVERIFY(!w->isVisible());
    QCOMPARE(p.ctx->board.hDriver, 0);
  }

  void adaptiveConsoleIsItsOwnWindow() {
    FakeProgram p;
    p.ctx->startup.Show();
    p.ctx->startup.goto_adaptive.Click();
    QWidget* adaptive = p.consoleWindow(ConsoleVariant::Adaptive);
    QVERIFY(adaptive->isVisible());
    QVERIFY(adaptive != p.consoleWindow(ConsoleVariant::Main));
    QCOMPARE(adaptive->windowTitle(), QString("KPS7110/20/60 ALS+PROX Adaptive GUI"));
    QVERIFY(!p.consoleWindow(ConsoleVariant::Main)->isVisible());
    // Each console shows its own models.
    p.ctx->adaptive.txtI2CADR.setText("8A");
    QCOMPARE(p.Find<QLineEdit>(adaptive, "txtI2CADR")->text(), QString("8A"));
    QCOMPARE(p.Find<QLineEdit>(p.consoleWindow(), "txtI2CADR")->text(), QString("88"));
  }
};

QTEST_MAIN(ConsoleWidgetTest)
#include "console_widget_test.moc"
