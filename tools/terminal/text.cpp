#include "tools/terminal/text.h"

#include <cstdio>

#include "platform/host.h"
#include "tools/payload/windows1252.h"

namespace stowaway {
namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length of the UTF-8 character at text[at] that a terminal shows as a
// character, or 0 for a byte to escape: a control character, or no UTF-8.
size_t PrintableLength(const std::string& text, size_t at, bool utf8) {
  const auto lead = static_cast<uint8_t>(text[at]);
  if (lead < 0x20 || lead == 0x7F) return 0;
  if (lead < 0x80 || !utf8) return 1;
  const size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4                                   ? 4
                                                                                         : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if (!IsContinuation(text[at + i])) return 0;
  }
  const auto second = static_cast<uint8_t>(text[at + 1]);
  // C1 controls (U+0080 to U+009F), overlong forms, surrogates, and beyond U+10FFFF.
  if ((lead == 0xC2 && second < 0xA0) || (lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

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

std::string TerminalText(const std::string& text, bool keep_line_breaks) {
  const bool utf8 = HostNamesAreUtf8();
  std::string shown;
  for (size_t at = 0; at < text.size();) {
    if (keep_line_breaks && text[at] == '\n') {
      shown += text[at++];
      continue;
    }
    const size_t length = PrintableLength(text, at, utf8);
    if (length > 0) {
      shown.append(text, at, length);
      at += length;
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(static_cast<uint8_t>(text[at])));
    shown += escaped;
    ++at;
  }
  return shown;
}

std::string ShownName(const std::string& archive_name) { return TerminalText(HostNameFromArchive(archive_name)); }

}  // namespace stowaway
