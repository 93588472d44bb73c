// Progress of long work: one line on standard error, drawn only while
// standard error is a terminal and the user did not ask for quiet. It shows
// what zstd and 7-Zip users look for: the share done, files done of all,
// bytes done of all, speed and time left, then the file being worked on,
// fitted to the terminal's width. Every update also gives an interrupt the
// chance to take effect (see platform/interrupt.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace stowaway {

// What one progress line shows.
struct ProgressState {
  std::string verb;  // "packing"
  int64_t done = 0;
  int64_t total = 0;  // the bytes that done counts up to
  int files_done = 0;
  int files = 0;
  double seconds = 0;  // since the work began
  std::string item;    // the file being worked on, UTF-8
};

// The line for state, at most columns - 1 characters wide, so that no
// terminal wraps it: the parts that do not fit are left out, the name first
// shortened, then time left, speed, bytes and files dropped in that order.
std::string ProgressLine(const ProgressState& state, int columns);

class ProgressBar {
 public:
  // verb names the work ("packing"); total is what done counts up to, files
  // the number of files.
  ProgressBar(std::string verb, int64_t total, int files, bool quiet);
  // Takes the line off the screen.
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // done of total, with files_done files complete, while item is being
  // worked on.
  void Show(int64_t done, int files_done, const std::string& item);
  bool Drawing() const { return drawing_; }

 private:
  ProgressState state_;
  std::chrono::steady_clock::time_point start_;
  bool drawing_;
  int columns_;
  std::string last_line_;
};

}  // namespace stowaway
