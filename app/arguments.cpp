#include "app/arguments.h"

#include <cctype>
#include <vector>

namespace stowaway {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The arguments split as the C runtime splits them, as far as switches
// need: blanks outside quotes separate, quotes only group.
std::vector<std::string> Words(const std::string& arguments) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < arguments.size()) {
    while (at < arguments.size() && IsBlank(arguments[at])) ++at;
    if (at == arguments.size()) break;
    std::string word;
    bool quoted = false;
    for (; at < arguments.size() && (quoted || !IsBlank(arguments[at])); ++at) {
      if (arguments[at] == '"') {
        quoted = !quoted;
      } else {
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(arguments[at])));
      }
    }
    words.push_back(word);
  }
  return words;
}

}  // namespace

std::string ArgumentsOf(const std::string& command_line) {
  // As the C runtime reads the program's name: quotes only group, and the
  // name ends at the first blank outside them.
  size_t at = 0;
  bool quoted = false;
  for (; at < command_line.size() && (quoted || !IsBlank(command_line[at])); ++at) {
    if (command_line[at] == '"') quoted = !quoted;
  }
  while (at < command_line.size() && IsBlank(command_line[at])) ++at;
  return command_line.substr(at);
}

bool HasSilentSwitch(const std::string& arguments) {
  for (const std::string& word : Words(arguments)) {
    if (word == "/S" || word == "/SILENT" || word == "/VERYSILENT") return true;
  }
  return false;
}

}  // namespace stowaway
