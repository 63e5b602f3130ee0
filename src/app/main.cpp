// kps-eval: the evaluation program's GUI. Builds the application context over
// the real board (libusb) or the simulated one, puts the windows over it and
// starts at the startup window; on the simulated board, with the board
// simulator window beside it.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/board_choice.h"
#include "shell/app_context.h"
#include "shell/app_identity.h"
#include "shell/command_line.h"
#include "sim/simulated_board.h"
#include "ui/app_windows.h"
#include "ui/desktop_settings.h"
#include "ui/qt_toolkit.h"
#include "ui/simulator_window.h"
#include "ui/startup_window_widget.h"
#include "ui/transport_watch.h"
#include "usb/libusb_transport.h"

int main(int argc, char* argv[]) {
  // The command line is answered before Qt starts, so that --help and
  // --version work with no display at all.
  const std::string program = "kps-eval";
  std::vector<std::string> args(argv + 1, argv + argc);
  const kps::CommandLineResult parsed = kps::ParseCommandLine(args);
  if (!parsed.options) {
    std::fprintf(stderr, "%s: %s\n\n%s", program.c_str(), parsed.error.c_str(),
                 kps::UsageText(program).c_str());
    return 2;
  }
  const kps::CommandLine& options = *parsed.options;
  if (options.help) {
    std::fputs(kps::UsageText(program).c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s %s\n", program.c_str(), kps::kVersionText);  // as kps-eval-cli says it
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromStdString(program));
  QApplication::setApplicationVersion(QString::fromUtf8(kps::kVersionText));
  // Every window's icon, at the sizes built into the program; the desktop
  // file's name ties the windows to its entry (and icon) on the desktop.
  QIcon icon;
  for (const QFileInfo& file : QDir(QStringLiteral(":/icons")).entryInfoList(QDir::Files))
    icon.addFile(file.filePath());
  QApplication::setWindowIcon(icon);
  QApplication::setDesktopFileName(QStringLiteral(KPS_APP_ID));
  // The program ends when the window models say so (closing the startup window
  // or a console), not when Qt finds no window on screen: between the startup
  // window hiding and a console showing there is none.
  QApplication::setQuitOnLastWindowClosed(false);

  // Declared in this order so that they go in the reverse one: the windows
  // before the context whose models they show, the context before the transport
  // it holds a session on.
  // The settings outlive all that keeps its state in them.
  kps::ui::DesktopSettings settings;
  kps::ui::QtToolkit toolkit;
  toolkit.setSettings(&settings);
  const std::unique_ptr<kps::Transport> transport = kps::MakeTransport(options);
  kps::AppContext ctx(toolkit, *transport, options.match);
  ctx.usbLibraryVersion = kps::usb::LibusbTransport::LibraryVersion();
  kps::ui::AppWindows windows(ctx, &settings);

  kps::ui::TransportWatch watch(*transport, ctx.board);

  // Declared after the transport, so that it goes before the board it works
  // on. On screen from the start, so that the board can be pulled out while
  // the startup window still waits for it.
  std::unique_ptr<kps::ui::SimulatorWindow> simulator;
  if (auto* board = dynamic_cast<kps::sim::SimulatedBoard*>(transport.get())) {
    simulator = std::make_unique<kps::ui::SimulatorWindow>(*board);
    simulator->placeBesideOnShow(&windows.startup());
    simulator->show();
  }

  // The startup window's load waits for the board while processing events, so
  // it runs inside the event loop.
  QTimer::singleShot(0, &app, [&ctx] { ctx.startup.Show(); });

  return QApplication::exec();
}
