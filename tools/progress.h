// Progress of long work: a bar on standard error, drawn only while standard
// error is a terminal and the user did not ask for quiet. Every update also
// gives an interrupt the chance to take effect (see platform/interrupt.h).
#pragma once

#include <cstdint>
#include <string>

namespace stowaway {

class ProgressBar {
 public:
  // verb names the work ("packing"); total is what done counts up to.
  ProgressBar(std::string verb, int64_t total, bool quiet);
  // Takes the bar off the screen.
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // done of total, while item is being worked on.
  void Show(int64_t done, const std::string& item);
  bool Drawing() const { return drawing_; }

 private:
  std::string verb_;
  int64_t total_;
  bool drawing_;
  int columns_;
  std::string last_line_;
};

}  // namespace stowaway
