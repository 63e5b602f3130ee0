#include "board/gpio.h"

namespace kps {

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

void GpioPort::cmdGPIO_Write_Click() {
  link_.FrameBegin();
  link_.DoEvents();
  GpioFrameLength = 4;

  link_.TransferPipe = kGpioOutPipe;
  link_.TransferLength = 4;
  link_.RedimBuffer(link_.TransferLength);
  link_.TransferBuffer[0] = state[2];
  link_.TransferBuffer[1] = state[3];
  link_.TransferBuffer[2] = state[0];
  link_.TransferBuffer[3] = state[1];
  link_.USB_WriteTransfer();

  link_.TransferPipe = kGpioInPipe;
  link_.TransferLength = 25;
  link_.RedimBuffer(link_.TransferLength);
  link_.USB_ReadTransfer();
  portBPins = link_.TransferBuffer.empty() ? 0 : link_.TransferBuffer[0];

  link_.FrameEnd();
  link_.DoEvents();
}

}  // namespace kps
