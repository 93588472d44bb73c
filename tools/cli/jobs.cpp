#include "tools/cli/jobs.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "archive/parallel_pack.h"
#include "tools/errors.h"

namespace stowaway {

int ReadJobs(const Arguments& arguments) {
  if (!arguments.Has("jobs")) return std::min(DefaultPackJobs(), MaxJobs);
  const std::string text = arguments.Value("jobs");
  const bool digits = !text.empty() && text.size() <= 3 &&
                      std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
  if (!digits || std::stoi(text) < 1 || std::stoi(text) > MaxJobs) {
    throw EUsage("--jobs needs a whole number from 1 to " + std::to_string(MaxJobs) + ", not '" + text + "'");
  }
  return std::stoi(text);
}

}  // namespace stowaway
