// collect --stream: the console's real-time collection with each of its
// readings written as a record as soon as it is taken, for as long as the
// user wants; the console's history keeps only the newest, so the stream
// costs the same at its millionth sample as at its first.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <ostream>

#include "cli/cli_session.h"
#include "cli/records.h"
#include "core/text.h"

namespace kps::cli {

int Session::Stream() {
  ConsoleWindow& console = app_.console;
  ConsoleShared& shared = app_.shared;
  BoardLink& board = app_.board;
  RunFlags& flags = app_.flags;
  const std::string& path = request_.streamPath;
  const bool toStandardOutput = path == kStandardOutput;
  // Where the command's own lines go: not between the records.
  std::ostream& info = toStandardOutput ? toolkit_.err() : out_;
  const std::string where = toStandardOutput ? "the standard output" : path;

  // Found out before the collection, not after it.
  const bool recording = !request_.recordPath.empty();
  if (recording && !Writable(request_.recordPath, "measurement file")) return kExitUsage;
  std::ofstream file;
  if (!toStandardOutput) {
    if (!Writable(path, "stream file")) return kExitUsage;
    file.open(path, std::ios::binary | std::ios::trunc);
    if (!file) {
      toolkit_.ShowMessage(
          "Cannot write the stream file \"" + path + "\": " + std::strerror(errno) + ".",
          MessageButtons::Ok);
      return kExitUsage;
    }
  }
  std::ostream& stream = toStandardOutput ? out_ : file;
  if (const int status = ReadLuxRange(); status != kExitOk) return status;
  if (interrupted_) return kExitFailed;

  if (request_.intervalMs) console.graph.txtInterval.setText(std::to_string(*request_.intervalMs));
  if (recording) {
    console.rec.txtFilePath.setText(request_.recordPath);
    console.rec.chkAppend.setChecked(request_.append);
  }

  RecordWriter writer(stream, request_.format);
  long long written = 0;  // records so far: the next one's number
  int64_t samplesSeen = 0;
  int32_t failuresSeen = 0;
  bool writeFailed = false;
  // Ctrl-C is held while a record is written: the tool catches it without
  // restarting system calls, so it would fail a write waiting on a full pipe.
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  const auto write = [&](const SampleValues& values) {
    sigset_t before;
    sigprocmask(SIG_BLOCK, &interrupt, &before);
    writer.Write(SampleRecord(values), SampleTextLine(values));
    sigprocmask(SIG_SETMASK, &before, nullptr);
    ++written;
    writeFailed = writeFailed || !stream;
  };
  // What the console took since the last event point: the samples it stored
  // (the newest with the lux it shows for it), then the readings that failed.
  const auto takeNew = [&] {
    const auto now = std::chrono::system_clock::now();
    if (shared.SamplesTaken < samplesSeen) samplesSeen = 0;  // a collection restarted
    if (shared.FailedReadings < failuresSeen) failuresSeen = 0;
    for (; samplesSeen < shared.SamplesTaken; ++samplesSeen) {
      const int64_t back = shared.SamplesTaken - 1 - samplesSeen;  // 0: the newest
      if (back >= shared.SampleIndex) continue;                    // no longer held
      const ConsoleShared::Sample sample = shared.NewestSample(static_cast<int>(back));
      SampleValues values;
      values.time = now;
      values.sample = written;
      values.prox = static_cast<int>(sample.prox);
      values.alsIr = static_cast<int>(sample.als);
      if (back == 0 && !irMode_) values.lux = LuxNumber(console.txtReading.text());
      write(values);
    }
    for (; failuresSeen < shared.FailedReadings; ++failuresSeen) {
      SampleValues failed;
      failed.time = now;
      failed.sample = written;
      failed.ok = false;
      write(failed);
    }
  };

  // Each pass of the collection yields one record, a sample or a failed
  // reading; "Stop" clicked at one of its event points lets it finish. So
  // the stream stops one record early, unless the record of the pass under
  // way is the failure just written.
  const long long wanted = request_.samples;  // 0: no limit
  const uint32_t start = app_.toolkit.Millis();
  const long long durationMs = request_.durationSeconds.value_or(0) * 1000LL;
  toolkit_.onEvents = [&] {
    const int32_t failuresBefore = failuresSeen;
    takeNew();
    toolkit_.ShowProgress({written, wanted, "samples", failuresSeen});
    if (!flags.CollectRunning || board.UsbBusy) return;
    const long long coming = written + (failuresSeen != failuresBefore ? 0 : 1);
    const bool enough = wanted > 0 && coming >= wanted;
    const bool late = durationMs > 0 && app_.toolkit.Millis() - start >= durationMs;
    if (enough || late || interrupted_ || writeFailed) console.graph.cmdStopData.Click();
  };
  console.graph.cmdCollectData.Click();
  toolkit_.onEvents = nullptr;
  takeNew();
  toolkit_.ShowProgress({written, wanted, "samples", failuresSeen});
  toolkit_.EndProgress();

  if (writeFailed) {
    toolkit_.ShowMessage("Cannot write the stream to " + where + ": it ended after " +
                             std::to_string(written) + " samples, the last one perhaps cut short.",
                         MessageButtons::Ok);
  } else {
    info << written << " samples streamed to " << where << '\n';
  }
  if (failuresSeen > 0) {
    toolkit_.ShowMessage(std::to_string(failuresSeen) + " of the " + std::to_string(written) +
                             " readings failed: written with ok false and no counts.",
                         MessageButtons::Ok);
  }

  bool recorded = true;
  if (recording) {
    const int messagesBefore = toolkit_.messages();
    console.rec.cmdStartRec[0].Click();
    recorded = toolkit_.messages() == messagesBefore;
    if (recorded) {
      info << TrimBlanks(console.graph.Label18.caption()) << " to " << request_.recordPath << '\n';
    }
  }
  info.flush();

  if (board.DetachCount > 0 || !board.DeviceAttached) return kExitNoBoard;
  if (writeFailed) return kExitUsage;
  if (interrupted_) return kExitFailed;
  if (!recorded) return kExitUsage;
  return failuresSeen > 0 ? kExitFailed : kExitOk;
}

}  // namespace kps::cli
