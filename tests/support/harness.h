// A whole program context over the recording transport (and the simulated
// board behind it) and the scripted toolkit, as main() builds it over the real ones.
#pragma once

#include <memory>

#include "board/usb_ids.h"
#include "shell/app_context.h"
#include "support/fake_toolkit.h"
#include "support/recording_transport.h"

namespace kps::test {

struct Harness {
  explicit Harness(bool boardPlugged = true) : transport(boardPlugged) {
    app = std::make_unique<AppContext>(
        toolkit, transport, UsbMatch{.vendorId = kDefaultVendorId, .productId = kDefaultProductId});
  }

  FakeToolkit toolkit;
  RecordingTransport transport;
  std::unique_ptr<AppContext> app;

  BoardLink& board() { return app->board; }
  StartupWindow& startup() { return app->startup; }
  int Count(const std::string& op) const { return transport.Count(op); }
};

}  // namespace kps::test
