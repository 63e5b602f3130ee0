// The script window's widgets over the simulated board: opened from the
// console's menu, a script loaded through its own menu, rows run by a click or
// a key and never by a selection made in code, the table laid out by the
// window's rule, and the widget going with its model.
#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include "ui/desktop_settings.h"
#include "ui/script_window_widget.h"
#include "ui_program.h"

using namespace kps;
using kps::test::Find;

namespace {

const QColor kGreen(0, 255, 0);

// The console on address 88 with the script window opened from its menu.
struct Scripts : test::Program {
  explicit Scripts(ui::DesktopSettings* settings = nullptr) : Program(true, nullptr, settings) {
    ctx->startup.goto_x28.Click();
    Find<QAction>(console(), "mnuScript")->trigger();
  }
  ScriptWindow& model() { return *ctx->scripts.open().front(); }
  ui::ScriptWindowWidget* window() { return windows->script(model()); }
  QTableView* table() { return window()->table(); }
  QModelIndex At(int row, int column) {  // 1-based, as the script counts
    return table()->model()->index(row - 1, column - 1);
  }
  QColor Back(int row, int column) {
    return At(row, column).data(Qt::BackgroundRole).value<QColor>();
  }
  void Load(const QByteArray& text, const QString& name = "regs.txt") {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) qFatal("no script");
    file.close();
    toolkit.fileAnswers.push_back(path.toStdString());
    Find<QAction>(window(), "mnuScript_Read")->trigger();
  }
  void ClickRow(int row) {
    const QRect cell = table()->visualRect(At(row, kColOperation));
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
  }
  QTemporaryDir dir;
};

}  // namespace

class ScriptWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void consoleMenuOpensAnEmptyWindowAndTheFileMenuLoadsAScript() {
    Scripts s;
    QVERIFY(s.window() != nullptr);
    QVERIFY(s.window()->isVisible());
    QCOMPARE(s.table()->model()->rowCount(), 24);
    QCOMPARE(s.table()->model()->headerData(6, Qt::Horizontal), QVariant("Operation"));
    QCOMPARE(s.table()->columnWidth(7), 200);
    auto* control = Find<QGroupBox>(s.window(), "frmScriptExec");
    QVERIFY(!control->isVisible());

