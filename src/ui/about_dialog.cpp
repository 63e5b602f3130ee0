#include "ui/about_dialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/bindings.h"
#include "ui/sensor_logo.h"

namespace kps::ui {

namespace {

QFrame* SeparatorLine(const QString& name, const QColor& colour, QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setObjectName(name);
  line->setFrameShape(QFrame::NoFrame);
  line->setFixedHeight(1);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, colour);
  line->setPalette(palette);
  return line;
}

QFont Scaled(QFont font, double factor, bool bold) {
  if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * factor);
  font.setBold(bold);
  return font;
}

}  // namespace

AboutDialog::AboutDialog(AboutBox& model, QWidget* parent) : QDialog(parent), model_(model) {
  setModal(false);

  auto* logo = new SensorLogo(this);
  logo->setObjectName("picIcon");

  auto* title = BindLabel(model.lblTitle, new QLabel(this));
  title->setFont(Scaled(title->font(), 1.4, true));
  auto* version = BindLabel(model.lblVersion, new QLabel(this));
  auto* description = BindLabel(model.lblDescription, new QLabel(this));
  description->setWordWrap(true);

  auto* identity = new QVBoxLayout;
  identity->addWidget(title);
  identity->addWidget(version);
  identity->addWidget(description);
  identity->addStretch(1);

  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  top->addWidget(logo, 0, Qt::AlignTop);
  top->addLayout(identity, 1);

  // A grey line with a white one under it reads as an etched groove.
  auto* lines = new QVBoxLayout;
  lines->setSpacing(0);
  lines->addWidget(SeparatorLine("Line1_1", QColor(128, 128, 128), this));
  lines->addWidget(SeparatorLine("Line1_0", QColor(255, 255, 255), this));

  auto* heading = BindLabel(model.lblDisclaimer_0, new QLabel(this));
  heading->setFont(Scaled(heading->font(), 1.0, true));
  auto* disclaimer = BindLabel(model.lblDisclaimer_1, new QLabel(this));
  disclaimer->setWordWrap(true);
  disclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto* notice = new QVBoxLayout;
  notice->addWidget(heading);
  notice->addWidget(disclaimer);
  notice->addStretch(1);

  auto* ok = BindButton(model.cmdOK, new QPushButton(this));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  auto* sysInfo = BindButton(model.cmdSysInfo, new QPushButton(this));
  sysInfo->setAutoDefault(false);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(sysInfo);
  buttons->addStretch(1);

  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(16);
  bottom->addLayout(notice, 1);
  bottom->addLayout(buttons);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 14, 14, 14);
  layout->setSpacing(10);
  layout->addLayout(top);
  layout->addLayout(lines);
  layout->addLayout(bottom, 1);

  setMinimumWidth(460);
  adjustSize();
  BindForm(model.form, this);
}

void AboutDialog::reject() {
  model_.Unload();
}

}  // namespace kps::ui
