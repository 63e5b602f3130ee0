// Everything the program keeps for one run: the board link, the GPIO state,
// the colour constants, the coordination flags and the window models. main()
// builds one; every test builds its own.
#pragma once

#include <cstdint>
#include <string>

#include "board/board_link.h"
#include "board/gpio.h"
#include "board/transport.h"
#include "console/console_window.h"
#include "core/palette.h"
#include "core/toolkit.h"
#include "scripting/script_windows.h"
#include "shell/about_box.h"
#include "shell/startup_window.h"

namespace kps {

class AppContext {
 public:
  AppContext(Toolkit& toolkit, Transport& transport, const UsbMatch& match);
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  Toolkit& toolkit;
  ColorTable colors;
  RunFlags flags;
  BoardLink board;
  GpioPort gpio;
  ConsoleShared shared;  // register caches and values both consoles share

  StartupWindow startup;
  AboutBox about;
  ConsoleWindow console;
  ConsoleWindow adaptive;
  ScriptWindows scripts;

  // The USB library the program was built with ("libusb 1.0.26"), for the
  // system information even while the simulated board stands in for it.
  std::string usbLibraryVersion;

  ConsoleWindow& Console(ConsoleVariant variant) {
    return variant == ConsoleVariant::Main ? console : adaptive;
  }
  // Puts the address into the console's address box and the link, then shows the console.
  void OpenConsole(ConsoleVariant variant, uint8_t writeAddress);
  // Ends the program (once).
  void EndProgram();
  bool ended() const { return ended_; }

 private:
  bool ended_ = false;
};

}  // namespace kps
