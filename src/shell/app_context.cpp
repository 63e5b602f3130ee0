#include "shell/app_context.h"

#include "core/text.h"

namespace kps {

AppContext::AppContext(Toolkit& tk, Transport& transport, const UsbMatch& match)
    : toolkit(tk),
      board(tk, transport, colors, flags, match),
      gpio(board),
      startup(*this),
      about(*this),
      console(*this, ConsoleVariant::Main),
      adaptive(*this, ConsoleVariant::Adaptive),
      scripts(*this) {
  board.SetStartupLamps(&startup.Shp_USB_Init, &startup.lamps.Shp_USB_Info);
}

void AppContext::OpenConsole(ConsoleVariant variant, uint8_t writeAddress) {
  ConsoleWindow& window = Console(variant);
  window.txtI2CADR.setText(HexByte(writeAddress));
  board.SetI2CAddress(writeAddress);
  window.Show();
}

void AppContext::EndProgram() {
  if (ended_) return;
  ended_ = true;
  // A script run on the stack below ends at its next event point instead of
  // going on against the closed board.
  scripts.UnloadAll();
  toolkit.Quit();
}

}  // namespace kps
