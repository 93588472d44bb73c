#include "setup/switches.h"

#include <cctype>
#include <string_view>

namespace stowaway {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

bool HasPrefix(std::string_view word, std::string_view prefix) {
  return word.size() >= prefix.size() && Upper(word.substr(0, prefix.size())) == prefix;
}

// One argument from at: up to the next space outside quotes, the quotes
// themselves taken out.
std::string NextWord(std::string_view arguments, size_t& at) {
  std::string word;
  bool quoted = false;
  for (; at < arguments.size(); ++at) {
    const char c = arguments[at];
    if (c == '"') {
      quoted = !quoted;
    } else if (IsSpace(c) && !quoted) {
      break;
    } else {
      word += c;
    }
  }
  return word;
}

bool IsAbsolute(const std::string& folder) {
  if (folder.size() >= 2 && folder[0] == '\\' && folder[1] == '\\') return folder.size() > 2;
  return folder.size() >= 2 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
         folder[1] == ':' && (folder.size() == 2 || folder[2] == '\\');
}

}  // namespace

std::string NormaliseFolder(std::string folder) {
  // Until nothing changes: spaces inside quotes, and quotes inside spaces, go too.
  for (std::string before; before != folder;) {
    before = folder;
    while (!folder.empty() && (IsSpace(folder.back()) || folder.back() == '\\' || folder.back() == '/')) {
      folder.pop_back();
    }
    size_t begin = 0;
    while (begin < folder.size() && IsSpace(folder[begin])) ++begin;
    folder.erase(0, begin);
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') {
      folder = folder.substr(1, folder.size() - 2);
    }
  }
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  return folder;
}

SetupSwitches ParseSwitches(const std::string& arguments) {
  SetupSwitches switches;
  size_t at = 0;
  for (;;) {
    while (at < arguments.size() && IsSpace(arguments[at])) ++at;
    if (at == arguments.size()) break;
    const std::string_view rest = std::string_view(arguments).substr(at);
    if (HasPrefix(rest, "/D=")) {
      switches.FolderGiven = true;
      switches.Folder = NormaliseFolder(std::string(rest.substr(3)));
      break;
    }
    const std::string word = NextWord(arguments, at);
    const std::string upper = Upper(word);
    if (upper == "/S" || upper == "/VERYSILENT") {
      switches.Quiet = Quietness::VerySilent;
    } else if (upper == "/SILENT") {
      if (switches.Quiet == Quietness::Normal) switches.Quiet = Quietness::Silent;
    } else if (upper == "/?") {
      switches.Usage = true;
    } else if (HasPrefix(upper, "/D=") || HasPrefix(upper, "/DIR=")) {
      switches.FolderGiven = true;
      switches.Folder = NormaliseFolder(word.substr(upper[2] == '=' ? 3 : 5));
    } else if (HasPrefix(upper, "/LOG=") && word.size() > 5) {
      switches.LogFile = word.substr(5);
    } else if (switches.Unknown.empty()) {
      switches.Unknown = word.empty() ? std::string("\"\"") : word;
    }
  }
  return switches;
}

std::string SwitchUsage() {
  return "/S\tinstall without any window (also /VERYSILENT)\n"
         "/SILENT\tinstall without questions, showing the progress\n"
         "/D=folder\tinstall into folder; the last switch, without quotes\n"
         "/DIR=\"folder\"\tinstall into folder\n"
         "/LOG=\"file\"\twrite what was installed, and the outcome, to file\n"
         "/?\tshow this list\n\n"
         "Exit codes: 0 installed, 2 the files could not all be installed, 5 cancelled, "
         "6 bad command line, 7 the folder cannot be made, 8 not enough space.";
}

std::string FolderProblem(const std::string& folder, size_t longest) {
  if (folder.empty()) return "No folder was given.";
  if (!IsAbsolute(folder)) {
    return "\"" + folder + "\" is not a full path. Give one with its drive, such as C:\\Programs\\Tool.";
  }
  for (size_t i = 0; i < folder.size(); ++i) {
    const auto c = static_cast<unsigned char>(folder[i]);
    if (c < 0x20 || std::string_view("<>\"|?*").find(static_cast<char>(c)) != std::string_view::npos ||
        (c == ':' && i != 1)) {
      return "\"" + folder + "\" holds characters that Windows does not allow in folder names.";
    }
  }
  if (folder.size() + 1 + sizeof StagingFolderName - 1 > FolderPayloadLimit ||
      folder.size() + 1 + longest >= PathLimit) {
    return "\"" + folder + "\" is too long a path for the files of this program. Choose a shorter one.";
  }
  return {};
}

}  // namespace stowaway
