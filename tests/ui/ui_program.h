// The program as main() builds it, over the simulated board, for the Qt tests.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "board/usb_ids.h"
#include "shell/app_context.h"
#include "sim/simulated_board.h"
#include "support/fake_toolkit.h"
#include "ui/app_windows.h"
#include "ui/console_widget.h"
#include "ui/startup_window_widget.h"

namespace kps::test {

// A control as a user's tool finds it: by its name in its window.
template <typename W>
W* Find(QWidget* window, const QString& name) {
  W* w = window->findChild<W*>(name);
  if (w == nullptr) qFatal("no widget %s", qPrintable(name));
  return w;
}

// Option buttons and check boxes take clicks on their mark and caption only.
inline void ClickMark(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

// Started, with the scripted toolkit unless another one is given.
struct Program {
  explicit Program(bool plugged = true, Toolkit* toolkitToUse = nullptr,
                   ui::DesktopSettings* settings = nullptr)
      : board(sim::SimOptions{.plugged = plugged}) {
    ctx = std::make_unique<AppContext>(
        toolkitToUse ? *toolkitToUse : toolkit, board,
        UsbMatch{.vendorId = kDefaultVendorId, .productId = kDefaultProductId});
    windows = std::make_unique<ui::AppWindows>(*ctx, settings);
    ctx->startup.Show();
  }
  QWidget* startup() { return &windows->startup(); }
  QWidget* console() { return &windows->console(ConsoleVariant::Main); }

  FakeToolkit toolkit;
  sim::SimulatedBoard board;
  std::unique_ptr<AppContext> ctx;
  std::unique_ptr<ui::AppWindows> windows;  // last, so the windows go before their models
};

// Answers every message box that opens, as a user would; counts them and notes the last title.
struct BoxAnswerer {
  explicit BoxAnswerer(QMessageBox::StandardButton button) : answer(button) {
    QObject::connect(&poll, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        ++boxes;
        title = box->windowTitle();
        box->button(answer)->click();
      }
    });
    poll.start(10);
  }
  QMessageBox::StandardButton answer;
  int boxes = 0;
  QString title;
  QTimer poll;
};

}  // namespace kps::test
