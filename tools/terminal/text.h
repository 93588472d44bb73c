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

}  // namespace stowaway
