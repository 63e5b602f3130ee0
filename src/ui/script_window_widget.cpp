#include "ui/script_window_widget.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/bindings.h"
#include "ui/desktop_settings.h"
#include "ui/lamp_widget.h"
#include "ui/window_place.h"

namespace kps::ui {

namespace {

QColor ToColor(const Rgb& rgb) {
  return QColor(rgb.r, rgb.g, rgb.b);
}

// The strip behind the title.
constexpr QColor kTitleStrip{198, 214, 236};
// How much of the selection colour a coloured cell takes when its row is the
// selected one: enough to show the selection, not so much that the pass or
// fail colour is lost.
constexpr int kSelectionShare = 35;

QColor Blend(const QColor& base, const QColor& over, int overPercent) {
  auto mix = [overPercent](int a, int b) {
    return (a * (100 - overPercent) + b * overPercent) / 100;
  };
  return QColor(mix(base.red(), over.red()), mix(base.green(), over.green()),
                mix(base.blue(), over.blue()));
}

// A selected row would hide the pass and fail colours of its cells under the
// selection colour; such cells keep their colour, tinted.
class CellColorDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant back = index.data(Qt::BackgroundRole);
    if (!(option->state & QStyle::State_Selected) || !back.isValid()) return;
    const QColor highlight = option->palette.color(QPalette::Highlight);
    option->backgroundBrush = Blend(back.value<QColor>(), highlight, kSelectionShare);
    option->state &= ~QStyle::State_Selected;
  }
};

QLineEdit* Box(TextBox& model, QWidget* parent, int chars) {
  auto* edit = BindTextBox(model, new QLineEdit(parent));
  // Fixed, so that texts changing at every row of a run never re-lay out the window.
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(chars, QChar('0'))) + 14);
  return edit;
}

LampWidget* MakeLamp(Lamp& model, QWidget* parent) {
  return BindLamp(model, new LampWidget(parent));
}

}  // namespace

// ---------------------------------------------------------------------------

ScriptTableModel::ScriptTableModel(ScriptTable& table, QObject* parent)
    : QAbstractTableModel(parent),
      table_(&table),
      rows_(table.rowCount()),
      columns_(table.columnCount()) {
  id_ = table.Subscribe([this](ScriptTable::Change change, int row, int column) {
    switch (change) {
      case ScriptTable::Change::Reset:
        beginResetModel();
        rows_ = table_->rowCount();
        columns_ = table_->columnCount();
        endResetModel();
        break;
      case ScriptTable::Change::Cell:
        if (row >= 1 && row <= rows_ && column >= 1 && column <= columns_) {
          const QModelIndex at = index(row - 1, column - 1);
          emit dataChanged(at, at, {Qt::DisplayRole, Qt::BackgroundRole, Qt::TextAlignmentRole});
        }
        break;
      case ScriptTable::Change::Selection:
        break;  // the view's business
    }
  });
}

ScriptTableModel::~ScriptTableModel() {
  if (table_ != nullptr) table_->Unsubscribe(id_);
}

void ScriptTableModel::Release() {
  if (table_ == nullptr) return;
  table_->Unsubscribe(id_);
  beginResetModel();
  table_ = nullptr;
  rows_ = 0;
  columns_ = 0;
  endResetModel();
}

int ScriptTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int ScriptTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

QVariant ScriptTableModel::data(const QModelIndex& index, int role) const {
  if (table_ == nullptr || !index.isValid()) return {};
  const ScriptCell& cell = table_->cell(index.row() + 1, index.column() + 1);
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(cell.text);
    case Qt::ToolTipRole:  // the whole text of a cell too narrow for it
      if (cell.text.empty()) return {};
      return QString::fromStdString(cell.text);
    case Qt::BackgroundRole:
      if (cell.back) return ToColor(*cell.back);
      return {};
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignVCenter |
                                 (cell.code == 1 ? Qt::AlignHCenter : Qt::AlignLeft));
    default:
      return {};
  }
}

QVariant ScriptTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (table_ == nullptr || role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  return QString::fromStdString(table_->column(section + 1).header);
}

Qt::ItemFlags ScriptTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

// ---------------------------------------------------------------------------

