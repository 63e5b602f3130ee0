// The toolkit of kps-eval-cli: the same services the GUI gives the program's
// logic, on a terminal. Messages go to the error stream as text; a question
// (OK or Cancel) is asked on the terminal when there is one and is otherwise
// answered as the command line said; file dialogs take the paths the command
// line named. The command being run acts at the program's event points
// through `onEvents`, as a user's clicks do in the GUI. On a terminal it also
// keeps one progress line for the running command.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "core/toolkit.h"

namespace kps::cli {

// How far the running command is: `done` of `total` (0: no total known)
// `unit`s, and how many failed.
struct Progress {
  long long done = 0;
  long long total = 0;
  std::string unit;
  long long failed = 0;
};

class ConsoleToolkit : public Toolkit {
 public:
  // `interactive`: `in` is a terminal the user answers questions on.
  // `interrupt`: set (from a signal handler) when the user asks to stop.
  // When `err` is the standard error and that is a terminal, the progress
  // line is shown there (see UseTerminal).
  ConsoleToolkit(std::ostream& err, std::istream& in, bool interactive,
                 const std::atomic<bool>* interrupt = nullptr);
  ~ConsoleToolkit() override;

  void ProcessEvents() override;
  MessageResult ShowMessage(const std::string& text, MessageButtons buttons) override;
  void Beep() override {}
  void Sleep(int milliseconds) override;
  uint32_t Millis() override;
  void Quit() override { quitRequested_ = true; }
  void ShowReport(const std::string& title, const std::string& text) override;
  PlatformInfo Platform() const override;
  LocalTime Now() override;
  // The next path queued by AnswerFileDialog; empty (cancelled) when none is.
  std::string OpenFileDialog(const FileDialogRequest& request) override;

  // The path the next file dialog returns.
  void AnswerFileDialog(std::string path) { fileAnswers_.push_back(std::move(path)); }
  // How a question is answered with no terminal to ask on, and the option
  // that chose it, which the message names ("--on-pause abort").
  void SetUnattendedAnswer(MessageResult answer, std::string option);

  // Runs at every event point, never inside itself.
  std::function<void()> onEvents;
  // Runs at the first event point after the interrupt flag is set, once.
  std::function<void()> onInterrupt;

  // The command's progress, shown on the terminal as one line rewritten in
  // place at the event points (at most every 100 ms, and at once after
  // something else was written there); the time is counted from the first
  // call. Nothing is shown when the error stream is no terminal.
  void ShowProgress(const Progress& progress);
  // The line in its final state and a line end; the next ShowProgress starts
  // a new one.
  void EndProgress();
  // `err` is a terminal: show the progress line on it. `sharedOut`, when
  // given, writes to the same terminal: the progress line leaves before each
  // of its writes, so that they start at the left of a line of their own.
  void UseTerminal(std::ostream* sharedOut);

  // Where messages go.
  std::ostream& err() { return err_; }
  // Messages shown so far.
  int messages() const { return messages_; }
  bool interrupted() const { return interruptHandled_; }
  bool quitRequested() const { return quitRequested_; }

 private:
  std::ostream& err_;
  std::istream& in_;
  bool interactive_;
  const std::atomic<bool>* interrupt_;
  bool interruptHandled_ = false;
  bool inEvents_ = false;
  bool quitRequested_ = false;
  int messages_ = 0;
  MessageResult unattended_ = MessageResult::Cancel;
  std::string unattendedOption_;
  std::deque<std::string> fileAnswers_;

  // Takes the progress line off the terminal until it is drawn again.
  void LiftProgress();
  void DrawProgress(bool now);
  class LiftOnWrite;
  bool terminal_ = false;
  std::ostream* sharedOut_ = nullptr;
  std::unique_ptr<LiftOnWrite> lifter_;
  bool progressActive_ = false;  // between the first ShowProgress and EndProgress
  bool progressShown_ = false;   // the line is on the terminal now
  Progress progress_;
  uint32_t progressStart_ = 0;
  uint32_t progressDrawn_ = 0;
};

// The progress line's text: "120 of 1000 samples, 0:07 elapsed, 2 failed".
std::string ProgressText(const Progress& progress, uint32_t elapsedMs);

// The program's name as messages start with it.
inline constexpr const char* kCliName = "kps-eval-cli";

}  // namespace kps::cli
