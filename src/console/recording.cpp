// "Save Measurements to File": the samples of the last (or running)
// collection written to the measurement file in one go.
#include <filesystem>
#include <system_error>
#include <vector>

#include "acquisition/measurement_file.h"
#include "console/console_window.h"
#include "core/text.h"
#include "shell/app_context.h"

namespace kps {

namespace {

constexpr int kMinimumSampleIndex = 20;

}  // namespace

void ConsoleWindow::SetDefaultRecordingPath() {
  // Beside the program's own executable is no place to write on Linux: the
  // folder the program was started from takes its place.
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  rec.txtFilePath.setText(error ? std::string("Data.csv") : (folder / "Data.csv").string());
}

void ConsoleWindow::StartRecording(int) {
  ConsoleShared& s = app_.shared;
  if (s.SampleIndex < kMinimumSampleIndex) {
    app_.toolkit.ShowMessage("Save More Measurements", MessageButtons::Ok);
    return;
  }
  app_.flags.CollectRunning = false;
  const LocalTime now = app_.toolkit.Now();
  const MeasurementHeader header{regs.txtRegHex[0].text(), regs.txtRegHex[1].text(),
                                 graph.txtInterval.text(), now};
  // The samples held, oldest first.
  std::vector<double> prox, als;
  prox.reserve(static_cast<std::size_t>(s.SampleIndex));
  als.reserve(static_cast<std::size_t>(s.SampleIndex));
  for (int k = 0; k < s.SampleIndex; ++k) {
    prox.push_back(s.OldestSample(k).prox);
    als.push_back(s.OldestSample(k).als);
  }
  const std::string block = MeasurementBlock(header, prox, als, s.SampleIndex);
  const std::string error =
      WriteMeasurementFile(rec.txtFilePath.text(), block, rec.chkAppend.checked());
  if (!error.empty()) {
    app_.toolkit.ShowMessage(error, MessageButtons::Ok);
    return;
  }
  std::string done = SignedBlank(RecordedSampleCount(prox.size(), s.SampleIndex)) +
                     " Measurement set(s) written: " + DateText(now) + " " + TimeText(now);
  // Failed readings are no samples, so the file does not show them: say so here.
  if (s.FailedReadings == 1) done += " (1 reading failed)";
  if (s.FailedReadings > 1) done += " (" + std::to_string(s.FailedReadings) + " readings failed)";
  graph.Label18.setCaption(done);
  graph.cmdCollectData.setEnabled(true);
}

void ConsoleWindow::mnuSaveMeas_Click() {
  StartRecording(0);
}

void ConsoleWindow::cmdBrowse_Click() {
  FileDialogRequest request;
  request.title = "Select File For Recording";
  request.filter = "All Files (*.*)|*.*|KPS700x Data Files(*.txt)|*.txt";
  request.defaultExtension = "*.txt";
  const std::string path = app_.toolkit.OpenFileDialog(request);
  if (!path.empty()) rec.txtFilePath.setText(path);
}

}  // namespace kps
