// The reports of an extraction on their way from the thread that extracts to
// the thread that sends them: in order, and at most Capacity of them waiting,
// so that the extraction runs ahead of the front-end only so far.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "app/protocol.h"

namespace stowaway {

class ReportPipe {
 public:
  static constexpr size_t Capacity = 64;

  // Waits while the pipe is full; once the sender has given up, drops the
  // report.
  void Put(const ProgressReport& report);
  // No report comes after this.
  void Close();
  // The sender takes no more: a waiting Put returns, and later ones too.
  void Abandon();
  // Waits for the next report; false once the pipe is closed and empty.
  bool Take(ProgressReport& report);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<ProgressReport> waiting_;
  bool closed_ = false;
  bool abandoned_ = false;
};

}  // namespace stowaway
