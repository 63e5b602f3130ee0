// The program's windows as main() builds them, over the real libusb transport
// and the board emulated below it: the console opens, collects, hears the
// board leave in the middle of a collection, and takes it up again when it
// comes back, with only the user's OK to the message in between.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "emulated/board_rigs.h"
#include "ui/lamp_widget.h"
#include "ui/qt_toolkit.h"
#include "ui/transport_watch.h"
#include "ui/ui_program.h"

using namespace kps;

namespace {

struct UsbProgram {
  UsbProgram() {
    ctx = std::make_unique<AppContext>(
        toolkit, *rig.libusb,
        UsbMatch{.vendorId = kDefaultVendorId, .productId = kDefaultProductId});
    windows = std::make_unique<ui::AppWindows>(*ctx);
    watch = std::make_unique<ui::TransportWatch>(*rig.libusb, ctx->board);
    ctx->startup.Show();
  }
  ~UsbProgram() { Close(); }
  // The windows, the program's context and the transport go, in that order;
  // returns what libusb found still referenced or open as its context ended.
  std::vector<std::string> Close() {
    watch.reset();
    windows.reset();
    ctx.reset();
    return rig.Finish();
  }
  template <typename W>
  W* Get(const QString& name) {
    return test::Find<W>(&windows->console(ConsoleVariant::Main), name);
  }
  QString Lamp(const QString& name) { return Get<ui::LampWidget>(name)->accessibleDescription(); }

  test::UsbRig rig;
  ui::QtToolkit toolkit;
  std::unique_ptr<AppContext> ctx;
  std::unique_ptr<ui::AppWindows> windows;
  std::unique_ptr<ui::TransportWatch> watch;
};

}  // namespace

class ConsoleOverUsbTest : public QObject {
  Q_OBJECT

 private slots:
  void theConsoleCollectsAndSurvivesAnUnplugAndAReplug() {
    if (!test::EmulatedUsbBus::Available()) QSKIP(test::EmulatedUsbBus::kUnavailable);
    {
      UsbProgram p;
      p.ctx->startup.goto_x28.Click();
      QWidget* console = &p.windows->console(ConsoleVariant::Main);
      QVERIFY(QTest::qWaitForWindowActive(console));
      QCOMPARE(p.Lamp("ShpAttach"), QString("green"));
      test::ClickMark(p.Get<QCheckBox>("chkALSEnable"));
      test::ClickMark(p.Get<QCheckBox>("ChkPEnable"));
      QCOMPARE(p.rig.model().chipRegister(1) & 0x84, 0x84);  // proximity and ALS/IR on

      // Pulled out half a second into the collection; the user answers the message.
      test::BoxAnswerer answerer(QMessageBox::Ok);
      int collected = 0;
      QTimer::singleShot(500, console, [&] {
        collected = p.ctx->shared.SampleIndex;
        p.rig.Unplug();
      });
      QTest::mouseClick(p.Get<QPushButton>("cmdCollectData"), Qt::LeftButton);
      QVERIFY2(collected > 0, "nothing was collected before the board left");
      QVERIFY(!p.ctx->flags.CollectRunning);
      QCOMPARE(answerer.boxes, 1);
      QCOMPARE(p.Get<QLabel>("Label18")->text(), QString("Data Collection Halted"));
      QCOMPARE(p.Lamp("ShpAttach"), QString("red"));

      // Back in: taken up while the program waits for the user, with no click.
      p.rig.Plug();
      QTRY_VERIFY_WITH_TIMEOUT(p.ctx->board.UsbConnected, 5000);
      QCOMPARE(p.Lamp("ShpAttach"), QString("green"));
      // The chip came back powered off; the user enables it again and collects.
      test::ClickMark(p.Get<QCheckBox>("chkALSEnable"));
      test::ClickMark(p.Get<QCheckBox>("chkALSEnable"));
      QCOMPARE(p.rig.model().chipRegister(1) & 0x04, 0x04);
      QTimer::singleShot(400, console, [&] {
        QTest::mouseClick(p.Get<QPushButton>("cmdStopData"), Qt::LeftButton);
      });
      QTest::mouseClick(p.Get<QPushButton>("cmdCollectData"), Qt::LeftButton);
      QVERIFY(p.ctx->shared.SampleIndex > 0);
      QVERIFY(p.ctx->shared.NewestSample(0).als > 0);  // the chip measures again
      QCOMPARE(p.ctx->shared.FailedReadings, 0);
      QCOMPARE(answerer.boxes, 1);
      QCOMPARE(p.Close(), std::vector<std::string>{});
    }
  }
};

QTEST_MAIN(ConsoleOverUsbTest)
#include "console_over_usb_qt_test.moc"
