#include "cli/console_toolkit.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <istream>
#include <ostream>
#include <streambuf>
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

constexpr uint32_t kProgressRedrawMs = 100;
constexpr const char* kEraseToEnd = "\x1b[K";

}  // namespace

// A stream tied to the standard output: flushed before each write there,
// it takes the progress line off the terminal they share.
class ConsoleToolkit::LiftOnWrite : public std::streambuf {
 public:
  LiftOnWrite(ConsoleToolkit& toolkit, std::ostream& out)
      : toolkit_(toolkit), out_(out), stream_(this), previousTie_(out.tie(&stream_)) {}
  ~LiftOnWrite() override { out_.tie(previousTie_); }

 protected:
  int sync() override {
    toolkit_.LiftProgress();
    return 0;
  }

 private:
  ConsoleToolkit& toolkit_;
  std::ostream& out_;
  std::ostream stream_;
  std::ostream* previousTie_;
};

ConsoleToolkit::ConsoleToolkit(std::ostream& err, std::istream& in, bool interactive,
                               const std::atomic<bool>* interrupt)
    : err_(err), in_(in), interactive_(interactive), interrupt_(interrupt) {
  if (&err == &std::cerr && isatty(STDERR_FILENO) != 0) {
    UseTerminal(isatty(STDOUT_FILENO) != 0 ? &std::cout : nullptr);
  }
}

ConsoleToolkit::~ConsoleToolkit() = default;

void ConsoleToolkit::ProcessEvents() {
  if (inEvents_) return;
  inEvents_ = true;
  if (interrupt_ != nullptr && interrupt_->load() && !interruptHandled_) {
    interruptHandled_ = true;
    if (onInterrupt) onInterrupt();
  }
  if (onEvents) onEvents();
  DrawProgress(false);
  inEvents_ = false;
}

void ConsoleToolkit::UseTerminal(std::ostream* sharedOut) {
  terminal_ = true;
  lifter_.reset();
  if (sharedOut != nullptr) lifter_ = std::make_unique<LiftOnWrite>(*this, *sharedOut);
}

void ConsoleToolkit::ShowProgress(const Progress& progress) {
  if (!progressActive_) {
    progressActive_ = true;
    progressStart_ = Millis();
  }
  progress_ = progress;
}

void ConsoleToolkit::EndProgress() {
  if (!progressActive_) return;
  DrawProgress(true);
  progressActive_ = false;
  if (!terminal_) return;
  // Each write to the terminal leaves the line marked as not shown first: the
  // error stream's own tie may flush the standard output, which lifts it.
  progressShown_ = false;
  err_ << '\n';
  err_.flush();
}

void ConsoleToolkit::LiftProgress() {
  if (!progressShown_) return;
  progressShown_ = false;
  err_ << '\r' << kEraseToEnd;
  err_.flush();
}

void ConsoleToolkit::DrawProgress(bool now) {
  if (!terminal_ || !progressActive_) return;
  const uint32_t millis = Millis();
  if (!now && progressShown_ && millis - progressDrawn_ < kProgressRedrawMs) return;
  progressShown_ = false;
  err_ << '\r' << ProgressText(progress_, millis - progressStart_) << kEraseToEnd;
  err_.flush();
  progressShown_ = true;
  progressDrawn_ = millis;
}

std::string ProgressText(const Progress& progress, uint32_t elapsedMs) {
  std::string text = std::to_string(progress.done);
  if (progress.total > 0) text += " of " + std::to_string(progress.total);
  text += " " + progress.unit + ", ";
  const uint32_t seconds = elapsedMs / 1000;
  char time[32];
  if (seconds >= 3600) {
    std::snprintf(time, sizeof time, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    std::snprintf(time, sizeof time, "%u:%02u", seconds / 60, seconds % 60);
  }
  text += std::string(time) + " elapsed";
  if (progress.failed > 0) text += ", " + std::to_string(progress.failed) + " failed";
  return text;
}

void ConsoleToolkit::SetUnattendedAnswer(MessageResult answer, std::string option) {
  unattended_ = answer;
  unattendedOption_ = std::move(option);
}

MessageResult ConsoleToolkit::ShowMessage(const std::string& text, MessageButtons buttons) {
  ++messages_;
  LiftProgress();
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
  LiftProgress();
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
