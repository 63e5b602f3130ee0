// The subscribers of a model: each is told of every change until it
// unsubscribes with the id it was given. Control models and the script table
// share this.
#pragma once

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
    entries_.emplace_back(id, std::move(listener));
    return id;
  }
  void Unsubscribe(int id) {
    std::erase_if(entries_, [id](const auto& entry) { return entry.first == id; });
  }
  void Notify(Args... args) const {
    // A listener may subscribe or unsubscribe others (or itself); iterate over a copy.
    const auto entries = entries_;
    for (const auto& [id, listener] : entries) listener(args...);
  }

 private:
  int nextId_ = 1;
  std::vector<std::pair<int, Listener>> entries_;
};

}  // namespace kps
