#include "ui/console_widget.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSizePolicy>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "acquisition/strip_chart.h"
#include "console/register_map.h"
#include "ui/bindings.h"
#include "ui/lamp_widget.h"
#include "ui/picture_widget.h"
#include "ui/window_place.h"

namespace kps::ui {

namespace {

constexpr int kIndicatorSize = 12;

QGroupBox* Group(Frame& model, QWidget* parent) {
  return BindFrame(model, new QGroupBox(parent));
}

QLineEdit* Box(TextBox& model, QWidget* parent, int chars) {
  auto* edit = BindTextBox(model, new QLineEdit(parent));
  // Fixed in both directions and opaque: a new text (some change at every
  // collection pass) neither re-lays out the window nor repaints the frame behind.
  edit->setFixedSize(edit->fontMetrics().horizontalAdvance(QString(chars, QChar('W'))) + 12,
                     edit->sizeHint().height());
  edit->setAutoFillBackground(true);
  return edit;
}

// A label that changes at every collection pass: a fixed size wide enough for
// `widest` keeps its changes from re-laying out the window, and an opaque
// background keeps them from repainting the frame behind it.
QLabel* Steady(QLabel* label, const QString& widest) {
  label->setFixedSize(label->fontMetrics().horizontalAdvance(widest) + 10,
                      label->sizeHint().height());
  label->setAutoFillBackground(true);
  return label;
}

LampWidget* Indicator(Lamp& model, QWidget* parent, int size = kIndicatorSize) {
  auto* lamp = BindLamp(model, new LampWidget(parent));
  lamp->setFixedSize(size, size);
  lamp->setAutoFillBackground(true);
  return lamp;
}

// A control that comes and goes (during a collection) keeps its place in the
// layout while hidden, so that nothing around it moves under the user's mouse.
template <typename W>
W* KeepsItsPlace(W* widget) {
  QSizePolicy policy = widget->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  widget->setSizePolicy(policy);
  return widget;
}

// When `from` hides with the focus, the focus goes to `to` (if it may take
// it) rather than on along the tab order.
class FocusOnHide : public QObject {
 public:
  FocusOnHide(QWidget* from, QWidget* to) : QObject(from), to_(to) {
    from->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Sent before Qt moves the focus of a hidden widget on.
    if (event->type() == QEvent::Hide) {
      auto* from = static_cast<QWidget*>(watched);
      QWidget* to = to_.data();
      if (to != nullptr && from->window()->focusWidget() == from && to->isEnabled()) {
        to->setFocus(Qt::OtherFocusReason);
      }
    }
    return false;
  }

