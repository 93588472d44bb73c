// The archive's own failures: trailers and records it cannot use, names it
// will not write to, and archives the format cannot hold.
#pragma once

#include "platform/exception.h"

namespace stowaway {

STOWAWAY_EXCEPTION_CLASS(EArchiveError, Exception);

}  // namespace stowaway
