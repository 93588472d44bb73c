#include "tools/tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>

#include "platform/interrupt.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

const char Overview[] = R"(Usage: stowaway COMMAND [OPTION]... [ARGUMENT]...
Build self-extracting installers for Windows, and look inside them.

Commands:
)";

const char Closing[] = R"(
Options every command takes, before the command or after it:
  -q, --quiet   print nothing but results and errors
  -h, --help    show help; 'stowaway COMMAND --help' for a command's own
'stowaway --version' shows the version.

Progress is drawn on standard error while it is a terminal. A result that
cannot be written to standard output fails the command.
Exit status: 0 success, 1 failure, 2 a command line that cannot be
followed, 130 interrupted (files being written are removed).
)";

const std::vector<OptionSpec> CommonOptions = {{"help", 'h', false}, {"quiet", 'q', false}};

std::vector<Command> AllCommands() {
  return {PackCommand(),     ListCommand(),       TestCommand(),  ExtractCommand(),
          CompressCommand(), DecompressCommand(), AdviseCommand()};
}

std::string OverviewText() {
  std::string text = Overview;
  for (const Command& command : AllCommands()) {
    text += "  " + command.name + std::string(12 - command.name.size(), ' ') + command.summary + '\n';
  }
  return text + Closing;
}

const Command* FindCommand(const std::vector<Command>& commands, const std::string& name) {
  for (const Command& command : commands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

bool AsksForHelp(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word == "--") return false;
    if (word == "-h" || word == "--help") return true;
  }
  return false;
}

int Fail(const std::string& who, const std::string& message) {
  std::cout.flush();
  std::cerr << who << ": " << TerminalText(message, true) << '\n';
  return ExitFailure;
}

// Output that never reached its file (a full disk, /dev/full, a closed
// pipe) turns success into failure.
int CheckOutput(const std::string& who, int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout) && std::cout.good()) return status;
  const int code = errno;
  std::cerr << who << ": cannot write to standard output"
            << (code != 0 ? std::string(": ") + std::strerror(code) : std::string()) << '\n';
  return ExitFailure;
}

int RunCommand(const Command& command, const std::vector<std::string>& words) {
  const std::string who = "stowaway " + command.name;
  try {
    if (AsksForHelp(words)) {
      std::cout << command.help;
      return CheckOutput(who, ExitSuccess);
    }
    std::vector<OptionSpec> options = command.options;
    options.insert(options.end(), CommonOptions.begin(), CommonOptions.end());
    return CheckOutput(who, command.run(ParseArguments(words, options)));
  } catch (const EUsage& usage) {
    std::cout.flush();
    std::cerr << who << ": " << TerminalText(usage.Message(), true) << "\nTry '" << who << " --help'.\n";
    return ExitUsage;
  } catch (const Exception& failure) {
    CheckOutput(who, ExitFailure);
    return Fail(who, failure.Message());
  } catch (const Interrupted&) {
    return ExitInterrupted;
  } catch (const std::bad_alloc&) {
    return Fail(who, "out of memory");
  }
}

bool IsCommonOption(const std::string& word) {
  for (const OptionSpec& option : CommonOptions) {
    if (word == "--" + option.name || word == std::string{'-', option.letter}) return true;
  }
  return false;
}

}  // namespace

int RunTool(const std::vector<std::string>& given) {
  // Options every command takes may come before the command: they are read
  // as if they followed it.
  std::vector<std::string> leading;
  size_t at = 0;
  while (at < given.size() && IsCommonOption(given[at]) && given[at] != "-h" && given[at] != "--help") {
    leading.push_back(given[at++]);
  }
  std::vector<std::string> words(given.begin() + static_cast<long>(at), given.end());
  if (words.empty()) {
    std::cerr << OverviewText();
    return ExitUsage;
  }
  const std::vector<Command> commands = AllCommands();
  const std::string& first = words[0];
  if (first == "--version") {
    std::cout << "stowaway " << STOWAWAY_VERSION << '\n';
    return CheckOutput("stowaway", ExitSuccess);
  }
  if (first == "-h" || first == "--help" || first == "help") {
    if (words.size() > 1) {
      if (const Command* command = FindCommand(commands, words[1])) {
        std::cout << command->help;
        return CheckOutput("stowaway", ExitSuccess);
      }
      std::cerr << "stowaway: '" << TerminalText(words[1]) << "' is not a command\nTry 'stowaway --help'.\n";
      return ExitUsage;
    }
    std::cout << OverviewText();
    return CheckOutput("stowaway", ExitSuccess);
  }
  const Command* command = FindCommand(commands, first);
  if (command == nullptr) {
    std::cerr << "stowaway: '" << TerminalText(first) << "' is not a command\nTry 'stowaway --help'.\n";
    return ExitUsage;
  }
  std::vector<std::string> rest(words.begin() + 1, words.end());
  rest.insert(rest.begin(), leading.begin(), leading.end());
  return RunCommand(*command, rest);
}

}  // namespace stowaway
