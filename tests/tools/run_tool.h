// Running the built stowaway, and shell scripts around it, as real
// processes: output captured, standard input empty, and a time limit on
// every run so that a hanging program fails its test instead of the suite.
#pragma once

#include <string>
#include <vector>

namespace stowaway::testing {

struct Outcome {
  int status = -1;  // the exit status; 128 + N for a death by signal N
  std::string out;
  std::string err;
};

// The program under test (build tree's bin/stowaway).
std::string ToolPath();

// word quoted for /bin/sh.
std::string Quoted(const std::string& word);

// /bin/sh runs script in folder `in`; after `seconds` it is ended.
Outcome RunScript(const std::string& script, const std::string& in, int seconds = 120);

// stowaway with these arguments, in folder `in`.
Outcome RunStowaway(const std::vector<std::string>& arguments, const std::string& in);

}  // namespace stowaway::testing
