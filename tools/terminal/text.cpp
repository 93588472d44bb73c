#include "tools/terminal/text.h"

#include <cstdio>

#include "platform/host.h"

namespace stowaway {
namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (const char c : text) width += IsContinuation(c) ? 0 : 1;
  return width;
}

std::string Shorten(const std::string& text, size_t width) {
  if (DisplayWidth(text) <= width) return text;
  if (width < 3) return std::string(width, '.');
  std::string kept;
  size_t shown = 0;
  for (const char c : text) {
    if (!IsContinuation(c) && ++shown > width - 3) break;
    kept += c;
  }
  return kept + "...";
}

std::string Percentage(int64_t part, int64_t whole) {
  if (whole <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%",
                100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (IsPathSeparator(folder.back())) return folder + name;
  return folder + PathSeparator() + name;
}

}  // namespace stowaway
