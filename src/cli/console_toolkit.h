// The toolkit of kps-eval-cli: the same services the GUI gives the program's
// logic, on a terminal. Messages go to the error stream as text; a question
// (OK or Cancel) is asked on the terminal when there is one and is otherwise
// answered as the command line said; file dialogs take the paths the command
// line named. The command being run acts at the program's event points
// through `onEvents`, as a user's clicks do in the GUI.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <iosfwd>
#include <string>

#include "core/toolkit.h"

namespace kps::cli {

class ConsoleToolkit : public Toolkit {
 public:
  // `interactive`: `in` is a terminal the user answers questions on.
  // `interrupt`: set (from a signal handler) when the user asks to stop.
  ConsoleToolkit(std::ostream& err, std::istream& in, bool interactive,
                 const std::atomic<bool>* interrupt = nullptr);

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
};

// The program's name as messages start with it.
inline constexpr const char* kCliName = "kps-eval-cli";

}  // namespace kps::cli
