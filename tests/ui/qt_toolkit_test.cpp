// The Qt toolkit: message boxes titled with the program's title that wait for
// an answer, the report window, the clock, and ending the program from
// anywhere (inside nested loops, or with no loop running).
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "ui/qt_toolkit.h"
#include "ui_harness.h"

using kps::MessageButtons;
using kps::MessageResult;
using kps::ui::QtToolkit;

namespace {

struct SeenBox {
  QString title;
  QString text;
  QStringList buttons;
};

// Answers the next message box as a user would, by clicking one of its
// buttons, and notes what the box showed.
void AnswerNextBox(QMessageBox::StandardButton answer, SeenBox* seen) {
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, answer, seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    seen->title = box->windowTitle();
    seen->text = box->text();
    for (QAbstractButton* b : box->buttons()) seen->buttons.append(b->text().remove('&'));
    poll->deleteLater();
    QTest::mouseClick(box->button(answer), Qt::LeftButton);
  });
  poll->start(10);
}

}  // namespace

class QtToolkitTest : public QObject {
  Q_OBJECT

 private slots:
  void okBoxIsTitledWithTheProgramAndWaitsForOk() {
    QtToolkit toolkit;
    SeenBox seen;
    AnswerNextBox(QMessageBox::Ok, &seen);
    const MessageResult result = toolkit.ShowMessage("USB is not Connected", MessageButtons::Ok);
    QCOMPARE(result, MessageResult::Ok);
    QCOMPARE(seen.title, QString("Norvale KPS7110/20/60 ALS GUI"));
    QCOMPARE(seen.text, QString("USB is not Connected"));
    QCOMPARE(seen.buttons, QStringList{"OK"});
  }

  void okCancelBoxReportsTheAnswer() {
    QtToolkit toolkit;
    SeenBox seen;
    AnswerNextBox(QMessageBox::Cancel, &seen);
    QCOMPARE(toolkit.ShowMessage("Overwrite?", MessageButtons::OkCancel), MessageResult::Cancel);
    QCOMPARE(seen.buttons.size(), 2);
    SeenBox again;
    AnswerNextBox(QMessageBox::Ok, &again);
    QCOMPARE(toolkit.ShowMessage("Overwrite?", MessageButtons::OkCancel), MessageResult::Ok);
  }

  void missingBoardMessageComesUpOverTheStartupWindow() {
    kps::uitest::QtProgram p(/*plugged=*/false);
    p.ctx->startup.Show();
    QVERIFY(QTest::qWaitForWindowActive(p.startupWindow()));
    auto* list = p.Find<QComboBox>(p.startupWindow(), "cboTypeSelect");
    SeenBox seen;
    AnswerNextBox(QMessageBox::Ok, &seen);
    list->setCurrentIndex(1);
    QCOMPARE(seen.text,
             QString("Evaluation Board is not connected, or another application is using it."));
    QCOMPARE(list->currentText(), QString("I2C Address Selection"));
    QVERIFY(!p.consoleWindow()->isVisible());
  }

  void reportIsSelectableCopyableAndNotModal() {
    QtToolkit toolkit;
    toolkit.ShowReport("System Information", "Program: x\nKernel: y\n");
    QCOMPARE(toolkit.openReports().size(), 1);
    QDialog* report = toolkit.openReports().first();
    QVERIFY(QTest::qWaitForWindowExposed(report));
    QCOMPARE(report->windowTitle(), QString("System Information"));
    QVERIFY(!report->isModal());
    auto* text = report->findChild<QPlainTextEdit*>("reportText");
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->toPlainText(), QString("Program: x\nKernel: y\n"));
    QVERIFY(text->textInteractionFlags() & Qt::TextSelectableByMouse);

    QApplication::clipboard()->clear();
    QTest::mouseClick(report->findChild<QPushButton*>("reportCopy"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), QString("Program: x\nKernel: y\n"));

    QTest::mouseClick(report->findChild<QPushButton*>("reportClose"), Qt::LeftButton);
    QTRY_VERIFY(toolkit.openReports().isEmpty());  // closed and deleted
  }

  void quitWithNoEventLoopIsRememberedAndLeavesDialogsWorking() {
    QtToolkit toolkit;
    QVERIFY(!toolkit.quitRequested());
    toolkit.Quit();
    QVERIFY(toolkit.quitRequested());
    // A box after it still waits for its answer.
    SeenBox seen;
    AnswerNextBox(QMessageBox::Ok, &seen);
    QCOMPARE(toolkit.ShowMessage("still here", MessageButtons::OkCancel), MessageResult::Ok);
    QCOMPARE(seen.text, QString("still here"));
  }

  void quitInsideAMessageBoxEndsTheEventLoop() {
    QtToolkit toolkit;
    bool boxReturned = false;
    QTimer::singleShot(0, qApp, [&] {
      // A handler that ends the program while a box of an outer handler is up.
      QTimer::singleShot(20, qApp, [&] { toolkit.Quit(); });
      toolkit.ShowMessage("waiting", MessageButtons::Ok);
      boxReturned = true;
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(7); });
    watchdog.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(boxReturned);
    QVERIFY(toolkit.quitRequested());
  }
};

QTEST_MAIN(QtToolkitTest)
#include "qt_toolkit_test.moc"
