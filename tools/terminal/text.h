// Small pieces of text the tool's output is made of.
#pragma once

#include <cstdint>
#include <string>

namespace stowaway {

// How many characters a UTF-8 text shows as (one column each).
size_t DisplayWidth(const std::string& text);
// text cut to at most width characters, with "..." where it was cut.
std::string Shorten(const std::string& text, size_t width);
// part as a percentage of whole with one decimal ("47.4%"); "-" for an
// empty whole.
std::string Percentage(int64_t part, int64_t whole);
// A host path joined with a name, by the system's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// text as a terminal can show it without acting on it: control characters
// (the C0 set but a kept line break, DEL and, where names are UTF-8, the C1
// set) and bytes that are not UTF-8 there become \xNN, one per byte
// ("\x1b[2J"); everything else stays as it is.
std::string TerminalText(const std::string& text, bool keep_line_breaks = false);
// An archive's name as the terminal shows it: converted to the system's
// names, then made safe to print.
std::string ShownName(const std::string& archive_name);

}  // namespace stowaway