 private:
  QPointer<QWidget> to_;
};

// A frame holding the members of an option group, stacked in `columns` columns.
QGroupBox* OptionFrame(Frame& frame, OptionGroup& group, QWidget* parent, int columns = 1) {
  QGroupBox* box = Group(frame, parent);
  auto* grid = new QGridLayout(box);
  grid->setSpacing(4);
  const int rows = (group.size() + columns - 1) / columns;
  for (int k = 0; k < group.size(); ++k) {
    auto* button = BindOptionButton(group[group.first() + k], new QRadioButton(box));
    grid->addWidget(button, k % rows, k / rows);
  }
  return box;
}

}  // namespace

ConsoleWidget::ConsoleWidget(ConsoleWindow& model, Toolkit& toolkit, DesktopSettings* settings,
                             QWidget* parent)
    : QMainWindow(parent), model_(model), toolkit_(toolkit) {
  auto* central = new QWidget(this);
  central->setObjectName("consoleContent");
  content_ = central;
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(10, 8, 10, 10);
  layout->setSpacing(8);

  layout->addWidget(BuildRegisterPanel(central));
  auto* acquisition = new QHBoxLayout;
  acquisition->setSpacing(8);
  acquisition->addWidget(BuildGraph(central), 0, Qt::AlignTop);
  acquisition->addLayout(BuildGraphControls(central));
  acquisition->addStretch(1);
  layout->addLayout(acquisition);
  auto* groups = new QHBoxLayout;
  groups->setSpacing(8);
  groups->addWidget(BuildConfiguration(central), 0, Qt::AlignTop);
  groups->addWidget(BuildInterruptControl(central), 0, Qt::AlignTop);
  groups->addWidget(BuildInterruptLimits(central), 0, Qt::AlignTop);
  groups->addStretch(1);
  layout->addLayout(groups);
  layout->addLayout(BuildBottomRow(central));
  layout->addStretch(1);

  // The content keeps its least size; a smaller window scrolls it.
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName("consoleScroll");
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  scroll_->setWidget(central);
  setCentralWidget(scroll_);
  BuildMenu();
  KeepPlace(this, settings, QString::fromStdString(model.form.name()), [this](bool restored) {
    shown_ = true;
    FitToScreen(restored);
  });
  BindForm(model.form, this);
  // The compact layout is a smaller window, not a window with a hole in it.
  Follow(model.regs.Frame2, this, [this, compact = !model.regs.Frame2.visible()]() mutable {
    if (compact == !model_.regs.Frame2.visible()) return;
    compact = !compact;
    QTimer::singleShot(0, this, [this] {
      if (shown_) FitToScreen(false);
    });
  });
}

void ConsoleWidget::FitToScreen(bool keepSize) {
  const QSize room = WindowRoom(this, available_);
  const QSize chrome(0, menuBar()->sizeHint().height());
  const QSize least = content_->minimumSizeHint() + chrome;
  const QSize wanted = content_->sizeHint().expandedTo(content_->minimumSizeHint()) + chrome;
  setMinimumSize(least.boundedTo(room));
  QSize target = keepSize ? size().expandedTo(least) : wanted;
  // A scroll bar needed one way takes room from the other.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  if (target.height() > room.height()) target.setWidth(target.width() + bar);
  if (target.width() > room.width()) target.setHeight(target.height() + bar);
  resize(target.boundedTo(room));
}

QWidget* ConsoleWidget::BuildRegisterPanel(QWidget* parent) {
  RegisterPanel& r = model_.regs;
  QGroupBox* frame = Group(r.Frame2, parent);
  auto* grid = new QGridLayout(frame);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(3);
  BindColumnTitles(r.Label5[0], grid, 0, 1, kRegCount, frame);
  BindColumnTitles(r.Label5[1], grid, 1, 1, kRegCount, frame);
  auto* rowTitles = BindLabel(r.Label22, new QLabel(frame));
  rowTitles->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(rowTitles, 2, 0, 4, 1);
  // A button with its indicator beside it.
  auto withIndicator = [frame](Button& button, Lamp& indicator) {
    auto* b = BindButton(button, new QPushButton(frame));
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("WWW")) + 8);
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    row->addWidget(b);
    row->addWidget(Indicator(indicator, frame));
    return row;
  };
  // Column by column: Tab goes through each register's boxes and buttons in
  // register order.
  // Each says which register and what it does ("0x1 CONF write value"), not
  // only the frame's title or "Wr".
  auto named = [](QWidget* widget, const QString& what) {
    widget->setAccessibleName(what);
    return widget;
  };
  for (int i = 0; i < kRegCount; ++i) {
    const int col = i + 1;
    QString reg = QStringLiteral("0x") + QString::number(i, 16).toUpper();
    if (const QString name = QString::fromUtf8(RegisterName(i)); name != QStringLiteral("(n/a)")) {
      reg += QLatin1Char(' ') + name;
    }
    grid->addWidget(named(Box(r.txtRegHex[i], frame, 2), reg + " write value"), 2, col,
                    Qt::AlignHCenter);
    QHBoxLayout* write = withIndicator(r.cmdWrtReg[i], r.ShpIndwr[i]);
    named(write->itemAt(0)->widget(), reg + " write");
    grid->addLayout(write, 3, col, Qt::AlignHCenter);
    QHBoxLayout* read = withIndicator(r.cmdRDReg[i], r.ShpIndrd[i]);
    named(read->itemAt(0)->widget(), reg + " read");
    grid->addLayout(read, 4, col, Qt::AlignHCenter);
    auto* back = Box(r.txtRegRd[i], frame, 2);
    back->setReadOnly(true);
    grid->addWidget(named(back, reg + " read value"), 5, col, Qt::AlignHCenter);
  }
  grid->addWidget(BindButton(r.cmdReadAllRegs, new QPushButton(frame)), 4, kRegCount + 1);
  auto* status = BindLabel(r.lblUSBStatis, new QLabel(frame));
  grid->addWidget(status, 5, kRegCount + 1);
  return frame;
}

