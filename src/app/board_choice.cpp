#include "app/board_choice.h"

#include "sim/simulated_board.h"
#include "usb/libusb_transport.h"

namespace kps {

std::unique_ptr<Transport> MakeTransport(const CommandLine& options) {
  if (options.simulatedBoard) {
    sim::SimOptions sim;
    if (options.simAddress) sim.chipAddress = *options.simAddress;
    if (options.simSerial) sim.serial = *options.simSerial;
    sim.plugged = options.simPlugged;
    sim.openRefusal = options.simOpenRefusal;
    sim.scene = options.simScene;
    return std::make_unique<sim::SimulatedBoard>(sim);
  }
  return std::make_unique<usb::LibusbTransport>();
}

}  // namespace kps
