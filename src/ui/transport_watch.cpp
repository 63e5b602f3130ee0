#include "ui/transport_watch.h"

namespace kps::ui {

namespace {

// A transport with no descriptors to watch (the simulated board, whose plug
// and unplug may come from a window of its own) is polled this often.
constexpr int kFallbackPollMs = 200;

}  // namespace

TransportWatch::TransportWatch(Transport& transport, BoardLink& board)
    : transport_(transport), board_(board) {
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Service(); });
  transport_.SetPollChanged([this] { Changed(); });
  Refresh();
}

TransportWatch::~TransportWatch() {
  transport_.SetPollChanged(nullptr);
}

void TransportWatch::Service() {
  // A detach opens a message box, whose event loop would run this again and,
  // with a descriptor still ready, spin: nothing is watched until it returns.
  if (polling_) return;
  polling_ = true;
  Pause();
  board_.PollTransport();
  polling_ = false;
  Refresh();
}

// From inside a transport call: a descriptor may be closed already.
void TransportWatch::Changed() {
  Pause();
  if (refreshQueued_) return;
  refreshQueued_ = true;
  QTimer::singleShot(0, &timer_, [this] {
    refreshQueued_ = false;
    if (!polling_) Refresh();  // otherwise Service() refreshes when it is done
  });
}

void TransportWatch::Pause() {
  for (QSocketNotifier* notifier : notifiers_) notifier->setEnabled(false);
  timer_.stop();
}

void TransportWatch::Refresh() {
  std::vector<PollSource> sources = transport_.PollSources();
  if (sources != watched_) {
    // A notifier may be the one whose signal is being handled further up.
    for (QSocketNotifier* notifier : notifiers_) notifier->deleteLater();
    notifiers_.clear();
    for (const PollSource& source : sources) {
      if (source.read) Watch(source.fd, QSocketNotifier::Read);
      if (source.write) Watch(source.fd, QSocketNotifier::Write);
    }
    watched_ = std::move(sources);
  }
  for (QSocketNotifier* notifier : notifiers_) notifier->setEnabled(true);
  int interval = transport_.PollIntervalMs();
  if (watched_.empty() && (interval < 0 || interval > kFallbackPollMs)) interval = kFallbackPollMs;
  if (interval >= 0) timer_.start(interval);
}

void TransportWatch::Watch(int fd, QSocketNotifier::Type type) {
  auto* notifier = new QSocketNotifier(fd, type, &owner_);
  QObject::connect(notifier, &QSocketNotifier::activated, [this] { Service(); });
  notifiers_.push_back(notifier);
}

}  // namespace kps::ui
