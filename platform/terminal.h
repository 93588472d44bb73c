// Whether someone watches an output channel, and how wide it is: progress is
// drawn only where a person can see it.
#pragma once

namespace stowaway {

enum class Channel { Output, Error };  // standard output, standard error

bool IsTerminal(Channel channel);
// The width of the terminal behind channel in columns; 80 when it cannot be
// told.
int TerminalColumns(Channel channel);

}  // namespace stowaway
