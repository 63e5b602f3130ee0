// The Qt side of the Toolkit port: the event pump, message boxes, the clock,
// the end of the program and the system-information report window.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QString>

#include "core/toolkit.h"

class QDialog;

namespace kps::ui {

class DesktopSettings;

class QtToolkit : public Toolkit {
 public:
  QtToolkit();
  ~QtToolkit() override;
  QtToolkit(const QtToolkit&) = delete;
  QtToolkit& operator=(const QtToolkit&) = delete;

  void ProcessEvents() override;
  MessageResult ShowMessage(const std::string& text, MessageButtons buttons) override;
  void Beep() override;
  void Sleep(int milliseconds) override;
  uint32_t Millis() override;
  void Quit() override;
  void ShowReport(const std::string& title, const std::string& text) override;
  PlatformInfo Platform() const override;
  LocalTime Now() override;
  std::string OpenFileDialog(const FileDialogRequest& request) override;
  void PaceViews(bool paced) override;

  // Each file dialog opens in the folder it was last left in, as `settings`
  // (may be null) keep it.
  void setSettings(DesktopSettings* settings) { settings_ = settings; }

  // True once the program asked to end, whether or not an event loop ran to
  // be left (a test drives the windows without one).
  bool quitRequested() const { return quitRequested_; }

  // The report windows opened so far that are still open.
  QList<QDialog*> openReports() const;

 private:
  QElapsedTimer clock_;
  DesktopSettings* settings_ = nullptr;
  bool quitRequested_ = false;
  QList<QPointer<QDialog>> reports_;
};

}  // namespace kps::ui
