// One command of the tool: its name, its help, its options and its work.
#pragma once

#include <string>
#include <vector>

#include "tools/cli/arguments.h"

namespace stowaway {

struct Command {
  std::string name;
  std::string summary;  // one line of the tool's own help
  std::string help;     // what --help shows for the command
  // Besides --help and --quiet, which every command takes.
  std::vector<OptionSpec> options;
  // Returns the exit status; raises EUsage for a command line it cannot
  // follow and EToolFailure (or another Exception) for work it could not do.
  int (*run)(const Arguments& arguments);
};

Command PackCommand();
Command ListCommand();
Command TestCommand();
Command ExtractCommand();
Command CompressCommand();
Command DecompressCommand();
Command AdviseCommand();

}  // namespace stowaway
