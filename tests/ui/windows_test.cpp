// The program's real windows over the simulated board, driven as a user drives
// them, and the Qt toolkit under them.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "board/usb_ids.h"
#include "shell/app_context.h"
#include "sim/simulated_board.h"
#include "ui/about_dialog.h"
#include "ui/app_windows.h"
#include "ui/console_widget.h"
#include "ui/lamp_widget.h"
#include "ui/qt_toolkit.h"
#include "ui/startup_window_widget.h"
#include "ui_program.h"

using namespace kps;
using kps::test::AnswerNextBox;
using kps::test::Program;
using kps::ui::LampWidget;

// Activates another window, then this one, as a user switching windows does.
static bool Reactivate(QWidget* window) {
  QWidget other;
  other.show();
  other.activateWindow();
  if (!QTest::qWaitForWindowActive(&other)) return false;
  window->activateWindow();
  return QTest::qWaitForWindowActive(window);
}

class WindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void pickingTheSecondAddressByKeyboardOpensTheConsole() {
    Program p;
    QWidget* w = p.startup();
    auto* list = p.Find<QComboBox>(w, "cboTypeSelect");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_End);  // the last entry, "Adr=0x8A (KPS7110/60)"
    QWidget* console = p.console();
    QVERIFY(QTest::qWaitForWindowExposed(console));
    QCOMPARE(console->windowTitle(), QString("KPS7110/20/60 ALS+PROX Evaluation Software"));
    QCOMPARE(p.Find<QLineEdit>(console, "txtI2CADR")->text(), QString("8A"));
    QVERIFY(!w->isVisible());
  }

  void withoutTheBoardTheLampIsRedAndTheListGoesBack() {
    Program p(/*plugged=*/false);
    QWidget* w = p.startup();
    QCOMPARE(p.Find<LampWidget>(w, "ShpAttach")->accessibleDescription(), QString("red"));
    auto* list = p.Find<QComboBox>(w, "cboTypeSelect");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentText(), QString("I2C Address Selection"));
  }

  void doubleClickingTheAboutBoxVersionRevealsTheDebugButtons() {
    Program p;
    QWidget* w = p.startup();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QMenuBar* menu = qobject_cast<QMainWindow*>(w)->menuBar();
    QAction* about = w->findChild<QAction*>("mnuAbout");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(about).center());
    QWidget* box = &p.windows->about();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    QTest::mouseDClick(p.Find<QLabel>(box, "lblVersion"), Qt::LeftButton);
    QVERIFY(p.Find<QPushButton>(w, "goto_x28")->isVisible());
    QVERIFY(p.Find<QPushButton>(w, "goto_adaptive")->isVisible());
    QTest::keyClick(box, Qt::Key_Escape);  // unloads the box
    QVERIFY(!p.ctx->about.form.visible());
  }

  void activatingAWindowRunsItsActivation() {
    Program p;
    p.ctx->startup.cboTypeSelect.onClick = nullptr;  // leave the list on an entry
    p.ctx->startup.cboTypeSelect.setListIndex(1);
    QVERIFY(Reactivate(p.startup()));
    QCOMPARE(p.Find<QComboBox>(p.startup(), "cboTypeSelect")->currentIndex(), 0);
    p.ctx->startup.goto_x28.Click();
    p.ctx->board.StatusForm = &p.ctx->startup.lamps;
    QVERIFY(Reactivate(p.console()));
    QCOMPARE(p.ctx->board.StatusForm, &p.ctx->console.lamps);
  }

  void closingAWindowEndsTheProgramOnce() {
    for (const bool inConsole : {false, true}) {
      Program p;
      if (inConsole) p.ctx->startup.goto_x28.Click();
      QWidget* w = inConsole ? p.console() : p.startup();
      QVERIFY(QTest::qWaitForWindowExposed(w));
      QVERIFY(w->close());
      QCOMPARE(p.toolkit.quits, 1);
    }
  }

  void messageBoxIsTitledWithTheProgramAndGivesTheAnswer() {
    ui::QtToolkit toolkit;
    QString title;
    AnswerNextBox(QMessageBox::Cancel, &title);
    QCOMPARE(toolkit.ShowMessage("Overwrite?", MessageButtons::OkCancel), MessageResult::Cancel);
    QCOMPARE(title, QString("Norvale KPS7110/20/60 ALS GUI"));
    // A quit with no event loop running is remembered, and boxes still wait.
    toolkit.Quit();
    QVERIFY(toolkit.quitRequested());
    AnswerNextBox(QMessageBox::Ok, &title);
    QCOMPARE(toolkit.ShowMessage("still here", MessageButtons::OkCancel), MessageResult::Ok);
  }

  void quitInsideAMessageBoxEndsTheEventLoop() {
    ui::QtToolkit toolkit;
    bool boxReturned = false;
    QTimer::singleShot(0, qApp, [&] {
      QTimer::singleShot(20, qApp, [&] { toolkit.Quit(); });
      toolkit.ShowMessage("waiting", MessageButtons::Ok);
      boxReturned = true;
    });
    QObject watchdog;
    QTimer::singleShot(5000, &watchdog, [] { QCoreApplication::exit(7); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(boxReturned);
  }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