QWidget* ConsoleWidget::BuildConfiguration(QWidget* parent) {
  ConfigControls& c = model_.config;
  QGroupBox* frame = Group(c.FrameReg1User, parent);
  auto* grid = new QGridLayout(frame);
  grid->setSpacing(6);

  grid->addWidget(OptionFrame(c.Frame18, c.OptMMode, frame), 0, 0);
  grid->addWidget(OptionFrame(c.Frame17, c.OptALSRange, frame), 0, 1);
  grid->addWidget(OptionFrame(c.Frame16, c.OptProxDr, frame), 0, 2);
  grid->addWidget(BindCheckBox(c.chkALSEnable, new QCheckBox(frame)), 1, 0, 1, 2);
  // The lux reading under its title, with the factor it is shown with.
  auto* lux = new QVBoxLayout;
  lux->setSpacing(2);
  lux->addWidget(BindLabel(c.Label16, new QLabel(frame)));
  auto* luxRow = new QHBoxLayout;
  auto* reading = Box(model_.txtReading, frame, 6);
  reading->setReadOnly(true);
  luxRow->addWidget(reading);
  luxRow->addWidget(BindLabel(model_.meas.lblKfactor, new QLabel(frame)));
  lux->addLayout(luxRow);
  grid->addLayout(lux, 1, 2);
  grid->addWidget(OptionFrame(c.FrmIRLEd, c.OptIRSleep, frame, 2), 2, 0, 1, 2);
  auto* prox = BindCheckBox(c.ChkPEnable, new QCheckBox(frame));
  grid->addWidget(prox, 2, 2, Qt::AlignLeft | Qt::AlignBottom);
  return frame;
}

QWidget* ConsoleWidget::BuildInterruptControl(QWidget* parent) {
  InterruptControls& n = model_.intr;
  QGroupBox* frame = Group(n.FrameReg2User, parent);
  auto* grid = new QGridLayout(frame);
  grid->setSpacing(6);

  // One channel: persistence options, the clear button and the flag lamp.
  auto channel = [frame](Frame& outer, Frame& inner, OptionGroup& persistence, Button& clear,
                         Lamp& flag) {
    QGroupBox* box = Group(outer, frame);
    auto* row = new QHBoxLayout(box);
    row->addWidget(OptionFrame(inner, persistence, box, 2));
    auto* side = new QVBoxLayout;
    side->addWidget(BindButton(clear, new QPushButton(box)));
    side->addWidget(Indicator(flag, box, 18), 0, Qt::AlignHCenter);
    row->addLayout(side);
    return box;
  };
  grid->addWidget(channel(n.FrmProxiCtrl, n.Frame12, n.optINTP, n.cmdPIClear, n.ShpPintr), 0, 0, 1,
                  2);
  grid->addWidget(channel(n.Frame19, n.Frame20, n.optINTPALS, n.cmdALSClear, n.ShpAIInter), 1, 0, 1,
                  2);

  grid->addWidget(OptionFrame(n.Frame21, n.OptEPIN, frame), 2, 0, 2, 1);

  auto* bits = new QHBoxLayout;
  bits->addWidget(BindButton(n.cmdSampleInternalIntrs, new QPushButton(frame)));
  bits->addWidget(Indicator(n.ShpIntrStatus[0], frame));
  bits->addWidget(Indicator(n.ShpIntrStatus[1], frame));
  grid->addLayout(bits, 2, 1);
  auto* pinSample = new QHBoxLayout;
  pinSample->addWidget(BindButton(n.cmdISamples, new QPushButton(frame)));
  pinSample->addWidget(Indicator(n.ShpIntrStatus[2], frame));
  pinSample->addWidget(Indicator(n.ShpINTexternal, frame, 18));
  grid->addLayout(pinSample, 3, 1);
  return frame;
}

