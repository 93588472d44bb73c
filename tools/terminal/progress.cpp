#include "tools/terminal/progress.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/interrupt.h"
#include "platform/terminal.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

constexpr int LongestBar = 30;
constexpr int ShortestBar = 10;
// The name of the file is worth this many columns before the parts are.
constexpr int NameRoom = 16;
// Speed and time left say little before the work has run this long.
constexpr double SettlingSeconds = 0.5;

void WriteError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// Bytes in the unit that suits whole, with one decimal: "1.2/4.5 MB".
std::string BytesOf(int64_t done, int64_t whole) {
  const char* units[] = {"B", "KB", "MB", "GB"};
  double scale = 1;
  size_t unit = 0;
  while (unit + 1 < std::size(units) && static_cast<double>(whole) >= scale * 1000) {
    scale *= 1000;
    ++unit;
  }
  char text[64];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%lld/%lld B", static_cast<long long>(done), static_cast<long long>(whole));
  } else {
    std::snprintf(text, sizeof text, "%.1f/%.1f %s", static_cast<double>(done) / scale,
                  static_cast<double>(whole) / scale, units[unit]);
  }
  return text;
}

std::string SpeedOf(double bytes_per_second) {
  char text[32];
  if (bytes_per_second >= 1e6) {
    std::snprintf(text, sizeof text, "%.1f MB/s", bytes_per_second / 1e6);
  } else if (bytes_per_second >= 1e3) {
    std::snprintf(text, sizeof text, "%.0f KB/s", bytes_per_second / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.0f B/s", bytes_per_second);
  }
  return text;
}

std::string TimeLeft(double seconds) {
  const auto whole = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld left", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace

std::string ProgressLine(const ProgressState& state, int columns) {
  const int64_t done = std::clamp<int64_t>(state.done, 0, state.total);
  const int permille = state.total > 0 ? static_cast<int>(done * 1000 / state.total) : 1000;
  char head[64];
  std::snprintf(head, sizeof head, "%-10s %3d%%", state.verb.c_str(), permille / 10);

  std::vector<std::string> parts;  // in the order they are given up, last first
  parts.push_back(std::to_string(state.files_done) + '/' + std::to_string(state.files) +
                  (state.files == 1 ? " file" : " files"));
  parts.push_back(BytesOf(done, state.total));
  if (state.seconds >= SettlingSeconds && done > 0) {
    const double speed = static_cast<double>(done) / state.seconds;
    parts.push_back(SpeedOf(speed));
    parts.push_back(TimeLeft(static_cast<double>(state.total - done) / speed));
  }

  const int room = columns - 1;
  auto width_of = [](const std::string& text) { return static_cast<int>(DisplayWidth(text)); };
  const int name_wanted = state.item.empty() ? 0 : 1 + width_of(state.item);
  // head, the bar with its brackets, each part with two spaces before it,
  // and some of the name.
  for (;;) {
    int fixed = width_of(head) + 1 + ShortestBar + 2 + std::min(name_wanted, 1 + NameRoom);
    for (const std::string& part : parts) fixed += 2 + width_of(part);
    if (fixed <= room || parts.empty()) break;
    parts.pop_back();
  }
  std::string line = head;
  for (const std::string& part : parts) line += "  " + part;
  const int bar = std::clamp(room - width_of(line) - 3 - name_wanted, ShortestBar, LongestBar);
  if (width_of(line) + 3 + bar > room) return Shorten(line, static_cast<size_t>(std::max(room, 0)));
  const int filled = bar * permille / 1000;
  line += " [" + std::string(static_cast<size_t>(filled), '#') +
          std::string(static_cast<size_t>(bar - filled), '.') + "]";
  const int left = room - width_of(line) - 1;
  if (left >= 4 && !state.item.empty()) line += ' ' + Shorten(state.item, static_cast<size_t>(left));
  return line;
}

ProgressBar::ProgressBar(std::string verb, int64_t total, int files, bool quiet)
    : start_(std::chrono::steady_clock::now()),
      drawing_(!quiet && IsTerminal(Channel::Error)),
      columns_(drawing_ ? TerminalColumns(Channel::Error) : 0) {
  state_.verb = std::move(verb);
  state_.total = total;
  state_.files = files;
}

ProgressBar::~ProgressBar() {
  if (drawing_ && !last_line_.empty()) {
    WriteError('\r' + std::string(static_cast<size_t>(std::max(columns_ - 1, 0)), ' ') + '\r');
  }
}

void ProgressBar::Show(int64_t done, int files_done, const std::string& item) {
  CheckInterrupt();
  if (!drawing_) return;
  state_.done = done;
  state_.files_done = files_done;
  state_.item = item;
  state_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string line = ProgressLine(state_, columns_);
  // A shorter line leaves the end of the last one to be wiped.
  const int shorter = static_cast<int>(DisplayWidth(last_line_)) - static_cast<int>(DisplayWidth(line));
  if (line == last_line_) return;
  last_line_ = line;
  WriteError('\r' + line + std::string(static_cast<size_t>(std::max(shorter, 0)), ' '));
}

}  // namespace stowaway
