// The stowaway command line: which command to run, its help, and how its
// end turns into an exit status.
#pragma once

#include <string>
#include <vector>

namespace stowaway {

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitInterrupted = 130;

// words are the arguments after the program's name.
int RunTool(const std::vector<std::string>& words);

}  // namespace stowaway