QWidget* ConsoleWidget::BuildInterruptLimits(QWidget* parent) {
  InterruptControls& n = model_.intr;
  QGroupBox* frame = Group(n.fraINT, parent);
  auto* grid = new QGridLayout(frame);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  BindColumnTitles(n.Label15, grid, 0, 0, 3, frame);

  // Row title, decimal entry, hex display and the accepted end of the range.
  struct Row {
    int title;
    TextBox* dec;
    TextBox* hex;
    int limit;
  };
  const Row rows[] = {{0, &n.txtIHigh[0], &n.txtIHigh[1], 2},
                      {1, &n.txtILow[0], &n.txtILow[1], 3},
                      {2, &n.txtILow[2], &n.txtILow[3], 7},
                      {3, &n.txtIHigh[2], &n.txtIHigh[3], 6}};
  int line = 1;
  for (const Row& row : rows) {
    grid->addWidget(BindLabel(n.Label38[row.title], new QLabel(frame)), line, 0);
    grid->addWidget(Box(*row.dec, frame, 4), line, 1);
    grid->addWidget(Box(*row.hex, frame, 3), line, 2);
    grid->addWidget(BindLabel(n.lblIlimitsformat[row.limit], new QLabel(frame)), line, 3);
    ++line;
    if (row.title == 1 || row.title == 3) {
      // The channel's format under its two rows: "ALS_IR Single Polarity  12 Bits".
      const int first = row.title == 1 ? 0 : 4;
      auto* format = new QHBoxLayout;
      format->setSpacing(12);
      format->addWidget(BindLabel(n.lblIlimitsformat[first], new QLabel(frame)));
      format->addWidget(BindLabel(n.lblIlimitsformat[first + 1], new QLabel(frame)));
      format->addStretch(1);
      grid->addLayout(format, line++, 0, 1, 4);
    }
  }
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  buttons->addWidget(BindButton(n.cmdReadILimits, new QPushButton(frame)));
  buttons->addWidget(BindButton(n.cmdWrtILimits, new QPushButton(frame)));
  buttons->addStretch(1);
  grid->addLayout(buttons, line++, 0, 1, 4);
  auto* note = BindLabel(n.lblILimitNote, new QLabel(frame));
  note->setWordWrap(true);
  note->setStyleSheet(QStringLiteral("color: #b00000;"));
  grid->addWidget(note, line++, 0, 1, 4);
  grid->addWidget(BindCheckBox(n.ChkSampleInt[0], new QCheckBox(frame)), line++, 0, 1, 4);
  grid->addWidget(BindCheckBox(n.ChkSampleInt[1], new QCheckBox(frame)), line++, 0, 1, 4);
  grid->setColumnStretch(4, 1);
  return frame;
}

