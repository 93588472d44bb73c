#include <windows.h>

#include "platform/system_error.h"

namespace stowaway {

std::string LastSystemError() {
  const DWORD code = ::GetLastError();
  char text[512];
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
  // The system's texts end in a full stop and a line break, which messages
  // built around them do not want.
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == '.' || text[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) return "system error " + std::to_string(code);
  return std::string(text, length);
}

}  // namespace stowaway
