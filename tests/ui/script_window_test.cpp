// The script window's widgets over the simulated board: opened from the
// console's menu, a script loaded through its own menu, rows run by a click or
// a key and never by a selection made in code, the table laid out by the
// window's rule, and the widget going with its model.
#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include "ui/script_window_widget.h"
#include "ui_program.h"

using namespace kps;
using kps::test::Program;

namespace {

const QColor kGreen(0, 255, 0);

// The console on address 88 with the script window opened from its menu.
struct Scripts : Program {
  Scripts() {
    ctx->startup.goto_x28.Click();
    Find<QAction>(console(), "mnuScript")->trigger();
  }
  ScriptWindow& model() { return *ctx->scripts.open().front(); }
  ui::ScriptWindowWidget* window() { return windows->script(model()); }
  QTableView* table() { return window()->table(); }
  QString Cell(int row, int column) {  // 1-based, as the script counts
    return table()->model()->index(row - 1, column - 1).data().toString();
  }
  QColor Back(int row, int column) {
    return table()->model()->index(row - 1, column - 1).data(Qt::BackgroundRole).value<QColor>();
  }
  QString Text(const QString& box) { return Find<QLineEdit>(window(), box)->text(); }
  void Load(const QString& path) {
    toolkit.fileAnswers.push_back(path.toStdString());
    Find<QAction>(window(), "mnuScript_Read")->trigger();
  }
  void ClickRow(int row) {
    const QRect cell = table()->visualRect(table()->model()->index(row - 1, kColOperation - 1));
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
  }
};

QString WriteScript(const QTemporaryDir& dir, const QByteArray& text) {
  const QString path = dir.filePath("regs.txt");
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) qFatal("no script");
  return path;
}

}  // namespace

class ScriptWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void consoleMenuOpensAnEmptyWindowAndTheFileMenuLoadsAScript() {
    Scripts s;
    QVERIFY(s.window() != nullptr);
    QVERIFY(s.window()->isVisible());
    QCOMPARE(s.window()->windowTitle(), QString("No Script File Selected"));
    QCOMPARE(s.table()->model()->rowCount(), 24);
    QCOMPARE(s.table()->model()->columnCount(), 9);
    QCOMPARE(s.table()->model()->headerData(6, Qt::Horizontal), QVariant("Operation"));
    QCOMPARE(s.table()->columnWidth(7), 200);
    QCOMPARE(s.Cell(1, kColLine), QString());
    auto* control = s.Find<QGroupBox>(s.window(), "frmScriptExec");
    QVERIFY(!control->isVisible());
    QVERIFY(!s.Find<QPushButton>(s.window(), "cmdReload2")->isVisible());

