// frmScriptOps: the script window. It loads a script file into its table,
// runs the rows against the board singly (a click on a row) or all in order
// ("Run All Steps", "Loop Cont"), counts passes and failures, and writes the
// table to a comma-separated file. Several can be open at once, each with its
// own table and state; they share the program's I2C address and stop request.
//
// Handlers by file: script_window.cpp (setup, layout, focus, close, address
// box, duplicate), script_loading.cpp (open, load, reload), script_run.cpp
// (rows, Run All Steps, Loop Cont, Abort), script_export.cpp (Browse, Write to Disk).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "board/board_link.h"
#include "core/controls.h"
#include "scripting/script_file.h"
#include "scripting/script_table.h"

namespace kps {

class AppContext;
class ScriptWindows;

inline constexpr const char* kNoScriptCaption = "No Script File Selected";
inline constexpr int kTwipsPerPixel = 15;

// Where the layout puts the table, in twips of the window's inner area.
struct TableGeometry {
  int left = 100;
  int width = 0;
  int height = 0;
};

class ScriptWindow {
 public:
  ScriptWindow(AppContext& app, ScriptWindows& owner);
  ScriptWindow(const ScriptWindow&) = delete;
  ScriptWindow& operator=(const ScriptWindow&) = delete;

  Form form{"frmScriptOps", kNoScriptCaption};
  Label lblTitle{"lblTitle", "IC - Script Load / Execute"};
  ScriptTable vbalGrid1;  // ScriptTable
  Label Label5{"Label5", "Default I2C Adr"};
  TextBox txtI2CAdr{"txtI2CAdr", "00"};

  Frame frmScriptExec{"frmScriptExec", "Script Control"};
  CheckBox chkAOF{"chkAOF", "Abort On fail"};
  Button cmdExecAll{"cmdExecAll", "Run All Steps"};
  Button cmdAbort{"cmdAbort", "Abort"};
  Button cmdRunContinuous{"cmdRunContinuous", "Loop Cont"};
  Label Label6{"Label6", "Loop Count"};
  TextBox txtLoopCount{"txtLoopCount", ""};
  TextBox txtRunning{"txtRunning", ""};
  Label Label1{"Label1", "of"};
  TextBox txtTotLines{"txtTotLines", ""};

  Button cmdReload2{"cmdReload2", "Reload"};
  Label Label4{"Label4", "Last Load"};
  TextBox txtScriptLine1{"txtScriptLine1", ""};
  Label Label3{"Label3", "Read Operations"};
  Label Label2{"Label2", "Total       Pass        Fail"};
  TextBox txttotReads{"txttotReads", ""};
  TextBox txtRdPass{"txtRdPass", ""};
  TextBox txtRdFails{"txtRdFails", ""};

  Frame frmDataRecord{"frmDataRecord", "Save Table Data to CSV file"};
  TextBox txtFilePath{"txtFilePath", ""};
  Button cmdStartRec{"cmdStartRec", "Write to Disk"};
  Button cmdBrowse{"cmdBrowse", "Browse"};
  CheckBox chkAppend{"chkAppend", "Append"};
  Label Label18{"Label18", ""};

  LinkLamps lamps;
  MenuItem Script_File_Ops{"Script_File_Ops", "File"};
  MenuItem mnuScript_Read{"mnuScript_Read", "Open Script File"};
  MenuItem Dupform{"Dupform", "Open Another Script Processing Form"};

  // Window life (script_window.cpp).
  void Form_Load();
  void Form_GotFocus();
  // The window was resized to this inner size (twips), or minimised.
  void Form_Resize(int innerWidth, int innerHeight, bool minimized);
  // Closing: the program's I2C address goes back to the one saved when the
  // last script window opened. A run in progress ends after its current row.
  void Form_Unload();
  // Unloading by code or by the close box, once.
  void Unload();
  void txtI2CAdr_KeyPress(int key);
  void Dupform_Click();
  bool loaded() const { return loaded_; }
  // True while a row runs in this window (singly or in Run All Steps).
  bool busy() const { return RunningAll || rowDepth_ > 0; }
  // True while one of this window's handlers is on the stack.
  bool active() const { return activeCalls_ > 0; }
  TableGeometry tableGeometry;

