// The startup window and the about box on screen, over the simulated board:
// what a user sees at start, choosing an address, the missing board, and the
// about box's hidden way to the debug buttons.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include "ui/about_dialog.h"
#include "ui/lamp_widget.h"
#include "ui_harness.h"

using kps::ConsoleVariant;
using kps::ui::LampWidget;
using kps::uitest::FakeProgram;

namespace {

constexpr const char* kNotConnected =
    "Evaluation Board is not connected, or another application is using it.";

QStringList Items(const QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items.append(combo->itemText(i));
  return items;
}

// The program started as main() starts it: the startup window's load, then
// the window on screen.
void Start(FakeProgram& p) {
  p.ctx->startup.Show();
  QVERIFY(QTest::qWaitForWindowExposed(p.startupWindow()));
}

}  // namespace

class StartupWindowWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void boardPluggedInShowsGreenLampsAndTheThreeEntries() {
    FakeProgram p;
    Start(p);
    QWidget* w = p.startupWindow();
    QCOMPARE(w->windowTitle(), QString("Norvale ALS Evaluation Software"));
    QCOMPARE(w->objectName(), QString("frmStartup"));

    auto* init = p.Find<LampWidget>(w, "Shp_USB_Init");
    auto* attached = p.Find<LampWidget>(w, "ShpAttach");
    QVERIFY(init && attached);
    QVERIFY(init->isVisible());
    QVERIFY(attached->isVisible());
    QCOMPARE(init->accessibleName(), QString("USB Init"));
    QCOMPARE(init->accessibleDescription(), QString("green"));
    QCOMPARE(attached->accessibleName(), QString("Attached"));
    QCOMPARE(attached->accessibleDescription(), QString("green"));
    // The Info and Comm lamps are coloured but not shown here.
    auto* info = p.Find<LampWidget>(w, "Shp_USB_Info");
    QVERIFY(info);
    QVERIFY(!info->isVisible());
    QCOMPARE(info->accessibleDescription(), QString("green"));
    QVERIFY(!p.Find<QLabel>(w, "Label2_1")->isVisible());
    QVERIFY(!p.Find<QPushButton>(w, "goto_x28")->isVisible());
    QVERIFY(!p.Find<QPushButton>(w, "goto_adaptive")->isVisible());

