#include "tools/cli/arguments.h"

#include "tools/errors.h"

namespace stowaway {
namespace {

const OptionSpec* FindLong(const std::vector<OptionSpec>& options, const std::string& name) {
  for (const OptionSpec& option : options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

const OptionSpec* FindLetter(const std::vector<OptionSpec>& options, char letter) {
  for (const OptionSpec& option : options) {
    if (option.letter == letter) return &option;
  }
  return nullptr;
}

}  // namespace

std::string Arguments::Value(const std::string& name) const {
  const auto found = values.find(name);
  return found == values.end() ? std::string() : found->second;
}

Arguments ParseArguments(const std::vector<std::string>& words,
                         const std::vector<OptionSpec>& options) {
  Arguments parsed;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--") {
      parsed.operands.insert(parsed.operands.end(), words.begin() + static_cast<long>(i) + 1,
                             words.end());
      break;
    }
    if (word.size() < 2 || word[0] != '-') {
      parsed.operands.push_back(word);
      continue;
    }
    if (word[1] == '-') {
      const size_t equals = word.find('=');
      const std::string name = word.substr(2, equals == std::string::npos ? equals : equals - 2);
      const OptionSpec* option = FindLong(options, name);
      if (option == nullptr) throw EUsage("unknown option --" + name);
      if (!option->takes_value) {
        if (equals != std::string::npos) throw EUsage("option --" + name + " takes no value");
        parsed.values[name].clear();
      } else if (equals != std::string::npos) {
        parsed.values[name] = word.substr(equals + 1);
      } else {
        if (i + 1 == words.size()) throw EUsage("option --" + name + " needs a value");
        parsed.values[name] = words[++i];
      }
      continue;
    }
    for (size_t at = 1; at < word.size(); ++at) {
      const OptionSpec* option = FindLetter(options, word[at]);
      if (option == nullptr) throw EUsage(std::string("unknown option -") + word[at]);
      if (!option->takes_value) {
        parsed.values[option->name].clear();
        continue;
      }
      if (at + 1 < word.size()) {
        parsed.values[option->name] = word.substr(at + 1);
      } else {
        if (i + 1 == words.size()) throw EUsage(std::string("option -") + word[at] + " needs a value");
        parsed.values[option->name] = words[++i];
      }
      break;
    }
  }
  return parsed;
}

}  // namespace stowaway
