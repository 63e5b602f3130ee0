#include "ui/console_widget.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/bindings.h"
#include "ui/lamp_widget.h"

namespace kps::ui {

ConsoleWidget::ConsoleWidget(ConsoleWindow& model, QWidget* parent)
    : QMainWindow(parent), model_(model) {
  auto* central = new QWidget(this);
  grid_ = new QGridLayout(central);
  grid_->setContentsMargins(10, 10, 10, 10);
  grid_->setHorizontalSpacing(12);
  grid_->setVerticalSpacing(8);

  // The I2C address the startup window chose, as two hex digits.
  auto* addressRow = new QHBoxLayout;
  addressRow->setSpacing(6);
  auto* address = BindTextBox(model.txtI2CADR, new QLineEdit(central));
  address->setMaxLength(4);
  address->setFixedWidth(address->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
  auto* addressLabel = new QLabel(tr("I2C Adr"), central);
  addressLabel->setObjectName("lblI2CADR");
  addressLabel->setBuddy(address);
  addressRow->addWidget(addressLabel);
  addressRow->addWidget(address);
  addressRow->addStretch(1);
  grid_->addLayout(addressRow, 0, 0);

  // The link lamps side by side over their caption "USB COMM".
  auto* lamps = new QHBoxLayout;
  lamps->setSpacing(6);
  lamps->addStretch(1);
  lamps->addWidget(BindLamp(model.lamps.ShpAttach, new LampWidget(central)));
  lamps->addWidget(BindLamp(model.lamps.Shp_USB_Info, new LampWidget(central)));
  lamps->addWidget(BindLamp(model.lamps.Shp_USB_Transfer, new LampWidget(central)));
  lamps->addStretch(1);
  auto* link = new QVBoxLayout;
  link->setSpacing(3);
  link->addLayout(lamps);
  auto* caption = BindLabel(model.Label13, new QLabel(central));
  caption->setAlignment(Qt::AlignHCenter);
  link->addWidget(caption);
  grid_->addLayout(link, 0, 2, Qt::AlignRight | Qt::AlignTop);

  grid_->setRowStretch(1, 1);
  grid_->setColumnStretch(1, 1);

  auto* exit = BindButton(model.Command4, new QPushButton(central));
  grid_->addWidget(exit, 2, 2, Qt::AlignRight | Qt::AlignBottom);

  setCentralWidget(central);
  resize(520, 220);
  BindForm(model.form, this);
}

bool ConsoleWidget::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) model_.Form_GotFocus();
  return QMainWindow::event(event);
}

void ConsoleWidget::closeEvent(QCloseEvent* event) {
  model_.Unload();
  event->accept();
}

}  // namespace kps::ui
