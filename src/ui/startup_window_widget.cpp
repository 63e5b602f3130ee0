#include "ui/startup_window_widget.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/bindings.h"
#include "ui/lamp_caption.h"
#include "ui/lamp_widget.h"

namespace kps::ui {

StartupWindowWidget::StartupWindowWidget(StartupWindow& model, QWidget* parent)
    : QMainWindow(parent), model_(model) {
  // A menu-bar entry with no menu under it: choosing "About" opens the box at once.
  menuBar()->addAction(BindMenuItem(model.mnuAbout, new QAction(this)));

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(12, 10, 12, 12);
  layout->setSpacing(10);

  auto* list = BindComboBox(model.cboTypeSelect, new QComboBox(central));
  list->setMinimumContentsLength(24);
  list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  layout->addWidget(list);

  // The Init and Attached lamps over their caption; the Info and Comm lamps
  // with theirs to the right, hidden in this window but coloured all the same.
  auto* lampRow = new QHBoxLayout;
  lampRow->setSpacing(24);
  auto* shown = BindLabel(model.Label2_0, new QLabel(central));
  lampRow->addWidget(new LampCaption(shown,
                                     {BindLamp(model.Shp_USB_Init, new LampWidget(central)),
                                      BindLamp(model.lamps.ShpAttach, new LampWidget(central))},
                                     central));
  auto* hidden = BindLabel(model.Label2_1, new QLabel(central));
  lampRow->addWidget(
      new LampCaption(hidden,
                      {BindLamp(model.lamps.Shp_USB_Info, new LampWidget(central)),
                       BindLamp(model.lamps.Shp_USB_Transfer, new LampWidget(central))},
                      central));
  lampRow->addStretch(1);
  layout->addLayout(lampRow);

  auto* debugRow = new QHBoxLayout;
  debugRow->addWidget(BindButton(model.goto_x28, new QPushButton(central)));
  debugRow->addWidget(BindButton(model.goto_adaptive, new QPushButton(central)));
  debugRow->addStretch(1);
  layout->addLayout(debugRow);
  layout->addStretch(1);

  setCentralWidget(central);
  BindForm(model.form, this);
}

bool StartupWindowWidget::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) model_.Form_Activate();
  return QMainWindow::event(event);
}

void StartupWindowWidget::closeEvent(QCloseEvent* event) {
  model_.Unload();
  event->accept();
}

}  // namespace kps::ui
