// The board simulator window over a simulated board, driven as a developer
// drives it.
#include "ui/simulator_window.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>

#include <tuple>
#include <utility>
#include <vector>

#include "ui/lamp_widget.h"
#include "ui_program.h"

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
  explicit Bench(sim::SimOptions options = {}) : board(options) {
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
    board.Transfer(taker.device, kI2cInPipe, true, reply.data(), length, &done, 100);
    return reply;
  }
  template <typename W>
  W* Find(const char* name) {
    return test::Find<W>(&window, name);
  }
  QString Lamp(const char* name) { return Find<ui::LampWidget>(name)->accessibleDescription(); }

  sim::SimulatedBoard board;
  Taker taker;
  ui::SimulatorWindow window{board};
};

}  // namespace

class SimulatorWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithTheBoardsSceneAndEveryControlSetsIt() {
    Bench b(sim::SimOptions{.scene = {.lux = 62.5, .shape = sim::SceneShape::Sine}});
    auto* shape = b.Find<QComboBox>("simShape");
    QCOMPARE(b.Find<QDoubleSpinBox>("simLux")->value(), 62.5);
    QCOMPARE(shape->currentText(), QString("Sine"));
    const std::tuple<const char*, double, double sim::Scene::*> boxes[] = {
        {"simLux", 1234.5, &sim::Scene::lux},
        {"simIr", 300.0, &sim::Scene::ir},
        {"simProximity", 200.0, &sim::Scene::proximity},
        {"simNoise", 4.0, &sim::Scene::noise}};
    for (const auto& [name, value, field] : boxes) {
      auto* box = b.Find<QDoubleSpinBox>(name);
      box->setFocus();
      box->selectAll();
      QTest::keyClicks(box, QString::number(value));
    }
    shape->setCurrentIndex(shape->findText("Ramp"));
    QCOMPARE(b.board.scene().shape, sim::SceneShape::Ramp);
    for (const auto& [name, value, field] : boxes) QCOMPARE(b.board.scene().*field, value);
  }

  void unplugAndPlugFollowTheBoard() {
    Bench b;
    auto* unplug = b.Find<QPushButton>("simUnplug");
    auto* plug = b.Find<QPushButton>("simPlug");
    QVERIFY(unplug->isEnabled() && !plug->isEnabled());
    QTest::mouseClick(unplug, Qt::LeftButton);
    QVERIFY(!unplug->isEnabled() && plug->isEnabled());
    b.board.Poll();
    QCOMPARE(b.taker.device, DeviceHandle{0});  // the program hears of it at its next poll
    QTest::mouseClick(plug, Qt::LeftButton);
    b.board.Poll();
    QVERIFY(b.taker.device != 0);
    // Refusals of the open, for the next plug on.
    auto* opening = b.Find<QComboBox>("simOpenRefusal");
    for (const auto& [caption, status] :
         {std::pair{"Board in use", kUsbBusy}, std::pair{"Access denied", kUsbAccessDenied},
          std::pair{"Opens normally", kUsbOk}}) {
      opening->setCurrentIndex(opening->findText(caption));
      QCOMPARE(b.board.openRefusal(), uint32_t{status});
    }
  }

  void faultButtonsSpoilTheNextI2cFrame() {
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        // the reply to reading reg. 0
        {"simInjectNak", {0x00, 0x00, 0x00}},
        {"simInjectTimeout", {0xEE, 0xEE, 0xEE}},
        {"simInjectShortReply", {0x01, 0xEE, 0xEE}}};
    for (const auto& [button, reply] : cases) {
      Bench b;
      QTest::mouseClick(b.Find<QPushButton>(button), Qt::LeftButton);
      QCOMPARE(b.Ask({0x01, 0x89, 0x00}, 3), reply);
    }
  }

  void ledLampsFollowTheBoard() {
    Bench b;
    // PB5 driven low, PB6 high, PC0 set: the orange and the red port C LEDs.
    b.Out(kGpioOutPipe, {0x40, 0x01, 0x60, 0x00});
    QTRY_COMPARE(b.Lamp("simLed5"), QString("orange"));
    QCOMPARE(b.Lamp("simLed0"), QString("red"));
    QTest::mouseClick(b.Find<QPushButton>("simUnplug"), Qt::LeftButton);  // no power, no light
    QCOMPARE(b.Lamp("simLed5"), QString("off"));
  }
};

QTEST_MAIN(SimulatorWindowTest)
#include "simulator_window_test.moc"
