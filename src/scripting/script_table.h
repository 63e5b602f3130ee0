// The script table: nine columns of display text, one row per script line.
// Every cell holds a text, a background colour and a presentation code. The
// table is a control model like the others: a view subscribes and is told
// which rows or cells changed; a click on a cell by the user reaches the
// window through onCellClick. Rows and columns are numbered from 1.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/listeners.h"
#include "core/palette.h"

namespace kps {

// The columns, by number.
enum ScriptColumn : int {
  kColLine = 1,
  kColI2CAdr,
  kColRegAdr,
  kColDataWr,
  kColDataRd,
  kColActRd,
  kColOperation,
  kColComment,
  kColADDecimal,
};
inline constexpr int kScriptColumnCount = 9;

inline constexpr Rgb kCellRed{255, 0, 0};
inline constexpr Rgb kCellGreen{0, 255, 0};
// The system's button face, which the Line cells take.
inline constexpr Rgb kButtonFace{240, 240, 240};

struct ScriptCell {
  std::string text;
  std::optional<Rgb> back;  // none: the view's own background
  // 1 on the cells that show the row's identity and action (Line, I2C Adr,
  // Operation), which the view centres; 0 elsewhere.
  int code = 0;
  bool operator==(const ScriptCell&) const = default;
};

struct ScriptColumnSpec {
  std::string key;
  std::string header;
  int width = 64;  // pixels
  int code = 0;    // the column's presentation code
};

class ScriptTable {
 public:
  // What changed: the whole table (rows or columns added or removed), one
  // cell, or the selected row.
  enum class Change { Reset, Cell, Selection };
  using Listener = std::function<void(Change, int row, int column)>;

  int Subscribe(Listener listener) { return listeners_.Subscribe(std::move(listener)); }
  void Unsubscribe(int id) { listeners_.Unsubscribe(id); }

  void AddColumn(std::string key, std::string header, int width);
  void SetColumnHeader(int column, std::string header, int width);
  void SetColumnCode(int column, int code);
  int columnCount() const { return static_cast<int>(columns_.size()); }
  const ScriptColumnSpec& column(int column) const;

  int rowCount() const { return static_cast<int>(rows_.size()); }
  // Rows past the count are removed; new rows are empty.
  void SetRowCount(int count);
  // All rows replaced at once (one Reset for the view).
  void ReplaceRows(std::vector<std::vector<ScriptCell>> rows);

  // A cell outside the table reads as an empty cell; writing one does nothing.
  const ScriptCell& cell(int row, int column) const;
  const std::string& text(int row, int column) const { return cell(row, column).text; }
  void SetText(int row, int column, std::string text);
  void SetBackColor(int row, int column, std::optional<Rgb> back);

  // The selected row, 0 for none.
  int selectedRow() const { return selected_; }
  // By code: the row becomes the selected one; no handler runs.
  void SelectRow(int row);
  // The user clicked a cell: its row becomes the selected one, then
  // onCellClick runs with the row and column.
  void CellClick(int row, int column);
  std::function<void(int row, int column)> onCellClick;

 private:
  ScriptCell* At(int row, int column);
  void Notify(Change change, int row, int column) { listeners_.Notify(change, row, column); }

  std::vector<ScriptColumnSpec> columns_;
  std::vector<std::vector<ScriptCell>> rows_;
  int selected_ = 0;
  Listeners<Change, int, int> listeners_;
};

}  // namespace kps
