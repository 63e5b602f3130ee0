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

// Started, with the scripted toolkit unless another one is given.
struct Program {
  explicit Program(bool plugged = true, Toolkit* toolkitToUse = nullptr)
      : board(sim::SimOptions{.plugged = plugged}) {
    ctx = std::make_unique<AppContext>(
        toolkitToUse ? *toolkitToUse : toolkit, board,
        UsbMatch{.vendorId = kDefaultVendorId, .productId = kDefaultProductId});
    windows = std::make_unique<ui::AppWindows>(*ctx);
    ctx->startup.Show();
  }
  QWidget* startup() { return &windows->startup(); }
  QWidget* console() { return &windows->console(ConsoleVariant::Main); }
  template <typename W>
  W* Find(QWidget* window, const QString& name) {  // as a user's tool finds it: by name
    return window->findChild<W*>(name);
  }

  FakeToolkit toolkit;
  sim::SimulatedBoard board;
  std::unique_ptr<AppContext> ctx;
  std::unique_ptr<ui::AppWindows> windows;  // last, so the windows go before their models
};

// Answers the next message box as a user would, and notes its title.
inline void AnswerNextBox(QMessageBox::StandardButton answer, QString* title) {
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, answer, title] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    *title = box->windowTitle();
    poll->deleteLater();
    QTest::mouseClick(box->button(answer), Qt::LeftButton);
  });
  poll->start(10);
}

}  // namespace kps::test