QLayout* ConsoleWidget::BuildBottomRow(QWidget* parent) {
  ConfigControls& c = model_.config;
  RegisterPanel& r = model_.regs;
  auto* row = new QHBoxLayout;
  row->setSpacing(12);

  auto* leds = new QVBoxLayout;
  leds->addWidget(BindCheckBox(c.ChKLed[0], new QCheckBox(parent)));
  leds->addWidget(BindCheckBox(c.ChKLed[1], new QCheckBox(parent)));
  row->addLayout(leds);

  QGroupBox* comm = Group(c.frmMode, parent);
  auto* commRow = new QHBoxLayout(comm);
  commRow->addWidget(BindOptionButton(c.OptMode[2], new QRadioButton(comm)));
  auto* result = BindLabel(c.LblCommTest, new QLabel(comm));
  result->setAlignment(Qt::AlignCenter);
  result->setMinimumWidth(result->fontMetrics().horizontalAdvance(QStringLiteral("Good")) + 16);
  commRow->addWidget(result);
  row->addWidget(comm);

  QGroupBox* id = Group(r.Frame22, parent);
  auto* idRow = new QHBoxLayout(id);
  idRow->addWidget(BindButton(r.cmdReadID, new QPushButton(id)));
  idRow->addWidget(BindLabel(r.lblID, new QLabel(id)));
  row->addWidget(id);

  // The I2C address the startup window chose, as two hex digits.
  auto* address = Box(model_.txtI2CADR, parent, 4);
  auto* addressLabel = new QLabel(tr("I2C Adr"), parent);
  addressLabel->setObjectName("lblI2CADR");
  addressLabel->setBuddy(address);
  row->addWidget(addressLabel);
  row->addWidget(address);
  row->addWidget(BindCheckBox(model_.intr.beep_on_int, new QCheckBox(parent)));
  row->addStretch(1);

  // The link lamps side by side over their caption "USB COMM".
  auto* lamps = new QHBoxLayout;
  lamps->setSpacing(6);
  lamps->addWidget(BindLamp(model_.lamps.ShpAttach, new LampWidget(parent)));
  lamps->addWidget(BindLamp(model_.lamps.Shp_USB_Info, new LampWidget(parent)));
  lamps->addWidget(BindLamp(model_.lamps.Shp_USB_Transfer, new LampWidget(parent)));
  auto* link = new QVBoxLayout;
  link->setSpacing(3);
  link->addLayout(lamps);
  auto* caption = BindLabel(model_.Label13, new QLabel(parent));
  caption->setAlignment(Qt::AlignHCenter);
  link->addWidget(caption);
  row->addLayout(link);

  row->addWidget(KeepsItsPlace(BindButton(model_.Command4, new QPushButton(parent))), 0,
                 Qt::AlignBottom);
  return row;
}

QWidget* ConsoleWidget::BuildGraph(QWidget* parent) {
  GraphControls& g = model_.graph;
  // The label panel holds the graph itself where the labels expect it.
  auto* panel = BindPicture(g.Picture2, new PictureWidget(parent));
  auto* chart = BindPicture(g.Picture1, new PictureWidget(panel));
  chart->move(kGraphLeft, kGraphTop);
  // The chart's own menu (the chart passes its right click on to the panel).
  chart_ = panel;
  panel->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* copy = new QAction(tr("Copy Chart"), panel);
  copy->setObjectName("actCopyChart");
  connect(copy, &QAction::triggered, this,
          [this] { QGuiApplication::clipboard()->setImage(ChartImage()); });
  auto* save = new QAction(tr("Save Chart As..."), panel);
  save->setObjectName("actSaveChart");
  connect(save, &QAction::triggered, this, [this] { SaveChart(); });
  panel->addActions({copy, save});
  return panel;
}

QImage ConsoleWidget::ChartImage() const {
  // Drawn at one image pixel per logical pixel, whatever the screen's scale.
  QImage image(chart_->size(), QImage::Format_RGB32);
  image.setDevicePixelRatio(1.0);
  image.fill(Qt::white);
  chart_->render(&image);
  return image;
}

void ConsoleWidget::SaveChart() {
  FileDialogRequest request{"Save Chart As", "chart.png", "PNG Images|*.png", "*.png", true};
  const std::string path = toolkit_.OpenFileDialog(request);
  if (path.empty()) return;
  QImageWriter writer(QString::fromStdString(path), "png");
  if (!writer.write(ChartImage())) {
    toolkit_.ShowMessage(
        "The chart could not be saved to " + path + ": " + writer.errorString().toStdString(),
        MessageButtons::Ok);
  }
}

