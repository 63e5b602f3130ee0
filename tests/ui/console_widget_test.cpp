// The console's real widgets over the simulated board, clicked and typed into
// as a user does: the event rules the handlers rely on (Enter, the focus
// moving on, option and check clicks), the layout toggle and the pictures.
// What the handlers then do is the console model's, tested without Qt.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QTemporaryDir>

#include <map>

#include "ui/console_widget.h"
#include "ui/lamp_widget.h"
#include "ui/picture_widget.h"
#include "ui/qt_toolkit.h"
#include "ui/statistics_window_widget.h"
#include "ui_program.h"

using namespace kps;
using kps::test::ClickMark;
using kps::test::Program;

namespace {

// The console of a started program, open on address 88 and active.
struct Console : Program {
  explicit Console(bool plugged = true, Toolkit* toolkitToUse = nullptr)
      : Program(plugged, toolkitToUse) {
    ctx->startup.goto_x28.Click();
    window = console();
    window->activateWindow();
  }
  template <typename W>
  W* Get(const QString& name) {
    return test::Find<W>(window, name);
  }
  QString Lamp(const QString& name) { return Get<ui::LampWidget>(name)->accessibleDescription(); }
  QWidget* window = nullptr;
};

// Where each named control that is shown sits in the window's (scrolled) area.
std::map<QString, QPoint> Places(QWidget* window) {
  auto* area = test::Find<QWidget>(window, "consoleContent");
  std::map<QString, QPoint> at;
  for (QWidget* w : area->findChildren<QWidget*>()) {
    if (!w->objectName().isEmpty() && w->isVisible())
      at[w->objectName()] = w->mapTo(area, QPoint());
  }
  return at;
}

// The controls shown in both that are not where they were.
QStringList Moved(const std::map<QString, QPoint>& before, const std::map<QString, QPoint>& after) {
  QStringList moved;
  for (const auto& [name, at] : before) {
    const auto now = after.find(name);
    if (now != after.end() && now->second != at) moved << name;
  }
  return moved;
}

// Counts the paint events a widget gets.
struct PaintCount : QObject {
  explicit PaintCount(QWidget* widget) { widget->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
  int64_t count = 0;
};

void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

}  // namespace

class ConsoleWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void leavingABoxByMouseRunsItsHandlerAndThePressedButtonStillClicks() {
    // The program's own toolkit: the writes that the focus change makes process
    // the queued events, as they do for a user.
    ui::QtToolkit toolkit;
    Console c(/*plugged=*/true, &toolkit);
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    auto* box = c.Get<QLineEdit>("txtRegHex_3");
    Type(box, "3c");
    QTest::mouseClick(c.Get<QLineEdit>("txtRegHex_4"), Qt::LeftButton);
    QTRY_COMPARE(c.board.chipRegister(3), 0x3C);

