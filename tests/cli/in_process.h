// kps-eval-cli run in this process, over the recording transport (and the
// simulated board behind it), with its terminal toolkit writing to strings.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/console_toolkit.h"
#include "support/recording_transport.h"

namespace kps::test {

// One run of the tool over the recording transport.
struct InProcess {
  explicit InProcess(const std::vector<std::string>& args) {
    std::vector<std::string> all{"--simulated-board"};
    all.insert(all.end(), args.begin(), args.end());
    parsed = cli::ParseArguments(all);
  }
  int Run() {
    EXPECT_TRUE(parsed.request) << parsed.error;
    return cli::Run(*parsed.request, transport, toolkit, out);
  }
  cli::ParseResult parsed;
  RecordingTransport transport;
  std::ostringstream out, err;
  std::istringstream in;
  std::atomic<bool> interrupt{false};
  cli::ConsoleToolkit toolkit{err, in, false, &interrupt};
  // After `frames` I2C frames, `then` runs inside the next transfer.
  void After(int frames, std::function<void()> then) {
    transport.duringTransfer = [this, frames, then]() mutable {
      int sent = 0;
      for (const TransportCall& call : transport.calls) {
        sent += call.op == "out" && call.pipe == kI2cOutPipe;
      }
      if (sent >= frames && then) std::exchange(then, nullptr)();
    };
  }
};

}  // namespace kps::test
