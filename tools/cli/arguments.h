// A command's arguments, read the way people type them: "--name value",
// "--name=value", "-n value", "-nvalue", several one-letter flags in one
// ("-qf"), options anywhere among the operands, "--" before operands that
// begin with '-', and "-" as an operand.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace stowaway {

struct OptionSpec {
  std::string name;       // the long form, without "--"
  char letter = 0;        // the short form, 0 for none
  bool takes_value = false;
};

struct Arguments {
  bool Has(const std::string& name) const { return values.count(name) != 0; }
  // The option's value; empty when it was not given. The last one given
  // counts.
  std::string Value(const std::string& name) const;

  std::map<std::string, std::string> values;
  std::vector<std::string> operands;
};

// Raises EUsage "unknown option --%s" (or "-%c"), "option --%s needs a
// value" (or "-%c") or "option --%s takes no value".
Arguments ParseArguments(const std::vector<std::string>& words,
                         const std::vector<OptionSpec>& options);

}  // namespace stowaway
