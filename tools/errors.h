// The command-line tool's own failures. Their messages are meant for the
// person at the keyboard: they name the file and say what to do.
#pragma once

#include "platform/exception.h"

namespace stowaway {

// A command line the tool cannot follow: exit status 2.
STOWAWAY_EXCEPTION_CLASS(EUsage, Exception);
// Work the tool could not do: exit status 1.
STOWAWAY_EXCEPTION_CLASS(EToolFailure, Exception);

}  // namespace stowaway
