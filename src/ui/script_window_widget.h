// frmScriptOps on screen: the title strip, the script table, and under it the
// address box, the "Script Control" and export frames, the counters and the
// link lamps. Layout and bindings only; the window model decides what happens.
#pragma once

#include <QAbstractTableModel>
#include <QMainWindow>
#include <QTableView>

#include <optional>

#include "scripting/script_window.h"

class QMenu;
class QScrollArea;

namespace kps::ui {

class DesktopSettings;

// The script table as a Qt item model: rows and columns from 0 where the table
// counts from 1, each cell's text, colour and alignment, the column headers.
class ScriptTableModel : public QAbstractTableModel {
 public:
  explicit ScriptTableModel(ScriptTable& table, QObject* parent = nullptr);
  ~ScriptTableModel() override;
  ScriptTableModel(const ScriptTableModel&) = delete;
  ScriptTableModel& operator=(const ScriptTableModel&) = delete;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Stops following the table, which is about to go.
  void Release();

 private:
  ScriptTable* table_;
  int id_ = 0;
  // The shape the view was last told about: a reset is announced after the
  // table has already changed, and until then the view must see the old shape.
  int rows_ = 0;
  int columns_ = 0;
};

// The table's view: a click on a cell, or Enter or Space on the current one,
// runs that row; moving with the keys only selects.
class ScriptTableView : public QTableView {
 public:
  using QTableView::QTableView;
  std::function<void(int row, int column)> onRun;  // 0-based, as the view counts
  // True while the user's mouse press or key moves the current cell; the view
  // moves it on its own too (to the first row when it takes the focus).
  bool userMoving() const { return userMoving_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool userMoving_ = false;
};

// The window's area scrolls where the screen is smaller than the window, or
// the window smaller than its controls.
class ScriptWindowWidget : public QMainWindow {
 public:
  // `settings` (may be null) keeps the window's place and the recent scripts
  // between runs; `cascade` is how many script windows are open already.
  explicit ScriptWindowWidget(ScriptWindow& model, DesktopSettings* settings = nullptr,
                              int cascade = 0, QWidget* parent = nullptr);
  ~ScriptWindowWidget() override;
  ScriptWindowWidget(const ScriptWindowWidget&) = delete;
  ScriptWindowWidget& operator=(const ScriptWindowWidget&) = delete;

  ScriptWindow& model() { return model_; }
  QTableView* table() { return table_; }
  QScrollArea* scrollArea() { return scroll_; }
  // Stands in for the screen's available area from the next fit on.
  void setAvailableGeometry(const QRect& area) { available_ = area; }

  // Drops every tie to the model, which is about to be destroyed, while the
  // window itself may still be on the stack (its close event unloads it).
  // What is left is a hidden, empty window that the caller deletes later.
  void Release();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildTitle(QWidget* parent);
  QWidget* BuildTable(QWidget* parent);
  QWidget* BuildControls(QWidget* parent);
  QWidget* BuildScriptControl(QWidget* parent);
  QWidget* BuildExport(QWidget* parent);
  void BuildMenu();
  // The recent scripts after the menu's own items, newest first.
  void ListRecentScripts(QMenu* menu);
  void FitToScreen(bool keepSize);

  // The table's size from the model's layout rule, the rest under it.
  void Relayout();
  void PlaceChildren();
  void ApplyColumnWidths();
  void ShowSelectedRow();
  // The user ran a row (0-based cell).
  void RunCell(int row, int column);

  ScriptWindow& model_;
  DesktopSettings* settings_;
  QScrollArea* scroll_ = nullptr;
  QWidget* content_ = nullptr;
  std::optional<QRect> available_;
  int leastWidth_ = 0;  // the controls' need
  QWidget* title_ = nullptr;
  ScriptTableModel* items_ = nullptr;
  ScriptTableView* table_ = nullptr;
  QWidget* controls_ = nullptr;
  int selectionId_ = 0;
  bool released_ = false;
  bool followingModel_ = false;  // the view's selection is being set from the model
  bool layingOut_ = false;
  bool layoutAgain_ = false;
};

}  // namespace kps::ui
