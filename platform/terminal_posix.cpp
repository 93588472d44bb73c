#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace stowaway {
namespace {

int Descriptor(Channel channel) { return channel == Channel::Output ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

bool IsTerminal(Channel channel) { return ::isatty(Descriptor(channel)) == 1; }

int TerminalColumns(Channel channel) {
  struct winsize size {};
  if (::ioctl(Descriptor(channel), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

}  // namespace stowaway