    QTemporaryDir dir;
    s.Load(WriteScript(dir, "01,05\n01,,05\n# note\n"));
    QCOMPARE(s.window()->windowTitle(), QString("[ regs.txt ]    Script IC Send / Receive"));
    QCOMPARE(s.table()->model()->rowCount(), 3);
    QCOMPARE(s.Cell(1, kColLine), QString("001"));
    QCOMPARE(s.Cell(1, kColI2CAdr), QString("88"));
    QCOMPARE(s.Cell(1, kColOperation), QString(" Reg:1 W:1"));
    QCOMPARE(s.Cell(2, kColActRd), QString("--"));
    QCOMPARE(s.table()->model()->index(0, kColLine - 1).data(Qt::TextAlignmentRole).toInt() &
                 Qt::AlignHCenter,
             Qt::AlignHCenter);
    QVERIFY(control->isVisible());
    QVERIFY(s.Find<QPushButton>(s.window(), "cmdReload2")->isVisible());
    QCOMPARE(s.Text("txttotReads"), QString("1"));
  }

  void aClickOrEnterRunsARowAndASelectionNeverDoes() {
    Scripts s;
    QTemporaryDir dir;
    s.Load(WriteScript(dir, "01,05\n01,,05\n01,2A\n"));

    s.ClickRow(1);  // the write
    QTRY_COMPARE(s.board.chipRegister(1), 0x05);
    QCOMPARE(s.Back(1, kColI2CAdr), kGreen);
    s.ClickRow(2);  // reads back what was written
    QTRY_COMPARE(s.Text("txtRdPass"), QString("1"));
    QCOMPARE(s.Text("txtRdFails"), QString("0"));
    QCOMPARE(s.Cell(2, kColActRd), QString("05"));
    QCOMPARE(s.Back(2, kColI2CAdr), kGreen);
    QCOMPARE(s.Back(2, kColActRd), kGreen);

    // Selected by code (as Run All Steps does): the view follows, nothing runs.
    s.model().vbalGrid1.SelectRow(3);
    QCOMPARE(s.table()->currentIndex().row(), 2);
    QVERIFY(s.table()->selectionModel()->isRowSelected(2, {}));
    QTest::qWait(50);
    QCOMPARE(s.board.chipRegister(1), 0x05);
    QVERIFY(!s.Back(3, kColI2CAdr).isValid());

    // The arrow keys only select; Enter runs the current row.
    s.table()->setFocus();
    QTest::keyClick(s.table(), Qt::Key_Up);
    QCOMPARE(s.model().vbalGrid1.selectedRow(), 2);
    QTest::keyClick(s.table(), Qt::Key_Down);
    QCOMPARE(s.model().vbalGrid1.selectedRow(), 3);
    QTest::qWait(50);
    QCOMPARE(s.board.chipRegister(1), 0x05);
    QTest::keyClick(s.table(), Qt::Key_Return);
    QTRY_COMPARE(s.board.chipRegister(1), 0x2A);
    QCOMPARE(s.Back(3, kColI2CAdr), kGreen);
    // The keypad's Enter too (it carries the keypad modifier).
    s.model().vbalGrid1.SetBackColor(3, kColI2CAdr, std::nullopt);
    QTest::keyClick(s.table(), Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_COMPARE(s.Back(3, kColI2CAdr), kGreen);
  }

  void theTableTakesItsPlaceFromTheWindowRule() {
    Scripts s;
    QWidget* inner = s.window()->centralWidget();
    s.window()->resize(900, 700);
    QTRY_COMPARE(inner->width(), 900);
    const QRect big = s.table()->geometry();
    QCOMPARE(big.left(), 100 / kTwipsPerPixel);
    QCOMPARE(big.width(), (inner->width() * kTwipsPerPixel - 400) / kTwipsPerPixel);
    QCOMPARE(big.height(), (inner->height() * kTwipsPerPixel - 3300) / kTwipsPerPixel);
    // The controls sit under the table.
    QVERIFY(s.Find<QWidget>(s.window(), "txtI2CAdr")->mapTo(inner, QPoint()).y() > big.bottom());

    // Under 4000 twips of inner height the table keeps its height.
    s.window()->resize(800, 200);
    QTRY_COMPARE(inner->width(), 800);
    QCOMPARE(s.table()->width(), (800 * kTwipsPerPixel - 400) / kTwipsPerPixel);
    QCOMPARE(s.table()->height(), big.height());
  }

  void aWindowClosedDuringARunLosesItsWidgetOnceItsModelGoes() {
    Scripts s;
    QTemporaryDir dir;
    s.Load(WriteScript(dir, "01,05\n"));
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
    QCOMPARE(s.board.chipRegister(1) == 0x05, false);  // the row ended at the close

    // The menu opens a new window; the closed one's model goes, and its widget with it.
    s.Find<QAction>(s.console(), "mnuScript")->trigger();
    QCOMPARE(s.ctx->scripts.open().size(), std::size_t{1});
    QVERIFY(s.window() != first);
    QCOMPARE(s.window()->windowTitle(), QString("No Script File Selected"));
    QTRY_VERIFY(first.isNull());
  }
};

QTEST_MAIN(ScriptWindowTest)
#include "script_window_test.moc"
