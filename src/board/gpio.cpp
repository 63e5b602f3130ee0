#include "board/gpio.h"

#include <array>

namespace kps {

namespace {

constexpr uint32_t kGpioReplyLength = 25;  // the board sends the four port bytes and more

}  // namespace

void GpioPort::ChKLedData_Click(int i, bool checked) {
  if (i < 0 || i > 1) return;
  ChKLedData[static_cast<std::size_t>(i)] = checked;
  const auto bit = static_cast<uint8_t>(1u << i);
  if (checked) {
    state[3] |= bit;
  } else {
    state[3] &= static_cast<uint8_t>(~bit);
  }
}

LinkResult GpioPort::cmdGPIO_Write_Click() {
  link_.FrameBegin();
  link_.DoEvents();
  GpioFrameLength = 4;

  const std::array<uint8_t, 4> frame{state[2], state[3], state[0], state[1]};
  const LinkResult result =
      link_.Exchange(kGpioOutPipe, frame, kGpioReplyLength, ReplyRule{std::nullopt, 4});
  if (result.ok()) portBPins = link_.TransferBuffer[0];

  link_.FrameEnd();
  link_.DoEvents();
  return result;
}

}  // namespace kps