QWidget* ConsoleWidget::BuildMeasure(QWidget* parent) {
  MeasureControls& m = model_.meas;
  QGroupBox* frame = Group(m.FrmMeasure, parent);
  auto* grid = new QGridLayout(frame);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(4);
  grid->addWidget(BindButton(m.cmdReadAd, new QPushButton(frame)), 0, 0, 2, 1);
  for (int column : {0, 1}) {
    const int title = column == 0 ? 0 : 3;  // "Prox", "ALS / IR"
    const int value = column == 0 ? 1 : 2;
    grid->addWidget(BindLabel(m.lblMeasurements[title], new QLabel(frame)), 0, column + 1,
                    Qt::AlignHCenter);
    auto* count = BindLabel(m.lblMeasurements[value], new QLabel(frame));
    count->setAlignment(Qt::AlignCenter);
    count->setFrameShape(QFrame::StyledPanel);
    grid->addWidget(Steady(count, QStringLiteral("ALS/IR Count")), 1, column + 1);
  }
  grid->addWidget(Indicator(m.ShpMeas, frame), 1, 3);
  grid->addWidget(BindLabel(m.Sat_Alert_Label, new QLabel(frame)), 2, 0, Qt::AlignRight);
  for (Label* indicator : {&m.prox_sat_alert_lbl, &m.alsir_sat_alert_lbl}) {
    auto* label = Steady(BindLabel(*indicator, new QLabel(frame)), QStringLiteral("ALS/IR Count"));
    label->setAlignment(Qt::AlignCenter);
    grid->addWidget(label, 2, indicator == &m.prox_sat_alert_lbl ? 1 : 2);
  }
  grid->setColumnStretch(4, 1);
  return frame;
}

QLayout* ConsoleWidget::BuildGraphControls(QWidget* parent) {
  GraphControls& g = model_.graph;
  auto* column = new QVBoxLayout;
  column->setSpacing(6);
  column->addWidget(BuildMeasure(parent));

  // The scale boxes under their titles, and the scale buttons.
  auto* scale = new QGridLayout;
  scale->setHorizontalSpacing(6);
  scale->addWidget(BindLabel(g.lblTrig, new QLabel(parent)), 0, 0, 1, 2);
  scale->addWidget(Box(g.txtScale, parent, 5), 1, 0);
  scale->addWidget(Box(g.txtScaleMin, parent, 5), 1, 1);
  scale->addWidget(BindButton(g.cmdScale, new QPushButton(parent)), 1, 2);
  scale->addWidget(BindLabel(g.Label37, new QLabel(parent)), 2, 0);
  scale->addWidget(Box(g.txtScale2, parent, 5), 2, 1);
  scale->addWidget(BindButton(g.cmdAutoScale, new QPushButton(parent)), 2, 2);
  scale->addWidget(BindButton(g.cmdDrawTrace, new QPushButton(parent)), 3, 2);
  scale->setColumnStretch(3, 1);
  column->addLayout(scale);

  // The collection buttons; the running caption is long, so the button wraps to it.
  auto* collect = BindButton(g.cmdCollectData, new QPushButton(parent));
  collect->setMinimumHeight(collect->sizeHint().height() + 8);
  column->addWidget(collect);
  auto* stop = KeepsItsPlace(BindButton(g.cmdStopData, new QPushButton(parent)));
  column->addWidget(stop);
  QWidget::setTabOrder(collect, stop);
  // The end of a collection enables "Collect" before it hides "Stop": the
  // focus goes back there, not on into the interval box, whose leaving would
  // stop the next collection and clear the graph.
  new FocusOnHide(stop, collect);
  auto* status = BindLabel(g.Label18, new QLabel(parent));
  status->setObjectName("Label18");
  column->addWidget(status);

  auto* lower = new QHBoxLayout;
  lower->addWidget(BuildTimeBase(parent), 0, Qt::AlignTop);
  lower->addWidget(BuildRecording(parent), 1, Qt::AlignTop);
  column->addLayout(lower);
  column->addStretch(1);
  return column;
}

