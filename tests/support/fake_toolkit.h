// A scripted toolkit for tests: records every message, answers OK/Cancel
// questions from a queue, keeps a clock that only Sleep advances, and can run a
// callback inside "process events" to stand for a click that arrives in the
// middle of an operation.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/toolkit.h"

namespace kps::test {

class FakeToolkit : public Toolkit {
 public:
  void ProcessEvents() override;
  MessageResult ShowMessage(const std::string& text, MessageButtons buttons) override;
  void Beep() override { ++beeps; }
  void Sleep(int milliseconds) override {
    sleeps.push_back(milliseconds);
    now += static_cast<uint32_t>(milliseconds);
  }
  uint32_t Millis() override { return now; }
  void Quit() override { ++quits; }
  void ShowReport(const std::string& title, const std::string& text) override {
    reports.push_back(title + "\n" + text);
  }
  PlatformInfo Platform() const override {
    return {"FakeToolkit 1.0", "Test OS 1", "testkernel 1.2.3"};
  }
  LocalTime Now() override { return time; }
  std::string OpenFileDialog(const FileDialogRequest& request) override;

  std::vector<std::string> messages;
  std::deque<MessageResult> answers;  // for OK/Cancel boxes; Ok when empty
  std::vector<std::string> reports;
  std::vector<int> sleeps;
  LocalTime time{2026, 12, 5, 10, 35, 12};     // what Now() answers
  std::vector<FileDialogRequest> fileDialogs;  // every dialog shown
  std::deque<std::string> fileAnswers;         // the paths chosen; empty = cancel
  uint32_t now = 0;
  int beeps = 0;
  int quits = 0;
  long processEventsCalls = 0;
  // Runs inside ProcessEvents (not nested inside itself).
  std::function<void()> onProcessEvents;
  // Runs inside ShowMessage, as a handler that runs while a box is open.
  std::function<void(const std::string&)> onMessage;

 private:
  bool inCallback_ = false;
};

}  // namespace kps::test
