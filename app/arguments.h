// The unpacker's own command line: it hands its arguments on to the
// front-end and looks in them for the switches that forbid any message box.
#pragma once

#include <string>

namespace stowaway {

// Everything after the program's name in a command line as the platform
// gives it, blanks before it removed, quotes kept as typed. The name runs to
// the first blank outside quotes.
std::string ArgumentsOf(const std::string& command_line);

// True when one of the arguments is /S, /SILENT or /VERYSILENT, in any case,
// as a whole argument (quotes around it do not matter).
bool HasSilentSwitch(const std::string& arguments);

}  // namespace stowaway