QWidget* ConsoleWidget::BuildTimeBase(QWidget* parent) {
  GraphControls& g = model_.graph;
  QGroupBox* frame = Group(g.frmTimeBase, parent);
  auto* grid = new QGridLayout(frame);
  grid->setSpacing(4);
  auto* interval = Box(g.txtInterval, frame, 5);
  auto* intervalTitle = new QLabel(tr("Interval"), frame);
  intervalTitle->setObjectName("lblInterval");
  intervalTitle->setBuddy(interval);
  grid->addWidget(intervalTitle, 0, 0);
  grid->addWidget(interval, 0, 1);
  auto* unit = new QLabel(tr("mSec"), frame);
  unit->setObjectName("lblIntervalUnit");
  grid->addWidget(unit, 0, 2);
  // The actual loop time, titled "Meas.Time" under its box once a collection runs.
  grid->addWidget(BindLabel(g.Label4, new QLabel(frame)), 1, 0);
  auto* loop = KeepsItsPlace(Box(g.txtTime1, frame, 5));
  loop->setReadOnly(true);
  grid->addWidget(loop, 1, 1);
  grid->addWidget(BindLabel(g.Label7, new QLabel(frame)), 1, 2);
  auto* measured = KeepsItsPlace(BindLabel(g.Label6, new QLabel(frame)));
  measured->setAlignment(Qt::AlignHCenter);
  grid->addWidget(measured, 2, 1);
  // Room for the note on two lines from the start, so that it appearing moves nothing.
  auto* note = BindLabel(g.lblIntervalNote, new QLabel(frame));
  note->setWordWrap(true);
  note->setFixedHeight(2 * note->fontMetrics().lineSpacing() + 2);
  grid->addWidget(note, 3, 0, 1, 3);
  return frame;
}

QWidget* ConsoleWidget::BuildRecording(QWidget* parent) {
  RecordControls& r = model_.rec;
  GraphControls& g = model_.graph;
  QGroupBox* frame = Group(r.frmDataRecord, parent);
  auto* grid = new QGridLayout(frame);
  grid->setSpacing(4);
  auto* path = BindTextBox(r.txtFilePath, new QLineEdit(frame));
  path->setMinimumWidth(path->fontMetrics().horizontalAdvance(QString(28, QChar('W'))));
  grid->addWidget(path, 0, 0, 1, 4);
  grid->addWidget(BindCheckBox(r.chkAppend, new QCheckBox(frame)), 1, 0);
  grid->addWidget(BindButton(r.cmdBrowse, new QPushButton(frame)), 1, 1);
  grid->addWidget(BindButton(r.cmdStartRec[0], new QPushButton(frame)), 1, 2);
  auto* count = Steady(BindLabel(g.lblLoop_Count, new QLabel(frame)), QStringLiteral(" 00000"));
  count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(count, 2, 0);
  grid->addWidget(BindLabel(g.Label11, new QLabel(frame)), 2, 1, 1, 2);
  // Sized for its longest text, so that it appearing moves nothing.
  grid->addWidget(
      Steady(BindLabel(g.lblFailedReadings, new QLabel(frame)), QStringLiteral("00000 failed")), 2,
      3);
  grid->setColumnStretch(3, 1);
  return frame;
}

void ConsoleWidget::BuildMenu() {
  RecordControls& r = model_.rec;
  QMenu* menu = menuBar()->addMenu(QString());
  BindMenuItem(r.mnuMenu, menu->menuAction());
  QAction* save = BindMenuItem(r.mnuSaveMeas, new QAction(menu));
  save->setShortcut(QKeySequence::Save);
  menu->addAction(save);
  QAction* script = BindMenuItem(r.mnuScript, new QAction(menu));
  script->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  menu->addAction(script);
  menu->addAction(BindMenuItem(r.mnuStatistics, new QAction(menu)));
  // "Exit" is a button: its key clicks it while it is there to click.
  auto* exit = findChild<QPushButton*>(QString::fromStdString(model_.Command4.name()));
  // Ctrl+Q where the platform names no key for quitting.
  QKeySequence key(QKeySequence::Quit);
  if (key.isEmpty()) key = QKeySequence(Qt::CTRL | Qt::Key_Q);
  exit->setAccessibleDescription(key.toString(QKeySequence::NativeText));
  auto* quit = new QShortcut(key, this);
  quit->setObjectName("exitShortcut");
  connect(quit, &QShortcut::activated, exit, [exit] {
    if (exit->isVisible() && exit->isEnabled()) exit->click();
  });
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
