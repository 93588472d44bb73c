#include "tools/tool.h"

#include <iostream>
#include <new>

#include "platform/interrupt.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/text.h"

namespace stowaway {
namespace {

const char Overview[] = R"(Usage: stowaway COMMAND [OPTION]... [ARGUMENT]...
Build self-extracting installers for Windows, and look inside them.

Commands:
)";

const char Closing[] = R"(
Options every command takes:
  -q, --quiet   print nothing but results and errors
  -h, --help    show help; 'stowaway COMMAND --help' for a command's own

Progress is drawn on standard error while it is a terminal.
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

int RunCommand(const Command& command, const std::vector<std::string>& words) {
  const std::string who = "stowaway " + command.name;
  try {
    if (AsksForHelp(words)) {
      std::cout << command.help;
      return ExitSuccess;
    }
    std::vector<OptionSpec> options = command.options;
    options.insert(options.end(), CommonOptions.begin(), CommonOptions.end());
    return command.run(ParseArguments(words, options));
  } catch (const EUsage& usage) {
    std::cout.flush();
    std::cerr << who << ": " << TerminalText(usage.Message(), true) << "\nTry '" << who << " --help'.\n";
    return ExitUsage;
  } catch (const Exception& failure) {
    return Fail(who, failure.Message());
  } catch (const Interrupted&) {
    return ExitInterrupted;
  } catch (const std::bad_alloc&) {
    return Fail(who, "out of memory");
  }
}

}  // namespace

int RunTool(const std::vector<std::string>& words) {
  if (words.empty()) {
    std::cerr << OverviewText();
    return ExitUsage;
  }
  const std::vector<Command> commands = AllCommands();
  const std::string& first = words[0];
  if (first == "-h" || first == "--help" || first == "help") {
    if (words.size() > 1) {
      if (const Command* command = FindCommand(commands, words[1])) {
        std::cout << command->help;
        return ExitSuccess;
      }
      std::cerr << "stowaway: '" << TerminalText(words[1]) << "' is not a command\nTry 'stowaway --help'.\n";
      return ExitUsage;
    }
    std::cout << OverviewText();
    return ExitSuccess;
  }
  const Command* command = FindCommand(commands, first);
  if (command == nullptr) {
    std::cerr << "stowaway: '" << TerminalText(first) << "' is not a command\nTry 'stowaway --help'.\n";
    return ExitUsage;
  }
  return RunCommand(*command, std::vector<std::string>(words.begin() + 1, words.end()));
}

}  // namespace stowaway
