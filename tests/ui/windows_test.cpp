// The program's real windows over the simulated board, driven as a user drives
// them, and the Qt toolkit under them.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>

#include "ui/about_dialog.h"
#include "ui/qt_toolkit.h"
#include "ui_program.h"

using namespace kps;
using kps::test::Find;
using kps::test::Program;

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
    auto* list = Find<QComboBox>(w, "cboTypeSelect");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_End);  // the last entry, "Adr=0x8A (KPS7110/60)"
    QWidget* console = p.console();
    QVERIFY(QTest::qWaitForWindowExposed(console));
    QCOMPARE(Find<QLineEdit>(console, "txtI2CADR")->text(), QString("8A"));
    QVERIFY(!w->isVisible());
  }

  void withoutTheBoardTheListGoesBackAtOnce() {
    Program p(/*plugged=*/false);
    auto* list = Find<QComboBox>(p.startup(), "cboTypeSelect");
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
    QTest::mouseDClick(Find<QLabel>(box, "lblVersion"), Qt::LeftButton);
    QVERIFY(Find<QPushButton>(w, "goto_x28")->isVisible());
    QTest::keyClick(box, Qt::Key_Escape);  // unloads the box
    QVERIFY(!p.ctx->about.form.visible());
  }

  void activatingAWindowRunsItsActivation() {
    Program p;
    p.ctx->startup.cboTypeSelect.onClick = nullptr;  // leave the list on an entry
    p.ctx->startup.cboTypeSelect.setListIndex(1);
    QVERIFY(Reactivate(p.startup()));
    QCOMPARE(Find<QComboBox>(p.startup(), "cboTypeSelect")->currentIndex(), 0);
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

  void messageBoxIsTitledWithTheProgramAndGivesTheAnswerEvenAfterAQuit() {
    ui::QtToolkit toolkit;
    test::BoxAnswerer user(QMessageBox::Cancel);
    QCOMPARE(toolkit.ShowMessage("Overwrite?", MessageButtons::OkCancel), MessageResult::Cancel);
    QCOMPARE(user.title, QString("Norvale KPS7110/20/60 ALS GUI"));
    // A quit with no event loop running is remembered, and boxes still wait.
    toolkit.Quit();
    QVERIFY(toolkit.quitRequested());
    user.answer = QMessageBox::Ok;
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
