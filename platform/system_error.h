// The system's own words for why the last call into it failed, as tar and
// zstd show them ("No such file or directory").
#pragma once

#include <string>

namespace stowaway {

// The reason the most recent failed system call gave on this thread. Call it
// straight after the failure, before anything else can replace the reason.
std::string LastSystemError();

}  // namespace stowaway
