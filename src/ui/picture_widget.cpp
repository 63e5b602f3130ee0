#include "ui/picture_widget.h"

#include <QEvent>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <functional>

#include "ui/bindings.h"

namespace kps::ui {

namespace {

QImage WhiteImage(int width, int height) {
  QImage image(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
  // One image pixel is one logical pixel whatever the screen's scale.
  image.setDevicePixelRatio(1.0);
  image.fill(0xFF000000 | kWhite);
  return image;
}

// Measured as the painter on the image will draw. A null image has no
// resolution to measure by: then the screen's.
QFontMetrics Metrics(const QFont& font, const QImage& image) {
  return image.isNull() ? QFontMetrics(font) : QFontMetrics(font, &image);
}

}  // namespace

ImageSurface::ImageSurface(QWidget* view, int width, int height)
    : repaint_(view),
      image_(WhiteImage(width, height)),
      font_(view != nullptr ? view->font() : QFont()),
      metrics_(Metrics(font_, image_)) {
  TakePixels();
}

void ImageSurface::TakePixels() {
  // bits() detaches a shared image, so the pointer kept is always our own.
  pixels_ = image_.isNull() ? nullptr : reinterpret_cast<uint32_t*>(image_.bits());
  stride_ = image_.bytesPerLine() / static_cast<std::ptrdiff_t>(sizeof(uint32_t));
}

void ImageSurface::Clear() {
  image_.fill(0xFF000000 | kWhite);
  TakePixels();
}

void ImageSurface::DrawText(int x, int y, const std::string& text) {
  if (text.empty() || image_.isNull()) return;
  {
    QPainter painter(&image_);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(x, y + metrics_.ascent()), QString::fromStdString(text));
  }
  TakePixels();
}

int ImageSurface::TextWidth(const std::string& text) const {
  return metrics_.horizontalAdvance(QString::fromStdString(text));
}

int ImageSurface::TextHeight(const std::string&) const {
  return metrics_.height();
}

void ImageSurface::Refresh() {
  ViewPace::instance().Changed(repaint_);
}

void ImageSurface::Resize(int width, int height) {
  image_ = WhiteImage(width, height);
  metrics_ = Metrics(font_, image_);
  TakePixels();
}

void ImageSurface::setFont(const QFont& font) {
  font_ = font;
  metrics_ = Metrics(font_, image_);
}

void ImageSurface::Paint(QPainter& painter) const {
  painter.drawImage(QPoint(0, 0), image_);
}

PictureWidget::PictureWidget(QWidget* parent) : PictureWidget(0, 0, parent) {}

PictureWidget::PictureWidget(int width, int height, QWidget* parent)
    : QWidget(parent), surface_(this, width, height) {
  // Every pixel is painted from the image: nothing to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(surface_.size());
}

PictureWidget::~PictureWidget() {
  Unbind();
}

void PictureWidget::setPictureSize(int width, int height) {
  surface_.Resize(width, height);
  setFixedSize(surface_.size());
  update();
}

void PictureWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  surface_.Paint(painter);
}

void PictureWidget::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) surface_.setFont(font());
  QWidget::changeEvent(event);
}

void PictureWidget::Unbind() {
  // The subscription goes first: returning the surface notifies the model's
  // listeners, and this widget may be half destroyed by now.
  delete binding_;
  binding_ = nullptr;
  // Only if the model still draws here: another widget may have taken it over.
  if (model_ != nullptr && &model_->surface() == &surface_) model_->setSurface(nullptr);
  model_ = nullptr;
}

PictureWidget* BindPicture(Picture& model, PictureWidget* widget) {
  widget->Unbind();
  widget->setObjectName(QString::fromStdString(model.name()));
  widget->setPictureSize(model.surface().width(), model.surface().height());
  widget->model_ = &model;
  widget->binding_ = new QObject(widget);
  widget->binding_->setObjectName(QStringLiteral("picture binding"));
  Follow(model, widget->binding_, [&model, widget] { SyncCommon(model, widget); });
  model.setSurface(&widget->surface_);
  return widget;
}

}  // namespace kps::ui
