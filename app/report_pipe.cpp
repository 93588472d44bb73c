#include "app/report_pipe.h"

namespace stowaway {

// One condition serves both ends: only one of them can be waiting at a time,
// the sender on an empty pipe or the extraction on a full one.
void ReportPipe::Put(const ProgressReport& report) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return waiting_.size() < Capacity || abandoned_; });
  if (abandoned_) return;
  waiting_.push_back(report);
  if (waiting_.size() == 1) changed_.notify_one();
}

void ReportPipe::Close() {
  const std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_one();
}

void ReportPipe::Abandon() {
  const std::lock_guard<std::mutex> lock(mutex_);
  abandoned_ = true;
  waiting_.clear();
  changed_.notify_one();
}

bool ReportPipe::Take(ProgressReport& report) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !waiting_.empty() || closed_; });
  if (waiting_.empty()) return false;
  report = waiting_.front();
  waiting_.pop_front();
  if (waiting_.size() == Capacity - 1) changed_.notify_one();
  return true;
}

}  // namespace stowaway
