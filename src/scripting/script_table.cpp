#include "scripting/script_table.h"

#include <algorithm>

namespace kps {

void ScriptTable::AddColumn(std::string key, std::string header, int width) {
  columns_.push_back({std::move(key), std::move(header), width, 0});
  for (auto& row : rows_) row.resize(columns_.size());
  Notify(Change::Reset, 0, 0);
}

void ScriptTable::SetColumnHeader(int column, std::string header, int width) {
  if (column < 1 || column > columnCount()) return;
  auto& col = columns_[static_cast<std::size_t>(column - 1)];
  col.header = std::move(header);
  col.width = width;
  Notify(Change::Reset, 0, 0);
}

void ScriptTable::SetColumnCode(int column, int code) {
  if (column < 1 || column > columnCount()) return;
  columns_[static_cast<std::size_t>(column - 1)].code = code;
}

const ScriptColumnSpec& ScriptTable::column(int column) const {
  static const ScriptColumnSpec none;
  if (column < 1 || column > columnCount()) return none;
  return columns_[static_cast<std::size_t>(column - 1)];
}

void ScriptTable::SetRowCount(int count) {
  rows_.resize(static_cast<std::size_t>(std::max(count, 0)),
               std::vector<ScriptCell>(columns_.size()));
  if (selected_ > rowCount()) selected_ = 0;
  Notify(Change::Reset, 0, 0);
}

void ScriptTable::ReplaceRows(std::vector<std::vector<ScriptCell>> rows) {
  rows_ = std::move(rows);
  for (auto& row : rows_) row.resize(columns_.size());
  if (selected_ > rowCount()) selected_ = 0;
  Notify(Change::Reset, 0, 0);
}

ScriptCell* ScriptTable::At(int row, int column) {
  if (row < 1 || row > rowCount() || column < 1 || column > columnCount()) return nullptr;
  return &rows_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)];
}

const ScriptCell& ScriptTable::cell(int row, int column) const {
  static const ScriptCell empty;
  const ScriptCell* c = const_cast<ScriptTable*>(this)->At(row, column);
  return c != nullptr ? *c : empty;
}

void ScriptTable::SetText(int row, int column, std::string text) {
  ScriptCell* c = At(row, column);
  if (c == nullptr || c->text == text) return;
  c->text = std::move(text);
  Notify(Change::Cell, row, column);
}

void ScriptTable::SetBackColor(int row, int column, std::optional<Rgb> back) {
  ScriptCell* c = At(row, column);
  if (c == nullptr || c->back == back) return;
  c->back = back;
  Notify(Change::Cell, row, column);
}

void ScriptTable::SelectRow(int row) {
  if (row < 0 || row > rowCount() || row == selected_) return;
  selected_ = row;
  Notify(Change::Selection, row, 0);
}

void ScriptTable::CellClick(int row, int column) {
  if (row < 1 || row > rowCount()) return;
  SelectRow(row);
  if (onCellClick) onCellClick(row, column);
}

}  // namespace kps
