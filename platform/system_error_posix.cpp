#include <errno.h>
#include <string.h>

#include "platform/system_error.h"

namespace stowaway {

std::string LastSystemError() {
  const int code = errno;
  char text[256];
  // The GNU form returns its text, which need not be the buffer.
  return ::strerror_r(code, text, sizeof text);
}

}  // namespace stowaway