void ScriptTableView::keyPressEvent(QKeyEvent* event) {
  const bool run = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                   event->key() == Qt::Key_Space;
  // The keypad's Enter carries the keypad modifier.
  if (run && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    const QModelIndex current = currentIndex();
    if (current.isValid() && onRun) onRun(current.row(), current.column());
    event->accept();
    return;
  }
  const QScopedValueRollback moving(userMoving_, true);
  QTableView::keyPressEvent(event);
}

void ScriptTableView::mousePressEvent(QMouseEvent* event) {
  const QScopedValueRollback moving(userMoving_, true);
  QTableView::mousePressEvent(event);
}

// ---------------------------------------------------------------------------

ScriptWindowWidget::ScriptWindowWidget(ScriptWindow& model, DesktopSettings* settings, int cascade,
                                       QWidget* parent)
    : QMainWindow(parent), model_(model), settings_(settings) {
  BuildMenu();
  // No layout: the table's place and size come from the window's own rule
  // (Form_Resize) over the visible area, and everything else sits under it.
  content_ = new QWidget(this);
  content_->setObjectName("scriptContent");
  title_ = BuildTitle(content_);
  BuildTable(content_);
  controls_ = BuildControls(content_);
  // The key of "Write to Disk" (BuildMenu), told to a screen reader as a menu
  // shows its entries' keys.
  if (auto* write =
          controls_->findChild<QPushButton*>(QString::fromStdString(model_.cmdStartRec.name()))) {
    write->setAccessibleDescription(
        QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText));
  }
  controls_->installEventFilter(this);
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName("scriptScroll");
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidget(content_);
  scroll_->viewport()->installEventFilter(this);
  setCentralWidget(scroll_);

  // Wide enough for the nine columns with the layout's margins; the table
  // then fills all but the space the controls under it need.
  resize(870, 600);
  KeepPlace(
      this, settings, QStringLiteral("frmScriptOps"),
      [this](bool restored) { FitToScreen(restored); }, cascade);
  if (settings_ != nullptr) {
    model_.onScriptLoaded = [this](const std::string& path) {
      settings_->addRecentScript(QString::fromStdString(path));
    };
  }
  BindForm(model.form, this);
}

void ScriptWindowWidget::FitToScreen(bool keepSize) {
  const QSize room = WindowRoom(this, available_);
  setMinimumWidth(std::min(minimumWidth(), room.width()));
  resize((keepSize ? size() : QSize(870, 600)).boundedTo(room));
}

ScriptWindowWidget::~ScriptWindowWidget() {
  Release();
}

void ScriptWindowWidget::Release() {
  if (released_) return;
  released_ = true;
  model_.onScriptLoaded = nullptr;
  hide();
  model_.vbalGrid1.Unsubscribe(selectionId_);
  items_->Release();
  // The bindings hold the model's controls: they go now, with their widgets.
  for (QObject* binding :
       findChildren<QObject*>(QStringLiteral("binding"), Qt::FindDirectChildrenOnly)) {
    delete binding;
  }
  delete menuBar();
  delete takeCentralWidget();
}

void ScriptWindowWidget::BuildMenu() {
  QMenu* file = menuBar()->addMenu(QString());
  BindMenuItem(model_.Script_File_Ops, file->menuAction());
  QAction* open = BindMenuItem(model_.mnuScript_Read, new QAction(file));
  open->setShortcut(QKeySequence::Open);
  file->addAction(open);
  QAction* another = BindMenuItem(model_.Dupform, new QAction(file));
  another->setShortcut(QKeySequence::New);
  file->addAction(another);
  ListRecentScripts(file);
  connect(file, &QMenu::aboutToShow, this, [this, file] { ListRecentScripts(file); });
  // "Write to Disk" is a button: its key clicks it while it is there to click.
  auto* save = new QShortcut(QKeySequence::Save, this);
  save->setObjectName("writeShortcut");

  connect(save, &QShortcut::activated, this, [this] {
    auto* write = findChild<QPushButton*>(QString::fromStdString(model_.cmdStartRec.name()));
    if (write != nullptr && write->isVisible() && write->isEnabled()) write->click();
  });
}