    auto* list = p.Find<QComboBox>(w, "cboTypeSelect");
    QVERIFY(list);
    QCOMPARE(Items(list), QStringList({"I2C Address Selection", "Adr=0x88 (KPS7110/20/60)",
                                       "Adr=0x8A (KPS7110/60)"}));
    QCOMPARE(list->currentIndex(), 0);
    QVERIFY(p.toolkit.messages.empty());
  }

  void lampsStandOverTheirWordsInTheCaption() {
    FakeProgram p;
    Start(p);
    QWidget* w = p.startupWindow();
    auto* caption = p.Find<QLabel>(w, "Label2_0");
    QCOMPARE(caption->text(), QString("USB Init             Attached"));
    const QFontMetrics metrics = caption->fontMetrics();
    const int left = caption->mapTo(w, QPoint(0, 0)).x();
    const int initEnd = left + metrics.horizontalAdvance("USB Init");
    const int attachedStart = left + metrics.horizontalAdvance("USB Init             ");
    const int attachedEnd = attachedStart + metrics.horizontalAdvance("Attached");
    auto centre = [w](QWidget* lamp) { return lamp->mapTo(w, lamp->rect().center()); };
    const QPoint init = centre(p.Find<LampWidget>(w, "Shp_USB_Init"));
    const QPoint attached = centre(p.Find<LampWidget>(w, "ShpAttach"));
    QVERIFY2(init.x() >= left && init.x() <= initEnd, "Init lamp not over \"USB Init\"");
    QVERIFY2(attached.x() >= attachedStart && attached.x() <= attachedEnd,
             "Attached lamp not over \"Attached\"");
    QVERIFY(init.y() < caption->mapTo(w, QPoint(0, 0)).y());
  }

  void choosingTheSecondAddressOpensTheConsoleAndHidesThisWindow() {
    FakeProgram p;
    Start(p);
    auto* list = p.Find<QComboBox>(p.startupWindow(), "cboTypeSelect");
    list->setCurrentIndex(2);  // what a choice in the drop-down does

    QWidget* console = p.consoleWindow();
    QVERIFY(console->isVisible());
    QCOMPARE(console->windowTitle(), QString("KPS7110/20/60 ALS+PROX Evaluation Software"));
    QCOMPARE(p.Find<QLineEdit>(console, "txtI2CADR")->text(), QString("8A"));
    QVERIFY(!p.startupWindow()->isVisible());
    QVERIFY(!p.consoleWindow(ConsoleVariant::Adaptive)->isVisible());
    QCOMPARE(p.ctx->board.I2CWriteAddress, 0x8A);
    QVERIFY(p.toolkit.messages.empty());
  }

  void choosingTheFirstAddressByKeyboardOpensTheConsoleWith88() {
    FakeProgram p;
    Start(p);
    auto* list = p.Find<QComboBox>(p.startupWindow(), "cboTypeSelect");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QVERIFY(p.consoleWindow()->isVisible());
    QCOMPARE(p.Find<QLineEdit>(p.consoleWindow(), "txtI2CADR")->text(), QString("88"));
  }

  void withoutTheBoardTheLampsAreRedAndAChoiceIsRefused() {
    FakeProgram p(/*plugged=*/false);
    Start(p);
    QWidget* w = p.startupWindow();
    QCOMPARE(p.Find<LampWidget>(w, "Shp_USB_Init")->accessibleDescription(), QString("green"));
    QCOMPARE(p.Find<LampWidget>(w, "ShpAttach")->accessibleDescription(), QString("red"));
    QVERIFY(p.toolkit.messages.empty());  // no board at start: only the lamps say so

    auto* list = p.Find<QComboBox>(w, "cboTypeSelect");
    list->setCurrentIndex(2);
    QCOMPARE(p.toolkit.messages.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(p.toolkit.messages[0]), QString(kNotConnected));
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(list->currentText(), QString("I2C Address Selection"));
    QVERIFY(w->isVisible());
    QVERIFY(!p.consoleWindow()->isVisible());
  }

  void boardPluggedInLaterTurnsTheLampGreen() {
    FakeProgram p(/*plugged=*/false);
    Start(p);
    auto* attached = p.Find<LampWidget>(p.startupWindow(), "ShpAttach");
    QCOMPARE(attached->accessibleDescription(), QString("red"));
    p.board.Plug();
    p.ctx->board.PollTransport();  // what main()'s idle timer does
    QCOMPARE(attached->accessibleDescription(), QString("green"));
    QCOMPARE(attached->fill(), QColor(0, 255, 0));
  }

  void aboutBoxShowsVersionAndItsDoubleClickRevealsTheDebugButtons() {
    FakeProgram p;
    Start(p);
    QWidget* w = p.startupWindow();
    QMenuBar* menu = qobject_cast<QMainWindow*>(w)->menuBar();
    auto* about = w->findChild<QAction*>("mnuAbout");
    QVERIFY(about);
    QVERIFY(menu->actions().contains(about));
    QCOMPARE(about->text(), QString("About"));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(about).center());

    QWidget* box = &p.windows->about();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    QCOMPARE(box->windowTitle(), QString("About Norvale KPS7110/20/60 ALS GUI"));
    QVERIFY(!box->isModal());
    QCOMPARE(p.Find<QLabel>(box, "lblTitle")->text(), QString("Norvale KPS7110/20/60 ALS GUI"));
    auto* version = p.Find<QLabel>(box, "lblVersion");
    QCOMPARE(version->text(), QString("Version 1.0.13"));
    QCOMPARE(p.Find<QLabel>(box, "lblDisclaimer_0")->text(), QString("ACCURACY OF INFORMATION"));
    QVERIFY(!p.Find<QLabel>(box, "lblDisclaimer_1")->text().isEmpty());
    QCOMPARE(p.Find<QPushButton>(box, "cmdSysInfo")->text(), QString("&System Info..."));

    QTest::mouseDClick(version, Qt::LeftButton);
    auto* gotoMain = p.Find<QPushButton>(w, "goto_x28");
    auto* gotoAdaptive = p.Find<QPushButton>(w, "goto_adaptive");
    QVERIFY(gotoMain->isVisible());
    QVERIFY(gotoAdaptive->isVisible());
    QCOMPARE(gotoMain->text(), QString("Goto main form (debug)"));
    QCOMPARE(gotoAdaptive->text(), QString("Goto adaptive form (debug)"));

    QTest::mouseClick(p.Find<QPushButton>(box, "cmdOK"), Qt::LeftButton);
    QVERIFY(!box->isVisible());

    QTest::mouseClick(gotoAdaptive, Qt::LeftButton);
    QWidget* adaptive = p.consoleWindow(ConsoleVariant::Adaptive);
    QVERIFY(adaptive->isVisible());
    QCOMPARE(adaptive->windowTitle(), QString("KPS7110/20/60 ALS+PROX Adaptive GUI"));
    QCOMPARE(adaptive->objectName(), QString("frmKPS7110_adaptive"));
    QCOMPARE(p.Find<QLineEdit>(adaptive, "txtI2CADR")->text(), QString("88"));
    QVERIFY(!p.consoleWindow()->isVisible());
    QVERIFY(!w->isVisible());
  }

  void escapeOrTheCloseBoxUnloadsTheAboutBox() {
    FakeProgram p;
    Start(p);
    p.ctx->startup.mnuAbout.Click();
    QWidget* box = &p.windows->about();
    QVERIFY(box->isVisible());
    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!box->isVisible());
    QVERIFY(!p.ctx->about.form.visible());

    p.ctx->startup.mnuAbout.Click();
    QVERIFY(box->isVisible());
    QVERIFY(box->close());
    QVERIFY(!p.ctx->about.form.visible());
    // Closing the about box ends nothing.
    QCOMPARE(p.toolkit.quits, 0);
  }

  void systemInfoOpensTheReport() {
    FakeProgram p;
    Start(p);
    p.ctx->startup.mnuAbout.Click();
    QTest::mouseClick(p.Find<QPushButton>(&p.windows->about(), "cmdSysInfo"), Qt::LeftButton);
    QCOMPARE(p.toolkit.reports.size(), std::size_t{1});
    QVERIFY(p.toolkit.reports[0].rfind("System Information\n", 0) == 0);
  }

  void closingTheStartupWindowEndsTheProgram() {
    FakeProgram p;
    Start(p);
    QVERIFY(p.startupWindow()->close());
    QCOMPARE(p.toolkit.quits, 1);
    QVERIFY(!p.startupWindow()->isVisible());
    QCOMPARE(p.ctx->board.hDriver, 0);  // the board session was closed
  }

  void activatingTheWindowResetsTheList() {
    FakeProgram p(/*plugged=*/false);
    Start(p);
    QWidget* w = p.startupWindow();
    auto* list = p.Find<QComboBox>(w, "cboTypeSelect");
    // Leave the list on an entry (without running its handler, which would refuse it).
    p.ctx->startup.cboTypeSelect.onClick = nullptr;
    p.ctx->startup.cboTypeSelect.setListIndex(1);
    QCOMPARE(list->currentIndex(), 1);

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(p.ctx->startup.cboTypeSelect.listIndex(), 0);
    QCOMPARE(list->currentIndex(), 0);
  }
};

QTEST_MAIN(StartupWindowWidgetTest)
#include "startup_window_widget_test.moc"
