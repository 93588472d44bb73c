#include <windows.h>

#include "platform/terminal.h"

namespace stowaway {
namespace {

HANDLE Handle(Channel channel) {
  return ::GetStdHandle(channel == Channel::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

// A redirected handle is a file or a pipe, and has no console mode.
bool IsTerminal(Channel channel) {
  DWORD mode = 0;
  return ::GetConsoleMode(Handle(channel), &mode) != 0;
}

int TerminalColumns(Channel channel) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(Handle(channel), &info)) return 80;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : 80;
}

}  // namespace stowaway
