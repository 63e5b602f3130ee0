// The services of the windowing toolkit that the program's logic calls. The Qt
// layer implements them for the GUI; tests use a scripted fake.
#pragma once

#include <cstdint>
#include <string>

namespace kps {

enum class MessageButtons { Ok, OkCancel };

// What the system-information report says about the machine the program runs on.
struct PlatformInfo {
  std::string toolkit;          // "Qt 6.4.2"
  std::string operatingSystem;  // "Debian GNU/Linux 12 (bookworm)"
  std::string kernel;           // "linux 6.1.0-18-amd64 x86_64"
};
enum class MessageResult { Ok, Cancel };

// A moment of the local wall clock, for the dates and times files carry.
struct LocalTime {
  int year = 2000, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
};

// What an open-file dialog offers. `filter` is written as pairs of a
// description and its patterns: "All Files (*.*)|*.*|Data Files(*.txt)|*.txt".
struct FileDialogRequest {
  std::string title;
  std::string fileName;  // proposed; empty for none
  std::string filter;
  std::string defaultExtension;  // "*.txt"
  bool save = false;             // a save dialog: replacing a file is confirmed
};

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // Handles pending user-interface events; any handler may run inside.
  virtual void ProcessEvents() = 0;
  // A modal message box titled with the application title.
  virtual MessageResult ShowMessage(const std::string& text, MessageButtons buttons) = 0;
  virtual void Beep() = 0;
  virtual void Sleep(int milliseconds) = 0;
  // A millisecond clock.
  virtual uint32_t Millis() = 0;
  // Ends the program once the current handler returns.
  virtual void Quit() = 0;
  // A window of selectable text that the user can copy (the system information).
  virtual void ShowReport(const std::string& title, const std::string& text) = 0;
  // The toolkit, operating system and kernel, for the system information.
  virtual PlatformInfo Platform() const = 0;
  // The local date and time.
  virtual LocalTime Now() = 0;
  // A modal file dialog (to open, or to save with `save`); the chosen path, or
  // empty when the user cancelled.
  virtual std::string OpenFileDialog(const FileDialogRequest& request) = 0;

  // A long handler that changes the models far faster than an eye can follow
  // (the real-time collection) runs its loop inside PacedViews. Meanwhile the
  // toolkit may bring what is on screen up to date at the display's pace
  // rather than at every change; the models stay the truth throughout, and
  // a message or a dialog shows everything up to date. Brackets nest; each
  // closing one brings the screen up to date at once.
  virtual void PaceViews(bool paced) { (void)paced; }
};

class PacedViews {
 public:
  explicit PacedViews(Toolkit& toolkit) : toolkit_(toolkit) { toolkit_.PaceViews(true); }
  ~PacedViews() { toolkit_.PaceViews(false); }
  PacedViews(const PacedViews&) = delete;
  PacedViews& operator=(const PacedViews&) = delete;

 private:
  Toolkit& toolkit_;
};

}  // namespace kps
