#include "tools/progress.h"

#include <algorithm>
#include <cstdio>

#include "platform/interrupt.h"
#include "platform/terminal.h"
#include "tools/text.h"

namespace stowaway {
namespace {

constexpr int LongestBar = 30;
constexpr int ShortestBar = 10;

void WriteError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

ProgressBar::ProgressBar(std::string verb, int64_t total, bool quiet)
    : verb_(std::move(verb)),
      total_(total),
      drawing_(!quiet && IsTerminal(Channel::Error)),
      columns_(drawing_ ? TerminalColumns(Channel::Error) : 0) {}

ProgressBar::~ProgressBar() {
  if (drawing_ && !last_line_.empty()) {
    WriteError('\r' + std::string(static_cast<size_t>(std::max(columns_ - 1, 0)), ' ') + '\r');
  }
}

void ProgressBar::Show(int64_t done, const std::string& item) {
  CheckInterrupt();
  if (!drawing_) return;
  const int64_t bounded = std::clamp<int64_t>(done, 0, total_);
  const int permille = total_ > 0 ? static_cast<int>(bounded * 1000 / total_) : 1000;

  char head[64];
  std::snprintf(head, sizeof head, "%-10s %3d%% [", verb_.c_str(), permille / 10);
  // The line stays one column short of the edge, so that no terminal wraps.
  const int room = columns_ - 1 - static_cast<int>(std::char_traits<char>::length(head)) - 2;
  const int bar = std::clamp(room - 12, ShortestBar, LongestBar);
  const int filled = bar * permille / 1000;
  std::string line = head;
  line += std::string(static_cast<size_t>(filled), '#');
  line += std::string(static_cast<size_t>(bar - filled), '.');
  line += "] ";
  const int left = columns_ - 1 - static_cast<int>(DisplayWidth(line));
  const std::string name = Shorten(item, static_cast<size_t>(std::max(left, 0)));
  line += name;
  line += std::string(static_cast<size_t>(std::max(left - static_cast<int>(DisplayWidth(name)), 0)), ' ');
  if (line == last_line_) return;
  last_line_ = line;
  WriteError('\r' + line);
}

}  // namespace stowaway
