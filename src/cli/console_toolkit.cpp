#include "cli/console_toolkit.h"

#include <sys/utsname.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <istream>
#include <ostream>
#include <thread>

namespace kps::cli {

namespace {

// PRETTY_NAME of /etc/os-release, without its quotes.
std::string OperatingSystemName() {
  std::ifstream file("/etc/os-release");
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string name = line.substr(12);
    if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'')) {
      name = name.substr(1, name.size() - 2);
    }
    return name;
  }
  return "unknown";
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

ConsoleToolkit::ConsoleToolkit(std::ostream& err, std::istream& in, bool interactive,
                               const std::atomic<bool>* interrupt)
    : err_(err), in_(in), interactive_(interactive), interrupt_(interrupt) {}

void ConsoleToolkit::ProcessEvents() {
  if (inEvents_) return;
  inEvents_ = true;
  if (interrupt_ != nullptr && interrupt_->load() && !interruptHandled_) {
    interruptHandled_ = true;
    if (onInterrupt) onInterrupt();
  }
  if (onEvents) onEvents();
  inEvents_ = false;
}

void ConsoleToolkit::SetUnattendedAnswer(MessageResult answer, std::string option) {
  unattended_ = answer;
  unattendedOption_ = std::move(option);
}

MessageResult ConsoleToolkit::ShowMessage(const std::string& text, MessageButtons buttons) {
  ++messages_;
  err_ << kCliName << ": " << text << '\n';
  if (buttons == MessageButtons::Ok) {
    err_.flush();
    return MessageResult::Ok;
  }
  if (!interactive_) {
    const bool ok = unattended_ == MessageResult::Ok;
    err_ << kCliName << ": no terminal to ask on: answered " << (ok ? "OK" : "Cancel");
    if (!unattendedOption_.empty()) err_ << " (" << unattendedOption_ << ")";
    err_ << '\n';
    err_.flush();
    return unattended_;
  }
  for (;;) {
    err_ << "OK or Cancel? [o/c] ";
    err_.flush();
    std::string answer;
    if (!std::getline(in_, answer)) {
      // The end of the input, or Ctrl-C while waiting.
      in_.clear();
      err_ << "\n" << kCliName << ": no answer: Cancel\n";
      return MessageResult::Cancel;
    }
    answer = Lower(answer);
    if (answer == "o" || answer == "ok" || answer == "y" || answer == "yes") {
      return MessageResult::Ok;
    }
    if (answer == "c" || answer == "cancel" || answer == "n" || answer == "no") {
      return MessageResult::Cancel;
    }
  }
}

void ConsoleToolkit::Sleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint32_t ConsoleToolkit::Millis() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void ConsoleToolkit::ShowReport(const std::string& title, const std::string& text) {
  err_ << title << "\n" << text;
  err_.flush();
}

PlatformInfo ConsoleToolkit::Platform() const {
  PlatformInfo info;
  info.toolkit = "none (command line)";
  info.operatingSystem = OperatingSystemName();
  utsname names{};
  if (uname(&names) == 0) {
    info.kernel = std::string(names.sysname) + " " + names.release + " " + names.machine;
  }
  return info;
}

LocalTime ConsoleToolkit::Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string ConsoleToolkit::OpenFileDialog(const FileDialogRequest& /*request*/) {
  if (fileAnswers_.empty()) return "";
  std::string path = std::move(fileAnswers_.front());
  fileAnswers_.pop_front();
  return path;
}

}  // namespace kps::cli
