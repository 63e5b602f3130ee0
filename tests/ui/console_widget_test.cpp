// The console's real widgets over the simulated board, clicked and typed into
// as a user does: one representative handler of each group, and the event
// rules the handlers rely on (Enter, focus moving on, option and check clicks).
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

#include "ui/lamp_widget.h"
#include "ui/picture_widget.h"
#include "ui/qt_toolkit.h"
#include "ui_program.h"

using namespace kps;
using kps::test::Program;

namespace {

// The console of a started program, open on address 88 and shown.
struct Console : Program {
  explicit Console(bool plugged = true, Toolkit* toolkitToUse = nullptr)
      : Program(plugged, toolkitToUse) {
    ctx->startup.goto_x28.Click();
    window = console();
    window->activateWindow();
  }
  template <typename W>
  W* Get(const QString& name) {
    W* w = Find<W>(window, name);
    if (w == nullptr) qFatal("no widget %s", qPrintable(name));
    return w;
  }
  ConsoleWindow& model() { return ctx->console; }
  QWidget* window = nullptr;
};

void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

// Option buttons and check boxes take clicks on their mark and caption only.
void ClickMark(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

}  // namespace

class ConsoleWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void registerEntryWritesOnEnterAndTwiceWhenTheFocusMovesOn() {
    Console c;
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    auto* box = c.Get<QLineEdit>("txtRegHex_3");
    Type(box, "a5");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(box->text(), QString("A5"));
    QCOMPARE(c.board.chipRegister(3), 0xA5);
    QCOMPARE(c.Get<QLineEdit>("txtRegRd_3")->text(), QString("A5"));
    QCOMPARE(c.Get<ui::LampWidget>("ShpIndrd_3")->accessibleDescription(), QString("green"));

    // Moving on by mouse writes the box's register twice: the indicator ends where it was.
    auto* next = c.Get<QLineEdit>("txtRegHex_4");
    auto* indicator = c.Get<ui::LampWidget>("ShpIndwr_3");
    const QString before = indicator->accessibleDescription();
    Type(box, "3c");
    QTest::mouseClick(next, Qt::LeftButton);
    QTRY_COMPARE(c.board.chipRegister(3), 0x3C);
    QCOMPARE(box->text(), QString("3C"));
    QCOMPARE(indicator->accessibleDescription(), before);
  }

