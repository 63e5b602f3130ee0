// The board's GPIO port state (enables and data of ports B and C) and the
// exchange that sends it and reads the ports back. The state is a plain module:
// the window that once held it was never shown.
#pragma once

#include <array>
#include <cstdint>

#include "board/board_link.h"

namespace kps {

class GpioPort {
 public:
  explicit GpioPort(BoardLink& link) : link_(link) {}

  // Index 0 port B enables, 1 port C enables, 2 port B data, 3 port C data.
  std::array<uint8_t, 4> state{};
  uint16_t GpioFrameLength = 0;
  // Port B's pins as the last good exchange read them back (reply byte 0);
  // bit 7 is PB7, the sensor's interrupt pin. A failed exchange leaves it as
  // it was: the pins were not seen.
  uint8_t portBPins = 0;
  // The two LED data boxes (0 = red LED line PC0, 1 = green LED line PC1).
  std::array<bool, 2> ChKLedData{};

  // The LED data box i changed to `checked`: sets or clears bit i of port C data.
  void ChKLedData_Click(int i, bool checked);
  // Sends the state on pipe 1 and reads the ports back (25 bytes on pipe 129);
  // the reply stays in the link's TransferBuffer. It is good when it holds the
  // four port bytes.
  LinkResult cmdGPIO_Write_Click();

 private:
  BoardLink& link_;
};

}  // namespace kps