void ScriptWindowWidget::ListRecentScripts(QMenu* menu) {
  for (QAction* old : menu->findChildren<QAction*>(QStringLiteral("recentScript"))) delete old;
  if (settings_ == nullptr || released_) return;
  const QStringList recent = settings_->recentScripts();
  if (recent.isEmpty()) return;
  auto* separator = new QAction(menu);
  separator->setObjectName("recentScript");
  separator->setSeparator(true);
  menu->addAction(separator);
  for (int i = 0; i < recent.size(); ++i) {
    const QString path = recent[i];
    // "&1 regs.txt": the number is the entry's key in the open menu.
    QString name = QFileInfo(path).fileName();
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    auto* action = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(name), menu);
    action->setObjectName("recentScript");
    action->setToolTip(path);
    action->setStatusTip(path);
    // From the event loop, as a row runs: the load processes events, and the
    // window (with this menu) may go meanwhile.
    connect(action, &QAction::triggered, this, [this, path] {
      QTimer::singleShot(0, this, [this, path] {
        if (!released_) model_.OpenScriptFile(path.toStdString());
      });
    });
    menu->addAction(action);
  }
}

QWidget* ScriptWindowWidget::BuildTitle(QWidget* parent) {
  auto* strip = new QFrame(parent);
  strip->setObjectName("picTitle");
  strip->setFrameShape(QFrame::StyledPanel);
  strip->setAutoFillBackground(true);
  QPalette palette = strip->palette();
  palette.setColor(QPalette::Window, kTitleStrip);
  strip->setPalette(palette);
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(8, 3, 8, 3);
  auto* title = BindLabel(model_.lblTitle, new QLabel(strip));
  QFont bold = title->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.15);
  title->setFont(bold);
  row->addWidget(title);
  row->addStretch(1);
  return strip;
}

QWidget* ScriptWindowWidget::BuildTable(QWidget* parent) {
  table_ = new ScriptTableView(parent);
  table_->setObjectName("vbalGrid1");
  items_ = new ScriptTableModel(model_.vbalGrid1, table_);
  table_->setModel(items_);
  table_->setItemDelegate(new CellColorDelegate(table_));
  table_->setShowGrid(true);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setWordWrap(false);
  table_->setTabKeyNavigation(false);
  table_->verticalHeader()->hide();  // the Line column numbers the rows
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setHighlightSections(false);
  table_->horizontalHeader()->setStretchLastSection(false);
  ApplyColumnWidths();

  // A click runs the row; keys that move only select it.
  connect(table_, &QAbstractItemView::clicked, this,
          [this](const QModelIndex& index) { RunCell(index.row(), index.column()); });
  table_->onRun = [this](int row, int column) { RunCell(row, column); };
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (followingModel_ || released_) return;
            if (table_->userMoving() && current.isValid()) {
              model_.vbalGrid1.SelectRow(current.row() + 1);
            } else {
              ShowSelectedRow();  // the table's selection is the model's
            }
          });
  selectionId_ = model_.vbalGrid1.Subscribe([this](ScriptTable::Change change, int, int) {
    if (change == ScriptTable::Change::Reset) ApplyColumnWidths();
    if (change != ScriptTable::Change::Cell) ShowSelectedRow();
  });
  ShowSelectedRow();
  return table_;
}

void ScriptWindowWidget::ApplyColumnWidths() {
  const ScriptTable& t = model_.vbalGrid1;
  for (int c = 1; c <= t.columnCount(); ++c) table_->setColumnWidth(c - 1, t.column(c).width);
}

void ScriptWindowWidget::ShowSelectedRow() {
  followingModel_ = true;
  const int row = model_.vbalGrid1.selectedRow();
  QItemSelectionModel* selection = table_->selectionModel();
  if (row < 1 || row > items_->rowCount()) {
    selection->clear();
  } else {
    const int column = std::max(table_->currentIndex().column(), 0);
    const QModelIndex at = items_->index(row - 1, column);
    selection->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table_->scrollTo(at);
  }
  followingModel_ = false;
}

void ScriptWindowWidget::RunCell(int row, int column) {
  // The row runs from the event loop rather than inside the view's own mouse
  // or key event: it processes events for as long as it takes, during which
  // the table may be reloaded and the window closed, released and deleted.
  QTimer::singleShot(0, qApp, [self = QPointer<ScriptWindowWidget>(this), row, column] {
    ScriptWindowWidget* window = self.data();
    if (window == nullptr || window->released_) return;
    window->model_.vbalGrid1.CellClick(row + 1, column + 1);
  });
}

