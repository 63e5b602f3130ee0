// Takes up, while the program waits for the user, a board plugged in or pulled
// out: polls the transport when one of its descriptors is ready or its interval
// is up. During long operations the board link polls by itself.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <vector>

#include "board/board_link.h"
#include "board/transport.h"

namespace kps::ui {

class TransportWatch {
 public:
  TransportWatch(Transport& transport, BoardLink& board);
  ~TransportWatch();
  TransportWatch(const TransportWatch&) = delete;
  TransportWatch& operator=(const TransportWatch&) = delete;

 private:
  void Service();
  void Changed();
  void Pause();
  void Refresh();
  void Watch(int fd, QSocketNotifier::Type type);

  Transport& transport_;
  BoardLink& board_;
  QObject owner_;  // of the notifiers, also of those waiting for deletion
  QTimer timer_;
  std::vector<QSocketNotifier*> notifiers_;
  std::vector<PollSource> watched_;
  bool polling_ = false;
  bool refreshQueued_ = false;
};

}  // namespace kps::ui
