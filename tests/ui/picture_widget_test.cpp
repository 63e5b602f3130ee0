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
  void showsEachPixelOnceAtItsPlaceAndNothingOutside() {
    PictureWidget panel(100, 60);
    auto* graph = new PictureWidget(20, 10, &panel);
    graph->move(52, 20);
    panel.surface().SetPixel(5, 5, kBlue);
    graph->surface().SetPixel(0, 0, kRed);
    graph->surface().SetPixel(19, 9, kBlue);  // the last pixel: a wrong row stride misses it
    // Pixels written through the surface's memory show alike.
    const PixelMemory memory = graph->surface().Memory();
    QCOMPARE(QSize(memory.width, memory.height), QSize(20, 10));
    memory.pixels[8 * memory.stride + 18] = 0xFF000000 | kRed;
    const QImage shown = Shown(panel);
    QCOMPARE(At(shown, 70, 28), kRed);
    QCOMPARE(At(shown, 5, 5), kBlue);
    QCOMPARE(At(shown, 52, 20), kRed);
    QCOMPARE(At(shown, 53, 20), kWhite);
    QCOMPARE(At(shown, 71, 29), kBlue);

    ImageSurface& s = graph->surface();
    s.Clear();
    for (const QPoint p : {QPoint(-1, 0), QPoint(20, 0), QPoint(0, 10), QPoint(3, 1 << 30)}) {
      QCOMPARE(s.Pixel(p.x(), p.y()), kOutsidePixel);
      s.SetPixel(p.x(), p.y(), kBlack);
    }
    for (int i = 0; i < 20 * 10; ++i) QCOMPARE(s.Pixel(i % 20, i / 20), kWhite);
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
    const int w = s.TextWidth("WW"), h = s.TextHeight("WW");
    int dark = 0;
    for (int i = 0; i < 120 * 60; ++i) {
      const int x = i % 120, y = i / 120;
      if (qGray(s.Pixel(x, y)) >= 128) continue;
      ++dark;  // a glyph may overhang its box by a pixel or two, not by its ascent
      QVERIFY2(x >= 28 && x <= 32 + w && y >= 19 && y <= 21 + h,
               qPrintable(QString("%1,%2").arg(x).arg(y)));
    }
    QVERIFY(dark > 0);
    QFont big = widget.font();
    big.setPixelSize(3 * h);
    widget.setFont(big);
    QVERIFY(s.TextHeight("W") > 2 * h);
  }

  // Binding copies the model's pixels over and follows the model; rebinding or
  // destroying the widget gives the model back a memory surface with them.
  void bindingTakesOverTheModelsPixelsAndGivesThemBack() {
    Picture first("picGraph", 30, 20);
    Picture second("picLabels", 12, 6);
    first.surface().SetPixel(29, 19, kRed);
    first.setToolTip("Proximity counts");
    QWidget window;
    auto* widget = BindPicture(first, new PictureWidget(&window));
    window.show();
    QCOMPARE(widget->toolTip(), QString("Proximity counts"));
    QCOMPARE(At(Shown(*widget), 29, 19), kRed);
    first.surface().SetPixel(10, 10, kBlue);
    QCOMPARE(At(Shown(*widget), 10, 10), kBlue);
    first.setVisible(false);
    first.setEnabled(false);
    QVERIFY(!widget->isVisible() && !widget->isEnabled());

    BindPicture(second, widget);  // shown again, as the second model is
    QVERIFY(widget->isVisible());
    QVERIFY(dynamic_cast<MemorySurface*>(&first.surface()) != nullptr);
    QCOMPARE(first.surface().Pixel(10, 10), kBlue);
    first.setVisible(true);
    first.setVisible(false);  // no longer followed
    QVERIFY(widget->isVisible());

    second.surface().SetPixel(7, 4, kRed);
    delete widget;
    QVERIFY(dynamic_cast<MemorySurface*>(&second.surface()) != nullptr);
    QCOMPARE(second.surface().Pixel(7, 4), kRed);
    second.setVisible(false);  // nothing of the widget may still listen
  }
};

QTEST_MAIN(PictureWidgetTest)
#include "picture_widget_test.moc"