  void typingThenClickingWriteWritesThreeTimes() {
    // The program's own toolkit: the writes that the focus change makes process
    // the queued events, as they do for a user.
    ui::QtToolkit toolkit;
    Console c(/*plugged=*/true, &toolkit);
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    auto* box = c.Get<QLineEdit>("txtRegHex_3");
    auto* indicator = c.Get<ui::LampWidget>("ShpIndwr_3");
    const QString before = indicator->accessibleDescription();
    Type(box, "4d");
    auto* write = c.Get<QPushButton>("cmdWrtReg_3");
    const QPoint at = write->rect().center();
    // A user's release is already queued when the press moves the focus.
    QCoreApplication::postEvent(
        write, new QMouseEvent(QEvent::MouseButtonRelease, at, write->mapToGlobal(at),
                               Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    QTest::mousePress(write, Qt::LeftButton, {}, at);
    QTRY_COMPARE(c.board.chipRegister(3), 0x4D);
    // Twice as the focus left the box, once for the click: the click is not lost.
    QTRY_VERIFY(indicator->accessibleDescription() != before);
    QVERIFY(!write->isDown());
  }

  void optionsWriteConfigurationOnlyWhenTheSelectionChanges() {
    Console c;
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    auto* ir = c.Get<QRadioButton>("OptMMode_1");
    auto* indicator = c.Get<ui::LampWidget>("ShpIndwr_1");
    ClickMark(ir);
    QVERIFY(ir->isChecked());
    QVERIFY(!c.Get<QRadioButton>("OptMMode_0")->isChecked());
    QCOMPARE(c.board.chipRegister(1), 0x01);
    const QString after = indicator->accessibleDescription();
    ClickMark(ir);  // already selected: nothing is written
    QVERIFY(ir->isChecked());
    QCOMPARE(indicator->accessibleDescription(), after);

    ClickMark(c.Get<QCheckBox>("chkALSEnable"));
    QCOMPARE(c.board.chipRegister(1), 0x05);
    QCOMPARE(c.Get<QLineEdit>("txtRegHex_1")->text(), QString("05"));

    // The arrow keys select the next member as a click does.
    auto* sleep800 = c.Get<QRadioButton>("OptIRSleep_0");
    sleep800->setFocus();
    QTest::keyClick(sleep800, Qt::Key_Down);
    QVERIFY(c.Get<QRadioButton>("OptIRSleep_1")->isChecked());
    QCOMPARE(c.board.chipRegister(1), 0x15);
  }

  void testCommShowsGoodAndCanBeClickedAgain() {
    Console c;
    auto* option = c.Get<QRadioButton>("OptMode_2");
    auto* result = c.Get<QLabel>("LblCommTest");
    QVERIFY(!result->isVisible());
    const bool redBefore = c.board.ledLit(0);
    ClickMark(option);
    QVERIFY(result->isVisible());
    QCOMPARE(result->text(), QString("Good"));
    QCOMPARE(result->palette().color(QPalette::Window), QColor(0, 128, 0));
    QVERIFY(!option->isChecked());
    QCOMPARE(c.board.ledLit(0), !redBefore);
    ClickMark(option);
    QCOMPARE(c.board.ledLit(0), redBefore);
  }

  void interruptGroupsWriteIntrAndShowTheirNotesAndTheLayoutToggles() {
    Console c;
    ClickMark(c.Get<QRadioButton>("optINTP_2"));  // proximity persistence "8"
    QCOMPARE(c.board.chipRegister(2) & 0x60, 0x40);
    QTest::mouseClick(c.Get<QPushButton>("cmdISamples"), Qt::LeftButton);
    QCOMPARE(c.Get<ui::LampWidget>("ShpINTexternal")->accessibleDescription(), QString("black"));

    Type(c.Get<QLineEdit>("txtIHigh_2"), "300");
    QTest::mouseClick(c.Get<QPushButton>("cmdWrtILimits"), Qt::LeftButton);
    QCOMPARE(c.Get<QLabel>("lblILimitNote")->text(),
             QString("High Limit must be within 0 Min and 255 Max. Re-enter High Limt"));
    QCOMPARE(c.Get<QLineEdit>("txtIHigh_1")->text(), QString("FFF"));

    auto* registers = c.Get<QGroupBox>("Frame2");
    QVERIFY(registers->isVisible());
    QTest::mouseDClick(c.Get<QLabel>("Label13"), Qt::LeftButton);
    QVERIFY(!registers->isVisible());
    QTest::mouseDClick(c.Get<QLabel>("Label13"), Qt::LeftButton);
    QVERIFY(registers->isVisible());
  }

  void aMessageBoxFromAFocusLossDoesNotWriteAgain() {
    ui::QtToolkit toolkit;
    Console c(/*plugged=*/false, &toolkit);
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    int boxes = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        ++boxes;
        box->accept();
      }
    });
    answer.start(20);
    auto* box = c.Get<QLineEdit>("txtRegHex_3");
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::qWait(200);  // the box that had the focus first is written and answered
    c.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());
    boxes = 0;
    QTest::mouseClick(c.Get<QLineEdit>("txtRegHex_4"), Qt::LeftButton);
    QTest::qWait(300);
    // The two writes of register 3 each say the board is missing; the boxes
    // taking the focus from register 4's box write nothing.
    QCOMPARE(boxes, 2);
    QCOMPARE(c.Get<QLabel>("LblCommTest")->text(), QString("Fail"));
  }

  void openingDrawsTheGridAndItsLabelsAndSendsNothing() {
    Console c;
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    QCOMPARE(c.board.conversions(), uint64_t{0});
    QCOMPARE(c.board.chipRegister(1), uint8_t{0});
    auto* graph = c.Get<ui::PictureWidget>("Picture1");
    auto* panel = c.Get<ui::PictureWidget>("Picture2");
    QCOMPARE(graph->size(), QSize(404, 304));
    QCOMPARE(graph->pos(), QPoint(52, 20));
    const QImage shown = graph->grab().toImage();
    QCOMPARE(shown.pixelColor(40, 100), QColor(Qt::black));  // a grid line
    QCOMPARE(shown.pixelColor(41, 100), QColor(Qt::white));
    // The value labels left of the graph are text: dark pixels on white.
    const QImage labels = panel->grab().toImage();
    int dark = 0;
    for (int y = 0; y < 330; ++y) {
      for (int x = 0; x < 50; ++x) dark += labels.pixelColor(x, y).lightness() < 100;
    }
    QVERIFY(dark > 100);
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
    bool stopFocused = false;
    QTimer::singleShot(1200, stop, [&] {
      stopFocused = stop->hasFocus();
      QTest::mouseClick(stop, Qt::LeftButton);
    });
    // The loop runs inside this click until "Stop" is clicked.
    QTest::mouseClick(collect, Qt::LeftButton);
    // The focus went from "Collect" to "Stop", never into the interval box.
    QVERIFY(stopFocused);
    QVERIFY(!stop->isVisible());
    QVERIFY(collect->isEnabled());
    QCOMPARE(collect->text(), QString("Collect Data Graphical Real Time Data"));
    QVERIFY(c.Get<QLabel>("lblLoop_Count")->text().trimmed().toInt() > 0);
    QVERIFY(c.Get<QLabel>("lblMeasurements_2")->text() == QString(" 3276"));
    // Steady scene: ALS/IR 3276 of 4096 at row 61, proximity 26 at row 302.
    const QImage shown = c.Get<ui::PictureWidget>("Picture1")->grab().toImage();
    QCOMPARE(shown.pixelColor(401, 61), QColor(Qt::red));
    QCOMPARE(shown.pixelColor(401, 302), QColor(Qt::blue));
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