  // Loading (script_loading.cpp).
  void ReadScriptFile();
  // Loads `path` as "Open Script File" loads the file chosen in its dialog
  // (the window's list of recent scripts).
  void OpenScriptFile(const std::string& path);
  // Told the path of each script loaded (or reloaded) whole.
  std::function<void(const std::string& path)> onScriptLoaded;
  void cmdReload2_Click();
  // Loads the chosen file; false (with a message, the table as it was) when
  // it cannot be loaded.
  bool LoadScriptFile();

  // Running (script_run.cpp).
  void RunRow(int row, int column);
  void cmdExecAll_Click();
  void cmdRunContinuous_Click();
  void cmdAbort_Click();

  // Export (script_export.cpp).
  void cmdBrowse_Click();
  void cmdStartRec_Click();

  // Loader state.
  std::string scriptPath;  // the file the open dialog returned last
  bool ScriptChosen = false;
  std::vector<ScriptRowCounts> rowCounts;  // row r at r - 1
  std::vector<std::string> ScriptLines;    // the lines as read
  int NextLineIndex = 0;                   // lines loaded + 1; 0 before the first load
  int LineTotal = 0;
  int TotalReads = 0;

  // Executor state.
  bool RunningAll = false;
  // How the write and the read of the row that ran last went (ok when it had none).
  LinkResult RowWriteResult;
  LinkResult RowReadResult;

 private:
  // Counts a handler of this window on the stack while it lives.
  struct Active {
    explicit Active(ScriptWindow& w) : window(w) { ++window.activeCalls_; }
    ~Active() { --window.activeCalls_; }
    Active(const Active&) = delete;
    Active& operator=(const Active&) = delete;
    ScriptWindow& window;
  };
  // Refuses a load while rows run, with a message; true when refused.
  bool RefuseWhileRunning();
  void OpenChosenScript(const std::string& chosen, bool wasChosen);
  void ApplyLoad(const LoadedScript& script, const std::vector<std::string>& lines);
  // One row, inside the bookkeeping of RunRow.
  void RunRowSteps(int row);
  // What a register row sends: its counts, its address, and the bytes after
  // the address byte of its write and of its read frame (0: no such frame).
  struct RowPlan {
    ScriptRowCounts counts;
    uint8_t address;
    int writeTotal;
    int readTotal;
  };
  // The transfers of a register row and the comparison of what it read; false
  // when the row ended early (a failure, or the window closing).
  bool TransferRow(int row, const RowPlan& plan, double failsBefore);
  // The values a register row's read returned (bytes 1.. of the reply).
  using RowRead = std::vector<uint8_t>;
  // `read` is none when the read failed or could not be made; a failed write
  // of the same row fails the comparison too.
  bool CompareRead(int row, const std::optional<RowRead>& read, double failsBefore,
                   bool writeFailed);
  // One more failed comparison; "Abort On fail" stops the run after this row.
  bool CountFail(int row, double failsBefore);
  // None when the read failed (Data_Rd turns red).
  std::optional<RowRead> Read_I2C(int row, const RowPlan& plan);
  LinkResult Write_I2C(int row, const RowPlan& plan);
  // The register or data bytes of a field: each pair of characters as hex.
  static std::vector<uint8_t> FieldBytes(const std::string& text, int count);
  // Adds one to a counter box; false (after a message) when its text is no number.
  bool Increment(TextBox& box, int row);
  void Pause(int milliseconds);
  void DoEvents(int times = 1);
  // A run-time failure of a row: the description in a message box.
  void RowFailure(int row, const std::string& description);

  AppContext& app_;
  ScriptWindows& owner_;
  bool loaded_ = false;
  bool unloading_ = false;
  int rowDepth_ = 0;
  int activeCalls_ = 0;
};

}  // namespace kps
