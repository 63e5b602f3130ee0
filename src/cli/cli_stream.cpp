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
  BoardLink& board = app_.board;
  RunFlags& flags = app_.flags;
  const std::string& path = request_.streamPath;
  const bool toStandardOutput = path == kStandardOutput;
  // Where the command's own lines go: not between the records.
  std::ostream& info = notes_;
  const std::string where = toStandardOutput ? "the standard output" : path;

  // Found out before the collection, not after it.
  TemporaryFile copy;
  if (!PrepareRecording(copy)) return kExitUsage;
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

  RecordWriter writer(stream, request_.format);
  SampleFeed feed;  // feed.written: records so far, the next one's number
  ReadingStats stats;
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
    if (values.ok) stats.Add(values.prox, values.alsIr, StatLux(values.alsIr));
    writeFailed = writeFailed || !stream;
  };
  const long long& written = feed.written;
  const int32_t& failuresSeen = feed.failuresSeen;
  const auto takeNew = [&] { FeedSamples(feed, write); };
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
  // The summary ends the stream, in its file.
  if (request_.stats && !writeFailed) {
    WriteStats(writer, stats);
    writeFailed = !stream;
  }

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

  const bool recorded = WriteRecording(copy);
  info.flush();

  if (board.DetachCount > 0 || !board.DeviceAttached) return kExitNoBoard;
  if (writeFailed) return kExitUsage;
  if (interrupted_) return kExitFailed;
  if (!recorded) return kExitUsage;
  return failuresSeen > 0 ? kExitFailed : kExitOk;
}

}  // namespace kps::cli
