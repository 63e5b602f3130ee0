// Choosing, loading and reloading a script.
#include <filesystem>
#include <utility>

#include "core/text.h"
#include "scripting/script_window.h"
#include "shell/app_context.h"

namespace kps {

void ScriptWindow::ReadScriptFile() {
  Active active(*this);
  if (RefuseWhileRunning()) return;
  txtRunning.setText("");
  const bool wasChosen = std::exchange(ScriptChosen, false);
  const std::string chosen = app_.toolkit.OpenFileDialog(
      {"Select Script File to Open", "", "Norvale Script Files |*.txt|All Files|*.*", "*.txt"});
  if (chosen.empty()) return;
  OpenChosenScript(chosen, wasChosen);
}

void ScriptWindow::OpenScriptFile(const std::string& path) {
  Active active(*this);
  if (RefuseWhileRunning()) return;
  txtRunning.setText("");
  OpenChosenScript(path, ScriptChosen);
}

void ScriptWindow::OpenChosenScript(const std::string& chosen, bool wasChosen) {
  ScriptChosen = true;
  const std::string previous = std::exchange(scriptPath, chosen);
  if (!LoadScriptFile()) {
    // The previous script is still the one shown: Reload and Browse go on using it.
    scriptPath = previous;
    ScriptChosen = wasChosen;
  }
  cmdReload2.setVisible(true);
}

void ScriptWindow::cmdReload2_Click() {
  Active active(*this);
  if (RefuseWhileRunning()) return;
  app_.flags.AbortRequested = false;
  if (!ScriptChosen) return;
  cmdExecAll.setVisible(false);
  cmdRunContinuous.setVisible(false);
  cmdAbort.setVisible(false);
  DoEvents();
  const std::string fails = txtRdFails.text();
  const std::string passes = txtRdPass.text();
  txtRdFails.setText("");
  txtRdPass.setText("");
  if (!LoadScriptFile()) {
    // The previous load stays, counters included.
    txtRdFails.setText(fails);
    txtRdPass.setText(passes);
  }
  cmdExecAll.setVisible(true);
  cmdRunContinuous.setVisible(true);
  DoEvents();
}

bool ScriptWindow::LoadScriptFile() {
  // Everything is read and checked before the window changes, so a script
  // that cannot be loaded leaves the previous one whole.
  auto loaded = LoadScript(scriptPath, HexText(app_.board.I2CWriteAddress));
  if (auto* error = std::get_if<std::string>(&loaded)) {
    app_.toolkit.ShowMessage(*error, MessageButtons::Ok);
    return false;
  }
  const ScriptLoad& load = std::get<ScriptLoad>(loaded);
  ApplyLoad(load.script, load.lines);
  if (onScriptLoaded) onScriptLoaded(scriptPath);
  return true;
}

void ScriptWindow::ApplyLoad(const LoadedScript& script, const std::vector<std::string>& lines) {
  const std::string name = std::filesystem::path(scriptPath).filename().string();
  txttotReads.setText("0");
  txtRdPass.setText("0");
  txtRdFails.setText("0");
  form.setCaption("Processing " + scriptPath);
  form.setCaption("Processing " + name);
  txtScriptLine1.setText(TimeText(app_.toolkit.Now()));

  vbalGrid1.SelectRow(0);
  vbalGrid1.ReplaceRows(script.rows);
  rowCounts = script.counts;
  ScriptLines = lines;
  LineTotal = static_cast<int>(script.rows.size());
  NextLineIndex = LineTotal + 1;
  TotalReads = script.totalReads;
  txttotReads.setText(std::to_string(TotalReads));

  frmScriptExec.setVisible(true);
  txtTotLines.setText(std::to_string(LineTotal));
  form.setCaption("[ " + name + " ]    Script IC Send / Receive");
}

}  // namespace kps
