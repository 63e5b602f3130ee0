// A whole program context over the recording transport and the scripted
// toolkit, as main() builds it over the real ones.
#pragma once

#include <memory>

#include "board/usb_ids.h"
#include "shell/app_context.h"
#include "support/fake_toolkit.h"
#include "support/recording_transport.h"

namespace kps::test {

struct Harness {
  explicit Harness(bool boardPlugged = true) {
    transport.plugged = boardPlugged;
    UsbMatch match;
    match.vendorId = kDefaultVendorId;
    match.productId = kDefaultProductId;
    app = std::make_unique<AppContext>(toolkit, transport, match);
  }

  FakeToolkit toolkit;
  RecordingTransport transport;
  std::unique_ptr<AppContext> app;

  BoardLink& board() { return app->board; }
  StartupWindow& startup() { return app->startup; }
  const ColorTable& colors() { return app->colors; }
  int Count(const std::string& op) const {
    int n = 0;
    for (const auto& c : transport.calls) n += c.op == op ? 1 : 0;
    return n;
  }
};

}  // namespace kps::test
