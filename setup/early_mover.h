// Moves the files that are already whole to their places on a thread of its
// own: the unpacker waits for every report to be taken in, so moving them
// while handling a report would keep it waiting.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace stowaway {

class EarlyMover {
 public:
  // move(index) moves the file of one place; it runs on the mover's thread.
  explicit EarlyMover(std::function<void(size_t)> move);
  ~EarlyMover();
  EarlyMover(const EarlyMover&) = delete;
  EarlyMover& operator=(const EarlyMover&) = delete;

  // Hands a place over; never waits.
  void Add(size_t index);
  // Waits until every place handed over has been dealt with; what move did
  // may be read from then on, and nothing more may be added.
  void Finish();

 private:
  void Run();

  std::function<void(size_t)> move_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<size_t> waiting_;
  bool finishing_ = false;
  std::thread thread_;  // last: it starts once the rest is there
};

}  // namespace stowaway