    s.Load("01,05\n01,,05\n# note\n");
    QCOMPARE(s.window()->windowTitle(), QString("[ regs.txt ]    Script IC Send / Receive"));
    QCOMPARE(s.table()->model()->rowCount(), 3);
    QCOMPARE(s.At(1, kColOperation).data().toString(), QString(" Reg:1 W:1"));
    QCOMPARE(s.At(1, kColLine).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter,
             Qt::AlignHCenter);
    QVERIFY(control->isVisible());
  }

  void aClickOrEnterRunsARowAndASelectionNeverDoes() {
    Scripts s;
    s.Load("01,05\n01,2A\n01,,2A\n");
    // Selected by code (as Run All Steps does): the view follows, nothing runs.
    s.model().vbalGrid1.SelectRow(2);
    QCOMPARE(s.table()->currentIndex().row(), 1);
    QVERIFY(s.table()->selectionModel()->isRowSelected(1, {}));
    // The arrow keys only select; Enter runs the current row.
    s.table()->setFocus();
    QTest::keyClick(s.table(), Qt::Key_Up);
    QCOMPARE(s.model().vbalGrid1.selectedRow(), 1);
    QTest::qWait(50);
    QCOMPARE(s.board.chipRegister(1), 0x00);
    QTest::keyClick(s.table(), Qt::Key_Return);
    QTRY_COMPARE(s.board.chipRegister(1), 0x05);
    s.ClickRow(2);
    QTRY_COMPARE(s.board.chipRegister(1), 0x2A);
    QCOMPARE(s.Back(2, kColI2CAdr), kGreen);
    // The keypad's Enter too (it carries the keypad modifier).
    s.model().vbalGrid1.SetBackColor(2, kColI2CAdr, std::nullopt);
    QTest::keyClick(s.table(), Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_COMPARE(s.Back(2, kColI2CAdr), kGreen);
    // A read that matches: its cell and the counter boxes on screen.
    s.ClickRow(3);
    QTRY_COMPARE(s.Back(3, kColActRd), kGreen);
    QCOMPARE(s.At(3, kColActRd).data().toString(), QString("2A"));
    QCOMPARE(Find<QLineEdit>(s.window(), "txttotReads")->text(), QString("1"));
    QCOMPARE(Find<QLineEdit>(s.window(), "txtRdPass")->text(), QString("1"));
    QCOMPARE(Find<QLineEdit>(s.window(), "txtRdFails")->text(), QString("0"));
  }

  void theTableTakesItsPlaceFromTheWindowRule() {
    Scripts s;
    QScrollArea* scroll = s.window()->scrollArea();
    QWidget* inner = scroll->viewport();
    s.window()->resize(900, 700);
    QTRY_COMPARE(inner->width(), 900);
    const QRect big = s.table()->geometry();
    QCOMPARE(big.left(), 100 / kTwipsPerPixel);
    QCOMPARE(big.width(), (inner->width() * kTwipsPerPixel - 400) / kTwipsPerPixel);
    QCOMPARE(big.height(), (inner->height() * kTwipsPerPixel - 3300) / kTwipsPerPixel);
    // The controls sit under the table.
    QVERIFY(Find<QWidget>(s.window(), "txtI2CAdr")->mapTo(inner, QPoint()).y() > big.bottom());

    // Under 4000 twips of inner height the table keeps its height, and the
    // controls under it are a scroll away.
    s.window()->resize(800, 200);
    QTRY_VERIFY(scroll->verticalScrollBar()->isVisible());
    QCOMPARE(s.table()->width(), (inner->width() * kTwipsPerPixel - 400) / kTwipsPerPixel);
    QCOMPARE(s.table()->height(), big.height());
    auto* address = Find<QWidget>(s.window(), "txtI2CAdr");
    QVERIFY(address->mapTo(inner, QPoint()).y() > inner->height());
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    QVERIFY(inner->rect().contains(QRect(address->mapTo(inner, QPoint()), address->size())));
  }

  // Each script loaded whole heads the recent list, which every window's
  // "File" menu shows after its own entries; choosing one loads it.
  void theFileMenuListsTheRecentScriptsAfterItsOwnEntries() {
    QTemporaryDir config;
    ui::DesktopSettings settings(config.filePath("kps-eval.conf"));
    Scripts s(&settings);
    s.Load("01,05\n");
    s.Load(QByteArray("01,\0", 4), "nul.txt");  // refused: not listed
    QCOMPARE(s.toolkit.messages.size(), std::size_t{1});
    const QString path = s.dir.filePath("regs.txt");
    QCOMPARE(settings.recentScripts(), QStringList{path});

    Find<QAction>(s.window(), "Dupform")->trigger();
    ScriptWindow& second = *s.ctx->scripts.open().back();
    QMenu* file = s.windows->script(second)->menuBar()->actions().front()->menu();
    emit file->aboutToShow();
    QStringList entries;
    for (QAction* a : file->actions()) entries << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(entries, QStringList({"Open Script File", "Open Another Script Processing Form", "-",
                                   "&1 regs.txt"}));
    QCOMPARE(file->actions().back()->toolTip(), path);
    file->actions().back()->trigger();
    QTRY_COMPARE(second.form.caption(), std::string("[ regs.txt ]    Script IC Send / Receive"));
  }

  void aWindowClosedDuringARunLosesItsWidgetOnceItsModelGoes() {
    Scripts s;
    s.Load("01,05\n");
    QPointer<ui::ScriptWindowWidget> first = s.window();
    s.toolkit.onProcessEvents = [&] {
      if (ui::ScriptWindowWidget* w = first.data(); w != nullptr && w->isVisible()) w->close();
    };
    s.ClickRow(1);
    const auto closed = [&first] {
      const ui::ScriptWindowWidget* w = first.data();
      return w == nullptr || w->isHidden();
    };
    QTRY_VERIFY(closed());
    s.toolkit.onProcessEvents = nullptr;
    QVERIFY(s.board.chipRegister(1) != 0x05);  // the row ended at the close

    // The menu opens a new window; the closed one's model goes, and its widget with it.
    Find<QAction>(s.console(), "mnuScript")->trigger();
    QCOMPARE(s.ctx->scripts.open().size(), std::size_t{1});
    QVERIFY(s.window() != first);
    QCOMPARE(s.window()->windowTitle(), QString("No Script File Selected"));
    QTRY_VERIFY(first.isNull());
  }
};

QTEST_MAIN(ScriptWindowTest)
#include "script_window_test.moc"
