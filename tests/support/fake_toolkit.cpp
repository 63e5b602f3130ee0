#include "support/fake_toolkit.h"

namespace kps::test {

void FakeToolkit::ProcessEvents() {
  ++processEventsCalls;
  if (onProcessEvents && !inCallback_) {
    inCallback_ = true;
    onProcessEvents();
    inCallback_ = false;
  }
}

MessageResult FakeToolkit::ShowMessage(const std::string& text, MessageButtons buttons) {
  messages.push_back(text);
  if (onMessage) onMessage(text);
  if (buttons == MessageButtons::Ok || answers.empty()) return MessageResult::Ok;
  const MessageResult answer = answers.front();
  answers.pop_front();
  return answer;
}

std::string FakeToolkit::OpenFileDialog(const FileDialogRequest& request) {
  fileDialogs.push_back(request);
  if (fileAnswers.empty()) return {};
  std::string path = fileAnswers.front();
  fileAnswers.pop_front();
  return path;
}

}  // namespace kps::test
