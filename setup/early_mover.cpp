#include "setup/early_mover.h"

#include <utility>

namespace stowaway {

EarlyMover::EarlyMover(std::function<void(size_t)> move) : move_(std::move(move)), thread_(&EarlyMover::Run, this) {}

EarlyMover::~EarlyMover() { Finish(); }

void EarlyMover::Add(size_t index) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back(index);
  }
  changed_.notify_one();
}

void EarlyMover::Finish() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void EarlyMover::Run() {
  for (;;) {
    size_t index = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !waiting_.empty() || finishing_; });
      if (waiting_.empty()) return;
      index = waiting_.front();
      waiting_.pop_front();
    }
    try {
      move_(index);
    } catch (...) {
      // Out of memory for a path: the file waits for the extraction's end.
    }
  }
}

}  // namespace stowaway
