#include "ui/statistics_window_widget.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/bindings.h"
#include "ui/window_place.h"

namespace kps::ui {

StatisticsWindowWidget::StatisticsWindowWidget(StatisticsWindow& model, DesktopSettings* settings,
                                               const QString& key, QWidget* parent)
    : QDialog(parent), model_(model) {
  setModal(false);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(14);
  grid->setVerticalSpacing(6);
  grid->addWidget(BindLabel(model.lblQuantityTitle, new QLabel(this)), 0, 0);
  // Every figure has room for the widest it can be, so that a refresh during
  // a collection never re-lays out the window.
  const int figureWidth = fontMetrics().horizontalAdvance(QStringLiteral("-00000.000")) + 6;
  for (int c = 0; c < StatisticsWindow::kColumns; ++c) {
    auto* title = BindLabel(model.lblFigureName[c], new QLabel(this));
    title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(title, 0, c + 1);
  }
  for (int r = 0; r < StatisticsWindow::kRows; ++r) {
    auto* quantity = BindLabel(model.lblQuantity[r], new QLabel(this));
    grid->addWidget(quantity, r + 1, 0);
    for (int c = 0; c < StatisticsWindow::kColumns; ++c) {
      auto* figure = BindLabel(model.Figure(r, c), new QLabel(this));
      figure->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      figure->setFixedWidth(figureWidth);
      figure->setTextInteractionFlags(Qt::TextSelectableByMouse);
      // A screen reader names each figure by its row and column: "Lux sd".
      figure->setAccessibleName(QString::fromStdString(model.lblQuantity[r].caption() + " " +
                                                       model.lblFigureName[c].caption()));
      grid->addWidget(figure, r + 1, c + 1);
    }
  }

  auto* basis = BindLabel(model.lblBasis, new QLabel(this));
  basis->setWordWrap(true);

  auto* copy = BindButton(model.cmdCopy, new QPushButton(this));
  auto* close = BindButton(model.cmdClose, new QPushButton(this));
  close->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(copy);
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 12, 14, 12);
  layout->setSpacing(10);
  layout->addLayout(grid);
  layout->addWidget(basis);
  layout->addStretch(1);
  layout->addLayout(buttons);

  model.onCopy = [](const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
  };
  model.onShow = [this] {
    raise();
    activateWindow();
  };
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, [this] { model_.Refresh(); });

  adjustSize();
  KeepPlace(this, settings, key);
  BindForm(model.form, this);
}

StatisticsWindowWidget::~StatisticsWindowWidget() {
  model_.onCopy = nullptr;
  model_.onShow = nullptr;
}

void StatisticsWindowWidget::showEvent(QShowEvent* event) {
  poll_.start();
  QDialog::showEvent(event);
}

void StatisticsWindowWidget::hideEvent(QHideEvent* event) {
  poll_.stop();
  QDialog::hideEvent(event);
}

void StatisticsWindowWidget::reject() {
  model_.Close();
}

}  // namespace kps::ui
