// The program's real windows over the simulated board, driven as a user drives
// them, and the Qt toolkit under them.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>

#include "ui/about_dialog.h"
#include "ui/desktop_settings.h"
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

  // Where a window was and the folder a dialog was left in come back in the
  // next run; a settings file that cannot be written stops nothing and the
  // defaults hold.
  void settingsComeBackAndAnUnwritableFileStopsNothing() {
    QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    // A script, and a file in another folder for another dialog.
    const QString script = dir.filePath("scripts/regs.txt");
    const QString other = dir.filePath("other/data.csv");
    for (const QString& path : {script, other}) {
      QVERIFY(QDir(dir.path()).mkpath(QFileInfo(path).path()));
      QFile made(path);
      QVERIFY(made.open(QIODevice::WriteOnly));
    }
    const QRect place(40, 30, 420, 240);
    for (const bool writable : {true, false}) {
      const QString file = writable ? dir.filePath("config/kps-eval.conf")
                                    : dir.filePath("plain/kps-eval/kps-eval.conf");
      // Answers every file dialog with `answer`, noting the folder it opened in.
      QString folderSeen;
      QString answer = script;
      QTimer answerer;
      QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        folderSeen = dialog->directory().absolutePath();
        dialog->setDirectory(QFileInfo(answer).path());  // where the user goes
        Find<QLineEdit>(dialog, "fileNameEdit")->setText(QFileInfo(answer).fileName());
        static_cast<QDialog*>(dialog)->accept();  // as the Open button does
      });
      answerer.start(10);
      {
        ui::DesktopSettings settings(file);
        Program p(true, nullptr, &settings);
        QWidget* w = p.startup();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->setGeometry(place);
        w->hide();
        ui::QtToolkit toolkit;
        toolkit.setSettings(&settings);
        QCOMPARE(toolkit.OpenFileDialog({"Open", "", "All|*.*", ""}), script.toStdString());
        answer = other;  // another dialog, left elsewhere
        toolkit.OpenFileDialog({"Save", "", "All|*.*", ""});
        QCOMPARE(settings.healthy(), writable);
      }
      ui::DesktopSettings settings(file);
      Program p(true, nullptr, &settings);
      QVERIFY(QTest::qWaitForWindowExposed(p.startup()));
      QCOMPARE(p.startup()->geometry() == place, writable);
      ui::QtToolkit toolkit;
      toolkit.setSettings(&settings);
      toolkit.OpenFileDialog({"Open", "", "All|*.*", ""});
      QCOMPARE(folderSeen == dir.filePath("scripts"), writable);
    }
  }

  // The script dialog shows the program's captions, and "All Files (*.*)"
  // lists a file whose name has no dot.
  void theScriptDialogsAllFilesListsNamesWithoutADot() {
    QTemporaryDir dir;
    QFile notes(dir.filePath("notes"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    QStringList captions;
    bool listed = false;
    int polls = 0;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      auto* types = Find<QComboBox>(dialog, "fileTypeCombo");
      captions.clear();
      for (int i = 0; i < types->count(); ++i) captions << types->itemText(i);
      if (dialog->directory() != QDir(dir.path())) dialog->setDirectory(dir.path());
      dialog->selectNameFilter(dialog->nameFilters().last());
      auto* list = Find<QListView>(dialog, "listView");
      for (int r = 0; r < list->model()->rowCount(list->rootIndex()); ++r)
        listed = listed || list->model()->index(r, 0, list->rootIndex()).data() == "notes";
      if (listed || ++polls > 300) dialog->reject();
    });
    answerer.start(10);
    ui::QtToolkit toolkit;
    toolkit.OpenFileDialog(
        {"Select Script File to Open", "", "Norvale Script Files |*.txt|All Files|*.*", "*.txt"});
    QCOMPARE(captions, QStringList({"Norvale Script Files (*.txt)", "All Files (*.*)"}));
    QVERIFY(listed);
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