QWidget* ScriptWindowWidget::BuildControls(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName("scriptControls");
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(10);

  // The address the rows take by default, and the script's reload.
  auto* left = new QGridLayout;
  left->setHorizontalSpacing(6);
  left->setVerticalSpacing(6);
  auto* address = Box(model_.txtI2CAdr, panel, 4);
  auto* addressLabel = BindLabel(model_.Label5, new QLabel(panel));
  addressLabel->setBuddy(address);
  left->addWidget(addressLabel, 0, 0);
  left->addWidget(address, 0, 1, Qt::AlignLeft);
  left->addWidget(BindButton(model_.cmdReload2, new QPushButton(panel)), 1, 0, 1, 2, Qt::AlignLeft);
  left->addWidget(BindLabel(model_.Label4, new QLabel(panel)), 2, 0, 1, 2);
  auto* lastLoad = BindTextBox(model_.txtScriptLine1, new QLineEdit(panel));
  lastLoad->setFixedWidth(lastLoad->fontMetrics().horizontalAdvance(QString(20, QChar('0'))));
  left->addWidget(lastLoad, 3, 0, 1, 2);
  left->setRowStretch(4, 1);
  row->addLayout(left);

  row->addWidget(BuildScriptControl(panel), 0, Qt::AlignTop);

  // The read counters, each box under its word, and the link lamps under them.
  auto* counters = new QGridLayout;
  counters->setHorizontalSpacing(4);
  counters->setVerticalSpacing(3);
  counters->addWidget(BindLabel(model_.Label3, new QLabel(panel)), 0, 0, 1, 3);
  BindColumnTitles(model_.Label2, counters, 1, 0, 3, panel);
  int column = 0;
  for (TextBox* box : {&model_.txttotReads, &model_.txtRdPass, &model_.txtRdFails}) {
    counters->addWidget(Box(*box, panel, 4), 2, column++);
  }
  auto* lamps = new QHBoxLayout;
  lamps->setSpacing(6);
  lamps->addWidget(MakeLamp(model_.lamps.ShpAttach, panel));
  lamps->addWidget(MakeLamp(model_.lamps.Shp_USB_Info, panel));
  lamps->addWidget(MakeLamp(model_.lamps.Shp_USB_Transfer, panel));
  auto* link = new QVBoxLayout;
  link->setSpacing(3);
  link->addLayout(lamps);
  auto* caption = new QLabel(tr("USB COMM"), panel);
  caption->setObjectName("lblLinkLamps");
  link->addWidget(caption);
  counters->addLayout(link, 3, 0, 1, 3, Qt::AlignHCenter | Qt::AlignBottom);
  counters->setRowStretch(3, 1);
  row->addLayout(counters);

  row->addWidget(BuildExport(panel), 1, Qt::AlignTop);
  return panel;
}

QWidget* ScriptWindowWidget::BuildScriptControl(QWidget* parent) {
  QGroupBox* frame = BindFrame(model_.frmScriptExec, new QGroupBox(parent));
  auto* grid = new QGridLayout(frame);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  grid->addWidget(BindButton(model_.cmdExecAll, new QPushButton(frame)), 0, 0);
  grid->addWidget(BindCheckBox(model_.chkAOF, new QCheckBox(frame)), 0, 1);
  grid->addWidget(BindButton(model_.cmdRunContinuous, new QPushButton(frame)), 1, 0);
  grid->addWidget(BindButton(model_.cmdAbort, new QPushButton(frame)), 1, 1);
  auto* loops = new QHBoxLayout;
  loops->addWidget(BindLabel(model_.Label6, new QLabel(frame)));
  loops->addWidget(Box(model_.txtLoopCount, frame, 5));
  loops->addStretch(1);
  grid->addLayout(loops, 2, 0, 1, 2);
  // "12 of 40": the row Run All Steps has reached, of the total.
  auto* progress = new QHBoxLayout;
  progress->addWidget(Box(model_.txtRunning, frame, 4));
  progress->addWidget(BindLabel(model_.Label1, new QLabel(frame)));
  progress->addWidget(Box(model_.txtTotLines, frame, 4));
  progress->addStretch(1);
  grid->addLayout(progress, 3, 0, 1, 2);
  return frame;
}

