// pack without --front-end: the project's setup program as entry 0, with
// the installer's settings appended to its copy, and every file stored
// under a flat name of its own for the unpacker and its real path for the
// setup program, which moves it into place.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "setup/settings.h"
#include "tools/cli/arguments.h"

namespace stowaway {

// The name entry 0 is stored, and started, under.
inline constexpr char SetupProgramName[] = "stowaway-setup.exe";

// The options only the setup program takes, as pack's option table lists
// them.
std::vector<OptionSpec> SetupOptions();
// The help text that describes them.
extern const char SetupHelp[];

struct SetupRequest {
  std::string program;  // the setup program to store
  SetupSettings settings;
};

// The setup request for arguments; none when --front-end is given (and then
// none of the setup options may be). for_user: the installer runs as the
// user who starts it (--elevation user), so its default folder is theirs.
// Raises EUsage naming the option for a missing --name or a value that
// cannot be used, and EToolFailure for a licence file that cannot be read.
std::optional<SetupRequest> ReadSetupRequest(const Arguments& arguments, bool for_user);

// Checks that --run names one of the files packed (stored paths given).
void CheckRunProgram(const SetupSettings& settings, const std::vector<std::string>& stored_paths);

// The setup program's bytes with the settings block behind them.
std::vector<uint8_t> SetupProgramWithSettings(const SetupRequest& request);

// Flat names, each used once (compared as Windows compares): a file's own
// name, or, when that is taken, the name with "~2", "~3"... before its
// extension.
class FlatNames {
 public:
  explicit FlatNames(const std::string& reserved);
  std::string Claim(const std::string& name);

 private:
  std::set<std::string> taken_;
};

}  // namespace stowaway
