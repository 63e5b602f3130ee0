#include "ui/simulator_window.h"

#include <algorithm>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/bindings.h"
#include "ui/lamp_widget.h"

namespace kps::ui {

namespace {

const QColor kUnlit(70, 70, 70);
const QColor kAsserted(255, 190, 0);
constexpr int kGapToAnchor = 12;

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

// A lamp over its caption, so that a row of them reads like the board's silk screen.
QWidget* Captioned(LampWidget* lamp, const QString& caption, QWidget* parent) {
  auto* cell = new QWidget(parent);
  auto* layout = new QVBoxLayout(cell);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(lamp, 0, Qt::AlignHCenter);
  auto* label = new QLabel(caption, cell);
  label->setAlignment(Qt::AlignHCenter);
  layout->addWidget(label);
  return cell;
}

}  // namespace

SimulatorWindow::SimulatorWindow(sim::SimulatedBoard& board, QWidget* parent)
    : QWidget(parent, Qt::Window),
      board_(board),
      leds_{{{0, "PC0", "red", QColor(230, 30, 30)},
             {1, "PC1", "green", QColor(40, 200, 60)},
             {5, "PB5", "orange", QColor(255, 140, 0)},
             {6, "PB6", "red", QColor(230, 30, 30)}}} {
  setWindowTitle("Board simulator");
  setObjectName("boardSimulator");
  // Plugging the board or injecting a fault is not the user leaving a box of
  // the console: its lost-focus writes must not run.
  setProperty(kOutsideTheProgram, true);
  // A development aid beside the program: it never decides on its own that
  // the program goes on running, whatever the application's quit rule.
  setAttribute(Qt::WA_QuitOnClose, false);

  const sim::Scene& scene = board_.scene();
  auto* sceneBox = new QGroupBox("Scene", this);
  auto* form = new QFormLayout(sceneBox);
  lux_ = SceneBox("simLux", sim::kMaxLux, 10.0, " lux", scene.lux);
  ir_ = SceneBox("simIr", sim::kMaxIr, 5.0, "", scene.ir);
  proximity_ = SceneBox("simProximity", sim::kMaxProximity, 1.0, " counts", scene.proximity);
  noise_ = SceneBox("simNoise", sim::kMaxNoise, 0.5, " %", scene.noise);
  shape_ = new QComboBox(sceneBox);
  shape_->setObjectName("simShape");
  for (sim::SceneShape shape :
       {sim::SceneShape::Steady, sim::SceneShape::Ramp, sim::SceneShape::Sine}) {
    QString name = sim::SceneShapeName(shape);
    name[0] = name[0].toUpper();
    shape_->addItem(name, static_cast<int>(shape));
  }
  shape_->setCurrentIndex(shape_->findData(static_cast<int>(scene.shape)));
  shape_->setToolTip(QString("Ramp: from 0 up to the levels above over %1 conversions.\n"
                             "Sine: from 0 up to them and back over %1 conversions.")
                         .arg(sim::kShapePeriod));
  connect(shape_, &QComboBox::currentIndexChanged, this, [this] { ApplyScene(); });
  form->addRow("Ambient light:", lux_);
  form->addRow("Infrared (lux scale):", ir_);
  form->addRow("Proximity at 110 mA:", proximity_);
  form->addRow("Noise (of full scale):", noise_);
  form->addRow("Shape:", shape_);

  auto* boardBox = new QGroupBox("Board", this);
  auto* grid = new QGridLayout(boardBox);
  plugState_ = new QLabel(boardBox);
  plugState_->setObjectName("simPlugState");
  unplug_ = Button("Unplug", "simUnplug", boardBox);
  plug_ = Button("Plug", "simPlug", boardBox);
  auto* timeout = Button("Inject time-out", "simInjectTimeout", boardBox);
  auto* nak = Button("Inject NAK", "simInjectNak", boardBox);
  auto* shortReply = Button("Inject short reply", "simInjectShortReply", boardBox);
  faults_ = new QLabel(boardBox);
  faults_->setObjectName("simFaults");
  // Why the board cannot be opened: the program's guidance for each can be
  // seen by choosing one, then unplugging the board and plugging it in again.
  auto* refusal = new QComboBox(boardBox);
  refusal->setObjectName("simOpenRefusal");
  refusal->setAccessibleName("Opening the board");
  refusal->addItem("Opens normally", static_cast<uint>(kUsbOk));
  refusal->addItem("Access denied", static_cast<uint>(kUsbAccessDenied));
  refusal->addItem("Board in use", static_cast<uint>(kUsbBusy));
  refusal->setCurrentIndex(std::max(0, refusal->findData(static_cast<uint>(board_.openRefusal()))));
  refusal->setToolTip(
      "\"Access denied\" as without the udev rule, \"Board in use\" as while another program "
      "holds it: from the next plug on");
  connect(refusal, &QComboBox::currentIndexChanged, this,
          [this, refusal] { board_.RefuseOpen(refusal->currentData().toUInt()); });
  grid->addWidget(plugState_, 0, 0);
  grid->addWidget(unplug_, 0, 1);
  grid->addWidget(plug_, 0, 2);
  grid->addWidget(timeout, 1, 0);
  grid->addWidget(nak, 1, 1);
  grid->addWidget(shortReply, 1, 2);
  grid->addWidget(faults_, 2, 0, 1, 3);
  grid->addWidget(new QLabel("Opening:", boardBox), 3, 0);
  grid->addWidget(refusal, 3, 1, 1, 2);
  // Every button refreshes at once, so that the window never shows a state
  // older than the click.
  connect(unplug_, &QPushButton::clicked, this, [this] {
    board_.Unplug();
    Refresh();
  });
  connect(plug_, &QPushButton::clicked, this, [this] {
    board_.Plug();
    Refresh();
  });
  auto inject = [this](QPushButton* button, sim::Fault fault) {
    connect(button, &QPushButton::clicked, this, [this, fault] {
      board_.InjectFault(fault);
      Refresh();
    });
  };
  inject(timeout, sim::Fault::Timeout);
  inject(nak, sim::Fault::Nak);
  inject(shortReply, sim::Fault::ShortReply);

  auto* linesBox = new QGroupBox("LEDs and interrupt line", this);
  auto* lines = new QHBoxLayout(linesBox);
  for (Led& led : leds_) {
    led.lamp = new LampWidget(linesBox);
    led.lamp->setObjectName(QString("simLed%1").arg(led.line));
    lines->addWidget(
        Captioned(led.lamp, QString("%1\n(%2)").arg(led.name).arg(led.colorName), linesBox));
  }
  interrupt_ = new LampWidget(linesBox);
  interrupt_->setObjectName("simInterrupt");
  lines->addSpacing(12);
  lines->addWidget(Captioned(interrupt_, "INT\n(PB7)", linesBox));
  lines->addStretch(1);

  chip_ = new QLabel(this);
  chip_->setObjectName("simChip");
  chip_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(sceneBox);
  layout->addWidget(boardBox);
  layout->addWidget(linesBox);
  layout->addWidget(chip_);
  layout->addStretch(1);

  connect(&timer_, &QTimer::timeout, this, [this] { Refresh(); });
  timer_.start(kRefreshMs);
  Refresh();
}

QDoubleSpinBox* SimulatorWindow::SceneBox(const char* name, double max, double step,
                                          const QString& suffix, double value) {
  auto* box = new QDoubleSpinBox(this);
  box->setObjectName(name);
  box->setDecimals(2);
  box->setRange(0.0, max);
  box->setSingleStep(step);
  box->setSuffix(suffix);
  box->setValue(value);
  connect(box, &QDoubleSpinBox::valueChanged, this, [this] { ApplyScene(); });
  return box;
}

void SimulatorWindow::ApplyScene() {
  sim::Scene scene = board_.scene();
  scene.lux = lux_->value();
  scene.ir = ir_->value();
  scene.proximity = proximity_->value();
  scene.noise = noise_->value();
  scene.shape = static_cast<sim::SceneShape>(shape_->currentData().toInt());
  board_.setScene(scene);
}

void SimulatorWindow::Refresh() {
  const bool plugged = board_.plugged();
  plugState_->setText(plugged ? "Plugged in" : "Unplugged");
  unplug_->setEnabled(plugged);
  plug_->setEnabled(!plugged);
  const int faults = board_.pendingFaults();
  faults_->setText(faults == 0 ? "No fault waiting"
                               : QString("Faults waiting for the next I2C frames: %1").arg(faults));

  for (const Led& led : leds_) {
    const bool lit = board_.ledLit(led.line);
    led.lamp->setState(QString("LED %1").arg(led.name), lit ? led.lit : kUnlit,
                       lit ? led.colorName : "off");
  }
  const bool asserted = board_.interruptPinAsserted();
  interrupt_->setState("Interrupt line", asserted ? kAsserted : kUnlit,
                       asserted ? "asserted" : "released");

  const int als = board_.chipRegister(sim::kRegAls1) | (board_.chipRegister(sim::kRegAls2) << 8);
  chip_->setText(QString("Chip: CONF 0x%1, INTR 0x%2, PROX %3, ALS/IR %4; %5 conversions")
                     .arg(board_.chipRegister(sim::kRegConf), 2, 16, QChar('0'))
                     .arg(board_.chipRegister(sim::kRegIntr), 2, 16, QChar('0'))
                     .arg(board_.chipRegister(sim::kRegProx))
                     .arg(als)
                     .arg(board_.conversions()));
}

void SimulatorWindow::placeBesideOnShow(QWidget* anchor) {
  if (anchor_) anchor_->removeEventFilter(this);
  anchor_ = anchor;
  if (anchor != nullptr) anchor->installEventFilter(this);
}

bool SimulatorWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == anchor_ && event->type() == QEvent::Show) {
    anchor_->removeEventFilter(this);
    // Once the show has gone through, the anchor has its place on screen.
    QTimer::singleShot(0, this, [this, anchor = anchor_] {
      if (anchor) PlaceBeside(*anchor);
    });
    anchor_ = nullptr;
  }
  return QWidget::eventFilter(watched, event);
}

void SimulatorWindow::PlaceBeside(const QWidget& anchor) {
  const QRect frame = anchor.frameGeometry();
  const QScreen* screen = anchor.screen();
  const QRect room = screen != nullptr ? screen->availableGeometry() : QRect();
  const int width = frameGeometry().width();
  int x = frame.right() + 1 + kGapToAnchor;
  if (room.isValid() && x + width > room.right() + 1) {
    x = frame.left() - kGapToAnchor - width;
    if (x < room.left()) return;  // no room on either side: where it is will do
  }
  move(x, frame.top());
}

}  // namespace kps::ui
