// What the program draws is what the widget shows, one image pixel per logical
// pixel, and a model never outlives the surface it draws on.
#include <QtTest>

#include "core/controls.h"
#include "core/memory_surface.h"
#include "ui/picture_widget.h"

using namespace kps;
using namespace kps::ui;

namespace {

constexpr uint32_t kRed = RgbColor(0xC0, 0x10, 0x20);
constexpr uint32_t kBlue = RgbColor(0x00, 0x40, 0xF0);

uint32_t At(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFF;
}

QImage Shown(QWidget& widget) {
  return widget.grab().toImage();  // offscreen: one device pixel per logical pixel
}

bool Dark(uint32_t rgb) {
  return ((rgb >> 16) & 0xFF) < 128 && ((rgb >> 8) & 0xFF) < 128 && (rgb & 0xFF) < 128;
}

struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    paints += event->type() == QEvent::Paint;
    return false;
  }
};

}  // namespace

class PictureWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void showsEachPixelOnceAtItsPlace() {
    PictureWidget panel(100, 60);
    auto* graph = new PictureWidget(20, 10, &panel);
    graph->move(52, 20);
    QCOMPARE(graph->size(), QSize(20, 10));
    panel.surface().SetPixel(5, 5, kBlue);
    graph->surface().SetPixel(0, 0, kRed);
    graph->surface().SetPixel(19, 9, kBlue);  // the last pixel: a wrong row stride misses it
    const QImage shown = Shown(panel);
    QCOMPARE(At(shown, 5, 5), kBlue);
    QCOMPARE(At(shown, 52, 20), kRed);
    QCOMPARE(At(shown, 71, 29), kBlue);
    QCOMPARE(At(shown, 53, 20), kWhite);

    // On a screen of twice the density each image pixel covers 2x2 device pixels.
    QImage device(40, 20, QImage::Format_RGB32);
    device.fill(Qt::green);
    device.setDevicePixelRatio(2.0);
    graph->render(&device);
    device.setDevicePixelRatio(1.0);
    QCOMPARE(At(device, 1, 1), kRed);
    QCOMPARE(At(device, 2, 0), kWhite);
    QCOMPARE(At(device, 39, 19), kBlue);

    graph->surface().Clear();
    QCOMPARE(graph->surface().Pixel(0, 0), kWhite);
    QCOMPARE(At(Shown(*graph), 19, 9), kWhite);
  }

  void refreshRepaintsOnceLaterNotAtOnce() {
    PictureWidget widget(20, 20);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QCoreApplication::processEvents();
    PaintCounter counter;
    widget.installEventFilter(&counter);
    for (int i = 0; i < 50; ++i) widget.surface().Refresh();
    QCOMPARE(counter.paints, 0);
    QTRY_VERIFY(counter.paints > 0);
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 1);
  }

  void textIsBlackFromItsTopLeftInTheWidgetsFont() {
    PictureWidget widget(120, 60);
    ImageSurface& s = widget.surface();
    s.DrawText(30, 20, "WW");
    const int w = s.TextWidth("WW");
    const int h = s.TextHeight("WW");
    int dark = 0;
    for (int y = 0; y < s.height(); ++y) {
      for (int x = 0; x < s.width(); ++x) {
        if (!Dark(s.Pixel(x, y))) continue;
        ++dark;  // a glyph may overhang its box by a pixel or two, not by its ascent
        QVERIFY2(x >= 28 && x <= 32 + w && y >= 19 && y <= 21 + h,
                 qPrintable(QString("%1,%2").arg(x).arg(y)));
      }
    }
    QVERIFY(dark > 0);
    QVERIFY(s.TextWidth("W") > 0);
    QVERIFY(qAbs(w - 2 * s.TextWidth("W")) <= 1);
    QFont big = widget.font();
    big.setPixelSize(3 * h);
    widget.setFont(big);
    QVERIFY(s.TextHeight("W") > 2 * h);
  }

  void outsideTheImageReadsOutsideAndWritesNothing() {
    PictureWidget widget(8, 6);
    ImageSurface& s = widget.surface();
    for (const QPoint p :
         {QPoint(-1, 0), QPoint(0, -1), QPoint(8, 0), QPoint(0, 6), QPoint(3, 1 << 30)}) {
      QCOMPARE(s.Pixel(p.x(), p.y()), kOutsidePixel);
      s.SetPixel(p.x(), p.y(), kBlack);
    }
    for (int i = 0; i < 8 * 6; ++i) QCOMPARE(s.Pixel(i % 8, i / 8), kWhite);
  }

  void bindingTakesOverTheModelsPixelsAndFollowsIt() {
    Picture first("picGraph", 30, 20);
    Picture second("picLabels", 12, 6);
    first.surface().SetPixel(29, 19, kRed);
    first.setToolTip("Proximity counts");
    QWidget window;
    auto* widget = BindPicture(first, new PictureWidget(&window));
    window.show();
    QCOMPARE(widget->objectName(), QString("picGraph"));
    QCOMPARE(widget->size(), QSize(30, 20));
    QCOMPARE(widget->toolTip(), QString("Proximity counts"));
    QCOMPARE(At(Shown(*widget), 29, 19), kRed);
    first.surface().SetPixel(10, 10, kBlue);
    QCOMPARE(At(Shown(*widget), 10, 10), kBlue);
    first.setVisible(false);
    first.setEnabled(false);
    QVERIFY(!widget->isVisible());
    QVERIFY(!widget->isEnabled());
    first.setVisible(true);
    QVERIFY(widget->isVisible());

    BindPicture(second, widget);  // the first model draws in memory again, and is not followed
    QVERIFY(dynamic_cast<MemorySurface*>(&first.surface()) != nullptr);
    QCOMPARE(first.surface().Pixel(10, 10), kBlue);
    QCOMPARE(widget->size(), QSize(12, 6));
    first.setVisible(false);
    QVERIFY(widget->isVisible());
  }

  void aDestroyedWidgetGivesTheModelItsMemoryBack() {
    Picture model("picLabels", 25, 15);
    {
      QWidget window;  // the widget goes with its window, as in the program
      BindPicture(model, new PictureWidget(&window));
      model.surface().SetPixel(7, 8, kRed);
    }
    QVERIFY(dynamic_cast<MemorySurface*>(&model.surface()) != nullptr);
    QCOMPARE(model.surface().Pixel(7, 8), kRed);
    model.surface().SetPixel(24, 14, kBlue);
    model.surface().DrawText(1, 1, "100");
    model.surface().Refresh();
    QCOMPARE(model.surface().Pixel(24, 14), kBlue);
    model.setVisible(false);  // nothing of the widget may still listen
  }
};

QTEST_MAIN(PictureWidgetTest)
#include "picture_widget_test.moc"
