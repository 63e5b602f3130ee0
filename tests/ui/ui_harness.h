// The whole program as main() builds it, over the simulated board, with the
// windows on top; the toolkit is either the scripted fake (messages are read
// back) or the real Qt one (message boxes must be answered on screen).
#pragma once

#include <QApplication>
#include <QWidget>

#include <memory>

#include "board/usb_ids.h"
#include "shell/app_context.h"
#include "sim/simulated_board.h"
#include "support/fake_toolkit.h"
#include "ui/app_windows.h"
#include "ui/console_widget.h"
#include "ui/qt_toolkit.h"
#include "ui/startup_window_widget.h"

namespace kps::uitest {

inline UsbMatch DefaultMatch() {
  UsbMatch match;
  match.vendorId = kDefaultVendorId;
  match.productId = kDefaultProductId;
  return match;
}

template <typename ToolkitType>
struct Program {
  explicit Program(bool plugged = true) : board(Options(plugged)) {
    ctx = std::make_unique<AppContext>(toolkit, board, DefaultMatch());
    windows = std::make_unique<ui::AppWindows>(*ctx);
  }
  ~Program() {
    windows.reset();  // the windows go before the models they show
    ctx.reset();
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  static sim::SimOptions Options(bool plugged) {
    sim::SimOptions options;
    options.chipAddress = 0x88;
    options.plugged = plugged;
    return options;
  }

  // A control of a window, found as a user's tool would find it: by its name.
  template <typename W>
  W* Find(QWidget* window, const char* name) {
    return window->findChild<W*>(QString::fromLatin1(name));
  }
  QWidget* startupWindow() { return &windows->startup(); }
  QWidget* consoleWindow(ConsoleVariant variant = ConsoleVariant::Main) {
    return &windows->console(variant);
  }

  ToolkitType toolkit;
  sim::SimulatedBoard board;
  std::unique_ptr<AppContext> ctx;
  std::unique_ptr<ui::AppWindows> windows;
};

using FakeProgram = Program<test::FakeToolkit>;
using QtProgram = Program<ui::QtToolkit>;

}  // namespace kps::uitest
