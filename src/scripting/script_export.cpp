// "Save Table Data to CSV file": the table written as comma-separated text.
#include "core/text.h"
#include "core/text_file.h"
#include "scripting/script_window.h"
#include "scripting/table_export.h"
#include "shell/app_context.h"

namespace kps {

void ScriptWindow::cmdBrowse_Click() {
  Active active(*this);
  const std::string proposal = ScriptChosen ? ExportProposal(scriptPath) : std::string();
  const std::string chosen = app_.toolkit.OpenFileDialog(
      {"Select File For Update", proposal, "Comma Delimited (*.CSV)|*.CSV |", "*.csv"});
  if (!chosen.empty()) txtFilePath.setText(chosen);
}

void ScriptWindow::cmdStartRec_Click() {
  Active active(*this);
  const std::string error = SaveTextFile(txtFilePath.text(), ScriptTableCsv(vbalGrid1),
                                         chkAppend.checked(), "table file");
  if (!error.empty()) {
    app_.toolkit.ShowMessage(error, MessageButtons::Ok);
    return;
  }
  const LocalTime now = app_.toolkit.Now();
  Label18.setCaption(SignedBlank(NextLineIndex) + " Script written: " + DateText(now) + " " +
                     TimeText(now));
}

}  // namespace kps