    // Leaving the box writes it twice, and the click on "Write" once more.
    const QString before = c.Lamp("ShpIndwr_3");
    Type(box, "4d");
    auto* write = c.Get<QPushButton>("cmdWrtReg_3");
    const QPoint at = write->rect().center();
    // A user's release is already queued when the press moves the focus.
    QCoreApplication::postEvent(
        write, new QMouseEvent(QEvent::MouseButtonRelease, at, write->mapToGlobal(at),
                               Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    QTest::mousePress(write, Qt::LeftButton, {}, at);
    QTRY_COMPARE(c.board.chipRegister(3), 0x4D);
    QTRY_VERIFY(c.Lamp("ShpIndwr_3") != before);  // the click was not lost
    QVERIFY(!write->isDown());
  }

  void optionButtonsRunTheirHandlerOnlyWhenTheSelectionChanges() {
    Console c;
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    auto* ir = c.Get<QRadioButton>("OptMMode_1");
    ClickMark(ir);
    QVERIFY(ir->isChecked());
    QVERIFY(!c.Get<QRadioButton>("OptMMode_0")->isChecked());
    QCOMPARE(c.board.chipRegister(1), 0x01);
    const QString after = c.Lamp("ShpIndwr_1");
    ClickMark(ir);  // already selected: nothing is written
    QCOMPARE(c.Lamp("ShpIndwr_1"), after);
    // The arrow keys select the next member as a click does.
    auto* sleep800 = c.Get<QRadioButton>("OptIRSleep_0");
    sleep800->setFocus();
    QTest::keyClick(sleep800, Qt::Key_Down);
    QVERIFY(c.Get<QRadioButton>("OptIRSleep_1")->isChecked());
    QCOMPARE(c.board.chipRegister(1), 0x11);

    // "Test Comm" deselects itself, shows its coloured result, and can be clicked again.
    auto* testComm = c.Get<QRadioButton>("OptMode_2");
    auto* result = c.Get<QLabel>("LblCommTest");
    QVERIFY(!result->isVisible());
    ClickMark(testComm);
    QVERIFY(result->isVisible());
    QCOMPARE(result->palette().color(QPalette::Window), QColor(0, 128, 0));
    QVERIFY(!testComm->isChecked());
  }

  void aMessageBoxFromAFocusLossDoesNotWriteAgain() {
    ui::QtToolkit toolkit;
    Console c(/*plugged=*/false, &toolkit);
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    test::BoxAnswerer answerer(QMessageBox::Ok);
    // Register 0's box, which has the focus first, is left untouched: no write.
    auto* box = c.Get<QLineEdit>("txtRegHex_3");
    Type(box, "3c");
    QTest::mouseClick(c.Get<QLineEdit>("txtRegHex_4"), Qt::LeftButton);
    QTest::qWait(300);
    // The two writes of register 3 each say the board is missing; the boxes
    // taking the focus from register 4's box write nothing.
    QCOMPARE(answerer.boxes, 2);
  }

  void openingPlacesTheGraphNamesTheRegisterControlsAndSendsNothing() {
    Console c;
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    QCOMPARE(c.board.conversions(), uint64_t{0});
    QCOMPARE(c.board.chipRegister(1), uint8_t{0});
    auto* graph = c.Get<ui::PictureWidget>("Picture1");
    QCOMPARE(graph->size(), QSize(404, 304));
    QCOMPARE(graph->pos(), QPoint(52, 20));  // where the value labels expect it
    // A screen reader hears which register and what each control does.
    const std::pair<const char*, const char*> names[] = {{"txtRegHex_1", "0x1 CONF write value"},
                                                         {"cmdWrtReg_1", "0x1 CONF write"},
                                                         {"cmdRDReg_1", "0x1 CONF read"},
                                                         {"txtRegRd_1", "0x1 CONF read value"},
                                                         {"cmdWrtReg_0", "0x0 write"},
                                                         {"txtRegRd_15", "0xF TEST2 read value"}};
    for (const auto& [control, name] : names)
      QCOMPARE(c.Get<QWidget>(control)->accessibleName(), QString(name));
  }

  // The keys of the menu entries and of "Exit", each shown in its menu.
  void keysOpenTheScriptWindowAndExit() {
    Console c;
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    QCOMPARE(c.Get<QAction>("mnuSaveMeas")->shortcut(), QKeySequence(QKeySequence::Save));
    QTest::keyClick(c.window, Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(c.ctx->scripts.open().size(), std::size_t{1});
    c.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    QTest::keyClick(c.window, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(c.toolkit.quits, 1);
  }

  // "Statistics", after the menu's other entries, opens the window; its timer
  // follows the history; "Copy" fills the clipboard; Escape closes it.
  void theStatisticsWindowOpensFromTheMenuAndCopies() {
    Console c;
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    QStringList entries;
    for (QAction* entry : c.Get<QAction>("mnuMenu")->menu()->actions())
      entries << entry->objectName();
    QCOMPARE(entries, QStringList({"mnuSaveMeas", "mnuScript", "mnuStatistics"}));
    ConsoleShared& s = c.ctx->shared;
    for (int i = 0; i < 30; ++i) s.AddSample(20 + i % 3, 1000);
    c.Get<QAction>("mnuStatistics")->trigger();
    QWidget* stats = &c.windows->statistics(ConsoleVariant::Main);
    QVERIFY(QTest::qWaitForWindowExposed(stats));
    const auto figure = [&](int k) {
      return test::Find<QLabel>(stats, QString("lblFigure_%1").arg(k));
    };
    QCOMPARE(figure(0)->text(), QString("19"));  // the twelfth sample on, as recorded
    QCOMPARE(figure(14)->accessibleName(), QString("Lux sd"));
    s.AddSample(40, 1000);
    QTRY_COMPARE(figure(0)->text(), QString("20"));
    QCOMPARE(figure(4)->text(), QString("40"));  // Proximity max
    QTest::mouseClick(test::Find<QPushButton>(stats, "cmdCopy"), Qt::LeftButton);
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    QCOMPARE(lines.size(), 5);  // and the last line ended
    QCOMPARE(lines[0], QString("quantity\tn\tmean\tsd\tmin\tmax\tpp"));
    QVERIFY2(lines[1].startsWith("Proximity\t20\t"), qPrintable(lines[1]));
    QVERIFY2(lines[3].startsWith("Lux\t20\t30.525\t0\t"), qPrintable(lines[3]));
    QTest::keyClick(stats, Qt::Key_Escape);
    QVERIFY(!c.ctx->console.stats.form.visible());
    QVERIFY(!stats->isVisible());
  }

  // A screen smaller than the window: the window fits it and scrolls down to
  // the bottom row; a large one shows everything with no scroll bar.
  void theWindowFitsTheScreenAndScrollsToTheBottomRow() {
    for (const QRect screen : {QRect(0, 0, 1366, 768), QRect(0, 0, 2560, 1440)}) {
      Program p;
      auto* w = static_cast<ui::ConsoleWidget*>(p.console());
      w->setAvailableGeometry(screen);
      p.ctx->startup.goto_x28.Click();
      QVERIFY(QTest::qWaitForWindowExposed(w));
      QScrollArea* scroll = w->scrollArea();
      const QSize least = scroll->widget()->minimumSizeHint();
      QCOMPARE(scroll->verticalScrollBar()->isVisible(), screen.height() < least.height());
      if (screen.height() > least.height()) {
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        QCOMPARE(scroll->viewport()->size(), least);  // as it was before it could scroll
        continue;
      }
      QVERIFY(w->frameGeometry().height() <= screen.height());
      auto* exit = test::Find<QPushButton>(w, "Command4");
      const auto shown = [&] {
        return scroll->viewport()->rect().contains(
            QRect(exit->mapTo(scroll->viewport(), QPoint()), exit->size()));
      };
      QVERIFY(!shown());
      scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
      scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
      QVERIFY(shown());
      QTest::mouseClick(exit, Qt::LeftButton);
      QCOMPARE(p.toolkit.quits, 1);
    }
  }

  // "Save Chart As..." writes the chart with its labels as shown, pixel for
  // pixel; a file that cannot be written gets a message.
  void theChartIsSavedAsAPictureOfWhatIsShown() {
    Console c;
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    QTemporaryDir dir;
    auto* panel = c.Get<ui::PictureWidget>("Picture2");
    auto* chart = c.Get<ui::PictureWidget>("Picture1");
    chart->surface().SetPixel(400, 300, 0x123456);
    c.toolkit.fileAnswers = {dir.filePath("chart.png").toStdString(),
                             dir.filePath("no/such/folder.png").toStdString()};
    auto* save = c.Get<QAction>("actSaveChart");
    QVERIFY(panel->actions().contains(save));
    save->trigger();
    QVERIFY(c.toolkit.fileDialogs.back().save);
    const QImage saved(dir.filePath("chart.png"));
    QCOMPARE(saved.size(), panel->size());
    for (int y = 0; y < saved.height(); ++y) {
      for (int x = 0; x < saved.width(); ++x) {
        const QPoint in = QPoint(x, y) - chart->pos();
        const uint32_t want = chart->rect().contains(in) ? chart->surface().Pixel(in.x(), in.y())
                                                         : panel->surface().Pixel(x, y);
        if ((saved.pixel(x, y) & 0xFFFFFF) != want)
          QFAIL(qPrintable(QString("%1,%2").arg(x).arg(y)));
      }
    }
    QVERIFY(c.toolkit.messages.empty());
    save->trigger();
    QCOMPARE(c.toolkit.messages.size(), std::size_t{1});
    QVERIFY(c.toolkit.messages[0].rfind("The chart could not be saved to ", 0) == 0);
    // "Copy Chart" gives the same picture.
    c.Get<QAction>("actCopyChart")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             saved.convertToFormat(QImage::Format_RGB32));
  }

  void collectingScrollsBothTracesAndStopRestoresTheButtons() {
    ui::QtToolkit toolkit;
    Console c(true, &toolkit);
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    ClickMark(c.Get<QCheckBox>("chkALSEnable"));
    ClickMark(c.Get<QCheckBox>("ChkPEnable"));
    auto* collect = c.Get<QPushButton>("cmdCollectData");
    auto* stop = c.Get<QPushButton>("cmdStopData");
    QVERIFY(!stop->isVisible());
    Type(c.Get<QLineEdit>("txtInterval"), "0");  // as fast as the board answers
    const auto idle = Places(c.window);
    auto running = idle;
    bool stopFocused = false;
    // The chart is repainted at the screen's pace, not at every pass.
    PaintCount chartPaints(c.Get<ui::PictureWidget>("Picture1"));
    QTimer::singleShot(1200, stop, [&] {
      stopFocused = stop->hasFocus();
      running = Places(c.window);
      QTest::mouseClick(stop, Qt::LeftButton);
    });
    // The loop runs inside this click until "Stop" is clicked.
    QTest::mouseClick(collect, Qt::LeftButton);
    const int64_t passes = c.ctx->shared.SamplesTaken;
    QVERIFY2(passes > 4 * chartPaints.count,
             qPrintable(QString("%1 passes, %2 paints").arg(passes).arg(chartPaints.count)));
    // Once stopped, every widget shows what its model holds.
    QCOMPARE(c.Get<QLabel>("lblLoop_Count")->text().toStdString(),
             c.ctx->console.graph.lblLoop_Count.caption());
    QCOMPARE(c.Get<QLineEdit>("txtTime1")->text().toStdString(),
             c.ctx->console.graph.txtTime1.text());
    QVERIFY(!stop->isVisible());
    QVERIFY(collect->isEnabled());
    const bool collectFocused = collect->hasFocus();
    // Nothing moved as "Stop" and "Exit" came and went, so a click lands where it was aimed.
    QCOMPARE(Moved(idle, running), QStringList());
    QCOMPARE(Moved(idle, Places(c.window)), QStringList());
    // A click elsewhere keeps the graph: no box with a lost-focus handler had the focus.
    QTest::mouseClick(c.Get<QLineEdit>("txtFilePath"), Qt::LeftButton);
    QTest::qWait(50);
    // Steady scene: ALS/IR 3276 of 4100 at row 63, one image pixel per widget pixel.
    const QImage shown = c.Get<ui::PictureWidget>("Picture1")->grab().toImage();
    QCOMPARE(shown.pixelColor(401, 63), QColor(Qt::red));
    // The focus went from "Collect" to "Stop" and back, never into the interval box.
    QVERIFY(stopFocused);
    QVERIFY(collectFocused);
  }

  void closingTheWindowDuringCollectionEndsTheProgram() {
    ui::QtToolkit toolkit;
    Console c(true, &toolkit);
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    QTimer::singleShot(600, c.window, [&c] { c.window->close(); });
    QTest::mouseClick(c.Get<QPushButton>("cmdCollectData"), Qt::LeftButton);
    // The collection ended with the window: no message about a missing board,
    // the session closed, the program on its way out.
    QVERIFY(toolkit.quitRequested());
    QVERIFY(!c.ctx->flags.CollectRunning);
    QVERIFY(!c.window->isVisible());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }
};

QTEST_MAIN(ConsoleWidgetTest)
#include "console_widget_test.moc"
