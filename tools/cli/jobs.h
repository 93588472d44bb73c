// --jobs N, shared by pack (files packed at once) and compress (the threads
// of one stream's coder).
#pragma once

#include "tools/cli/arguments.h"

namespace stowaway {

// The most --jobs accepts: each job of pack holds up to two packed files in
// memory.
inline constexpr int MaxJobs = 64;

// --jobs 1..MaxJobs, or one for each processor when it is not given. Raises
// EUsage.
int ReadJobs(const Arguments& arguments);

}  // namespace stowaway