QWidget* ScriptWindowWidget::BuildExport(QWidget* parent) {
  QGroupBox* frame = BindFrame(model_.frmDataRecord, new QGroupBox(parent));
  auto* grid = new QGridLayout(frame);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  auto* path = BindTextBox(model_.txtFilePath, new QLineEdit(frame));
  path->setMinimumWidth(path->fontMetrics().horizontalAdvance(QString(14, QChar('W'))));
  grid->addWidget(path, 0, 0, 1, 4);
  grid->addWidget(BindButton(model_.cmdBrowse, new QPushButton(frame)), 1, 0);
  grid->addWidget(BindButton(model_.cmdStartRec, new QPushButton(frame)), 1, 1);
  grid->addWidget(BindCheckBox(model_.chkAppend, new QCheckBox(frame)), 1, 2);
  grid->setColumnStretch(3, 1);
  auto* status = BindLabel(model_.Label18, new QLabel(frame));
  status->setMinimumHeight(status->fontMetrics().height());
  grid->addWidget(status, 2, 0, 1, 4);
  return frame;
}

void ScriptWindowWidget::Relayout() {
  if (released_) return;
  // The rule processes events, and a resize may arrive among them: the
  // latest size is laid out once the outer call is back.
  if (layingOut_) {
    layoutAgain_ = true;
    return;
  }
  QPointer<ScriptWindowWidget> self(this);
  layingOut_ = true;
  do {
    layoutAgain_ = false;
    // The visible area, never narrower than the controls need.
    const QSize inner = scroll_->viewport()->size();
    model_.Form_Resize(std::max(inner.width(), leastWidth_) * kTwipsPerPixel,
                       inner.height() * kTwipsPerPixel, isMinimized());
    if (self == nullptr || released_) return;
  } while (layoutAgain_);
  layingOut_ = false;
  if (!isMinimized()) PlaceChildren();
}

void ScriptWindowWidget::PlaceChildren() {
  const TableGeometry& g = model_.tableGeometry;
  const int left = g.left / kTwipsPerPixel;
  const int width = std::max(g.width / kTwipsPerPixel, 0);
  const int height = std::max(g.height / kTwipsPerPixel, 0);
  title_->setGeometry(left, 4, width, title_->sizeHint().height());
  const int top = title_->geometry().bottom() + 5;
  table_->setGeometry(left, top, width, height);
  const QSize wanted = controls_->sizeHint();
  // The frames the model shows after a load widen what the window may shrink
  // to, as far as the screen has room; a smaller window scrolls.
  leastWidth_ = controls_->minimumSizeHint().width() + 2 * left + 20;
  setMinimumWidth(std::min(leastWidth_, WindowRoom(this, available_).width()));
  controls_->setGeometry(left, top + height + 8, std::max(width, wanted.width()), wanted.height());
  // The area holds the table's width and everything down to the controls.
  const QSize view = scroll_->viewport()->size();
  content_->resize(std::max({view.width(), leastWidth_, controls_->geometry().right() + 1}),
                   std::max(view.height(), controls_->geometry().bottom() + 8));
}

bool ScriptWindowWidget::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && !released_) model_.Form_GotFocus();
  return QMainWindow::event(event);
}

void ScriptWindowWidget::closeEvent(QCloseEvent* event) {
  // The model may be released (and gone) once Unload is back.
  if (!released_) model_.Unload();
  event->accept();
}

void ScriptWindowWidget::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Minimising and restoring need not resize the inner area, but the rule
  // treats a minimised window apart.
  if (event->type() == QEvent::WindowStateChange) Relayout();
}

bool ScriptWindowWidget::eventFilter(QObject* watched, QEvent* event) {
  if (released_) return QMainWindow::eventFilter(watched, event);
  if (watched == scroll_->viewport() && event->type() == QEvent::Resize) Relayout();
  // Frames shown or hidden by the model change what the controls need.
  if (watched == controls_ && event->type() == QEvent::LayoutRequest) {
    QTimer::singleShot(0, this, [this] {
      if (!released_ && !layingOut_) PlaceChildren();
    });
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace kps::ui
