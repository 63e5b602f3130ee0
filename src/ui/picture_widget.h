// The on-screen pictures: the real-time strip chart and the label panel around
// it. The program draws into a QImage pixel by pixel; the widget shows that
// image one image pixel to one logical pixel, never scaled.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/controls.h"
#include "core/pixel_surface.h"
#include "ui/view_pace.h"

class QPainter;

namespace kps::ui {

// A PixelSurface over a QImage. The chart writes thousands of single pixels a
// sample, so Pixel and SetPixel go straight to the image's memory: no QImage
// accessor, no copy-on-write check per call.
class ImageSurface final : public PixelSurface {
 public:
  // `view` is repainted on Refresh; it may be null.
  ImageSurface(QWidget* view, int width, int height);
  ImageSurface(const ImageSurface&) = delete;
  ImageSurface& operator=(const ImageSurface&) = delete;

  int width() const override { return image_.width(); }
  int height() const override { return image_.height(); }
  uint32_t Pixel(int x, int y) const override {
    return Inside(x, y) ? Row(y)[x] & 0xFFFFFF : kOutsidePixel;
  }
  void SetPixel(int x, int y, uint32_t color) override {
    if (Inside(x, y)) Row(y)[x] = 0xFF000000 | color;
  }
  void Clear() override;
  void DrawText(int x, int y, const std::string& text) override;
  int TextWidth(const std::string& text) const override;
  int TextHeight(const std::string& text) const override;
  void Refresh() override;
  PixelMemory Memory() override { return {pixels_, stride_, image_.width(), image_.height()}; }
  ConstPixelMemory Memory() const override {
    return {pixels_, stride_, image_.width(), image_.height()};
  }

  // A new white image of that size.
  void Resize(int width, int height);
  void setFont(const QFont& font);
  QSize size() const { return image_.size(); }
  // Draws the picture with its top-left at (0, 0), one image pixel to one
  // logical pixel of the painter.
  void Paint(QPainter& painter) const;

 private:
  bool Inside(int x, int y) const {
    return x >= 0 && y >= 0 && x < image_.width() && y < image_.height();
  }
  uint32_t* Row(int y) const { return pixels_ + static_cast<std::ptrdiff_t>(y) * stride_; }
  // After anything that may have given the image a new buffer.
  void TakePixels();

  // The repaint a Refresh asks for, at the screen's pace.
  class Repaint final : public PacedView {
   public:
    explicit Repaint(QWidget* view) : view_(view) {}
    void BringUpToDate() override {
      if (view_ != nullptr) view_->update();
    }

   private:
    QWidget* view_;
  };

  Repaint repaint_;
  QImage image_;
  uint32_t* pixels_ = nullptr;
  std::ptrdiff_t stride_ = 0;  // in pixels
  QFont font_;
  QFontMetrics metrics_;
};

// Shows an ImageSurface at the picture's size. Other widgets may sit on it as
// children (the label panel carries the chart).
class PictureWidget : public QWidget {
  Q_OBJECT

 public:
  explicit PictureWidget(QWidget* parent = nullptr);
  PictureWidget(int width, int height, QWidget* parent = nullptr);
  // A bound model gets its in-memory surface back, with what was drawn here.
  ~PictureWidget() override;

  ImageSurface& surface() { return surface_; }
  const ImageSurface& surface() const { return surface_; }
  // A new white picture of that size; the widget takes that size and keeps it.
  void setPictureSize(int width, int height);

  QSize sizeHint() const override { return surface_.size(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  friend PictureWidget* BindPicture(Picture& model, PictureWidget* widget);
  void Unbind();

  ImageSurface surface_;
  Picture* model_ = nullptr;
  QObject* binding_ = nullptr;  // parent of the model subscription
};

// The model draws on the widget from now on (what it held so far is copied
// over); the widget takes the model's size and name and follows its visible,
// enabled and tool tip. One model per widget: binding another one releases the
// first.
PictureWidget* BindPicture(Picture& model, PictureWidget* widget);

}  // namespace kps::ui
