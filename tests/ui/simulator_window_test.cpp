// The board simulator window over a simulated board, driven as a developer
// drives it.
#include "ui/simulator_window.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QtTest>

#include <vector>

#include "sim/simulated_board.h"
#include "ui/lamp_widget.h"

using namespace kps;

namespace {

struct Taker : TransportListener {
  bool DeviceAttach(DeviceHandle handle) override {
    device = handle;
    return true;
  }
  void DeviceDetach(DeviceHandle) override { device = 0; }
  DeviceHandle device = 0;
};

// A board whose attach the "program" has taken, and the window over it.
struct Bench {
  Bench() {
    DriverHandle driver = 0;
    board.Init(UsbMatch{0x1209, 0xA710}, &taker, &driver);
    board.Poll();
  }
  uint32_t Out(uint32_t pipe, std::vector<uint8_t> frame) {
    uint32_t done = 0;
    return board.Transfer(taker.device, pipe, false, frame.data(),
                          static_cast<uint32_t>(frame.size()), &done, 100);
  }
  std::vector<uint8_t> Ask(std::vector<uint8_t> frame, uint32_t length) {
    Out(kI2cOutPipe, std::move(frame));
    std::vector<uint8_t> reply(length, 0xEE);
    uint32_t done = 0;
    status = board.Transfer(taker.device, kI2cInPipe, true, reply.data(), length, &done, 100);
    return reply;
  }
  template <typename W>
  W* Find(const char* name) {
    W* widget = window.findChild<W*>(name);
    if (widget == nullptr) qFatal("no %s in the simulator window", name);
    return widget;
  }
  QString Lamp(const char* name) { return Find<ui::LampWidget>(name)->accessibleDescription(); }

  sim::SimulatedBoard board;
  Taker taker;
  uint32_t status = 0;
  ui::SimulatorWindow window{board};
};

}  // namespace

class SimulatorWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithTheBoardsSceneAndEveryControlSetsIt() {
    const sim::Scene scene{.lux = 62.5, .proximity = 12.0, .shape = sim::SceneShape::Sine};
    sim::SimulatedBoard board(sim::SimOptions{.scene = scene});
    ui::SimulatorWindow window(board);
    QCOMPARE(window.windowTitle(), QString("Board simulator"));
    auto* lux = window.findChild<QDoubleSpinBox*>("simLux");
    auto* ir = window.findChild<QDoubleSpinBox*>("simIr");
    auto* proximity = window.findChild<QDoubleSpinBox*>("simProximity");
    auto* noise = window.findChild<QDoubleSpinBox*>("simNoise");
    auto* shape = window.findChild<QComboBox*>("simShape");
    QVERIFY(lux && ir && proximity && noise && shape);
    QCOMPARE(lux->value(), 62.5);
    QCOMPARE(shape->currentText(), QString("Sine"));

    struct Step {
      QDoubleSpinBox* box;
      double value;
      double sim::Scene::*field;
    };
    for (const Step& step :
         {Step{lux, 1234.5, &sim::Scene::lux}, Step{ir, 300.0, &sim::Scene::ir},
          Step{proximity, 200.0, &sim::Scene::proximity}, Step{noise, 4.0, &sim::Scene::noise}}) {
      step.box->setFocus();
      step.box->selectAll();
      QTest::keyClicks(step.box, QString::number(step.value));
      QCOMPARE(board.scene().*step.field, step.value);
    }
    shape->setCurrentIndex(shape->findText("Ramp"));
    QCOMPARE(board.scene().shape, sim::SceneShape::Ramp);
    QCOMPARE(board.scene().lux, 1234.5);  // the others stay as set
  }

  void unplugAndPlugFollowTheBoard() {
    Bench b;
    auto* unplug = b.Find<QPushButton>("simUnplug");
    auto* plug = b.Find<QPushButton>("simPlug");
    QVERIFY(unplug->isEnabled() && !plug->isEnabled());
    QTest::mouseClick(unplug, Qt::LeftButton);
    QVERIFY(!b.board.plugged());
    QVERIFY(!unplug->isEnabled() && plug->isEnabled());
    b.board.Poll();
    QCOMPARE(b.taker.device, DeviceHandle{0});  // the program hears of it at its next poll
    QTest::mouseClick(plug, Qt::LeftButton);
    QVERIFY(b.board.plugged());
    b.board.Poll();
    QVERIFY(b.taker.device != 0);
  }

  void faultButtonsSpoilTheNextI2cFrame() {
    struct Case {
      const char* button;
      std::vector<uint8_t> reply;  // to reading register 0
      uint32_t status;
    };
    const Case cases[] = {
        {"simInjectNak", {0x00, 0x00, 0x00}, kUsbOk},
        {"simInjectTimeout", {0xEE, 0xEE, 0xEE}, kUsbTimeout},
        {"simInjectShortReply", {0x01, 0xEE, 0xEE}, kUsbOk},
    };
    for (const Case& c : cases) {
      Bench b;
      QTest::mouseClick(b.Find<QPushButton>(c.button), Qt::LeftButton);
      QCOMPARE(b.board.pendingFaults(), 1);
      QCOMPARE(b.Ask({0x01, 0x89, 0x00}, 3), c.reply);
      QCOMPARE(b.status, c.status);
      QCOMPARE(b.Ask({0x01, 0x89, 0x00}, 3), (std::vector<uint8_t>{0x01, sim::kChipId, 0x00}));
    }
  }

  void lampsFollowTheLedsAndTheInterruptLine() {
    Bench b;
    for (const char* led : {"simLed0", "simLed1", "simLed5", "simLed6"}) {
      QCOMPARE(b.Lamp(led), QString("off"));
    }
    QCOMPARE(b.Lamp("simInterrupt"), QString("released"));

    // PB5 driven low, PB6 high, PC0 set: the orange and the red port C LEDs.
    QCOMPARE(b.Out(kGpioOutPipe, {0x40, 0x01, 0x60, 0x00}), uint32_t{kUsbOk});
    QTRY_COMPARE(b.Lamp("simLed5"), QString("orange"));
    QCOMPARE(b.Lamp("simLed0"), QString("red"));
    QCOMPARE(b.Lamp("simLed6"), QString("off"));
    QCOMPARE(b.Lamp("simLed1"), QString("off"));
    b.Out(kGpioOutPipe, {0x20, 0x02, 0x60, 0x00});
    QTRY_COMPARE(b.Lamp("simLed6"), QString("red"));
    QCOMPARE(b.Lamp("simLed1"), QString("green"));
    QCOMPARE(b.Lamp("simLed5"), QString("off"));

    // Proximity on with a window of 0..10: the default scene's 26 raises the flag.
    b.Out(kI2cOutPipe, {0x00, 0x88, 0x03, 0x00, 0x0A});
    b.Out(kI2cOutPipe, {0x00, 0x88, 0x01, 0x80});
    b.Ask({0x03, 0x89, 0x08}, 5);
    QVERIFY(b.board.interruptPinAsserted());
    QTRY_COMPARE(b.Lamp("simInterrupt"), QString("asserted"));
    b.Out(kI2cOutPipe, {0x00, 0x88, 0x02, 0x00});  // flags cleared
    QTRY_COMPARE(b.Lamp("simInterrupt"), QString("released"));

    // Pulling the board out takes the power from the LEDs.
    QTest::mouseClick(b.Find<QPushButton>("simUnplug"), Qt::LeftButton);
    QCOMPARE(b.Lamp("simLed6"), QString("off"));
  }
};

QTEST_MAIN(SimulatorWindowTest)
#include "simulator_window_test.moc"
