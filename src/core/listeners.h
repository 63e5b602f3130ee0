// The subscribers of a model: each is told of every change until it
// unsubscribes with the id it was given. Control models and the script table
// share this.
//
// A notification allocates nothing: models change at every pass of the
// real-time collection. A listener may subscribe or unsubscribe others (or
// itself) while it is being told; one that subscribes then is first told of
// the next change, one that unsubscribes is told nothing more, not even by the
// notification under way.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace kps {

template <typename... Args>
class Listeners {
 public:
  using Listener = std::function<void(Args...)>;

  int Subscribe(Listener listener) {
    const int id = nextId_++;
    // While a notification walks the list, it must not move under it.
    (depth_ > 0 ? added_ : entries_).push_back({id, std::move(listener)});
    return id;
  }
  void Unsubscribe(int id) {
    if (id <= 0) return;
    std::erase_if(added_, [id](const Entry& entry) { return entry.id == id; });
    for (Entry& entry : entries_) {
      if (entry.id == id) entry.id = kGone;  // dropped once no notification runs
    }
    if (depth_ == 0) Settle();
  }
  void Notify(Args... args) {
    ++depth_;
    // By index: the listeners subscribed meanwhile wait in added_, so the
    // entries stay where they are; their count is taken once.
    const std::size_t count = entries_.size();
    for (std::size_t i = 0; i < count; ++i) {
      if (entries_[i].id != kGone) entries_[i].listener(args...);
    }
    if (--depth_ == 0) Settle();
  }

 private:
  static constexpr int kGone = 0;
  struct Entry {
    int id;
    Listener listener;
  };

  void Settle() {
    std::erase_if(entries_, [](const Entry& entry) { return entry.id == kGone; });
    for (Entry& entry : added_) entries_.push_back(std::move(entry));
    added_.clear();
  }

  int nextId_ = 1;
  int depth_ = 0;
  std::vector<Entry> entries_;
  std::vector<Entry> added_;
};

}  // namespace kps
