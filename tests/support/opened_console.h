// A started program with a console open, for the console's tests.
#pragma once

#include <utility>
#include <vector>

#include "support/harness.h"

namespace kps::test {

using RegWrites = std::vector<std::pair<int, int>>;

// A started program that picked address 0x88 with the board attached (the
// session is held), with the chosen console open and the recorded calls cleared.
struct Opened : Harness {
  explicit Opened(ConsoleVariant v = ConsoleVariant::Main) : variant(v) {
    startup().Show();
    startup().cboTypeSelect.setListIndex(1);
    if (v == ConsoleVariant::Adaptive) app->OpenConsole(v, 0x88);
    framesAtOpen = transport.Frames().size();
    transport.calls.clear();
  }
  ConsoleWindow& c() { return app->Console(variant); }
  sim::SimulatedBoard& sim() { return transport.board; }
  // The register writes sent on the I2C pipe, as {register, value}.
  RegWrites Writes() const {
    RegWrites out;
    for (const auto& f : transport.Frames()) {
      if (f.op == "out" && f.pipe == 2 && f.bytes.size() == 4)
        out.emplace_back(f.bytes[2], f.bytes[3]);
    }
    return out;
  }
  // The frames sent on the I2C pipe, whole.
  std::vector<std::vector<uint8_t>> Sent() const {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& f : transport.Frames())
      if (f.op == "out" && f.pipe == 2) out.push_back(f.bytes);
    return out;
  }
  ConsoleVariant variant;
  std::size_t framesAtOpen = 0;
};

}  // namespace kps::test
