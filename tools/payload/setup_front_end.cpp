#include "tools/payload/setup_front_end.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "archive/names.h"
#include "platform/folder.h"
#include "platform/host.h"
#include "tools/errors.h"
#include "tools/files/files.h"
#include "tools/files/stub.h"
#include "tools/payload/windows1252.h"

namespace stowaway {
namespace {

// A licence longer than this is surely the wrong file.
constexpr int64_t LicenceLimit = 1 << 20;
constexpr size_t ShortTextLimit = 100;

bool IsValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// The option's value as UTF-8, checked: texts from the command line come in
// the system's own encoding.
std::string OptionText(const Arguments& arguments, const std::string& option, size_t limit) {
  std::string value = arguments.Value(option);
  if (!HostNamesAreUtf8()) value = Windows1252ToUtf8(value);
  if (!IsValidUtf8(value)) throw EUsage("--" + option + ": the text is not valid UTF-8");
  if (value.size() > limit) {
    throw EUsage("--" + option + ": at most " + std::to_string(limit) + " bytes, not " +
                 std::to_string(value.size()));
  }
  for (const char c : value) {
    if (static_cast<unsigned char>(c) < 0x20) throw EUsage("--" + option + ": holds a control character");
  }
  return value;
}

bool HasForbiddenCharacter(const std::string& path, size_t from) {
  for (size_t i = from; i < path.size(); ++i) {
    if (std::strchr("<>\"|?*", path[i]) != nullptr || (path[i] == ':' && i != 1)) return true;
  }
  return false;
}

void CheckDefaultFolder(const std::string& folder) {
  const std::string option = "--default-folder " + folder;
  size_t rest = 0;
  for (const char* placeholder : {ProgramFilesPlaceholder, UserProgramsPlaceholder}) {
    if (folder.compare(0, std::strlen(placeholder), placeholder) == 0) rest = std::strlen(placeholder);
  }
  const bool drive = folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
                     folder[1] == ':' && folder[2] == '\\';
  const bool share = folder.compare(0, 2, "\\\\") == 0;
  if (rest == 0 && !drive && !share) {
    throw EUsage(option + ": give a full Windows path (C:\\Tools\\Name), or begin with " +
                 ProgramFilesPlaceholder + " or " + UserProgramsPlaceholder);
  }
  if (folder.find('{', rest) != std::string::npos || folder.find('}', rest) != std::string::npos) {
    throw EUsage(option + ": the only placeholders are " + ProgramFilesPlaceholder + " and " +
                 UserProgramsPlaceholder + ", at the beginning");
  }
  if (HasForbiddenCharacter(folder, rest)) {
    throw EUsage(option + ": holds a character Windows does not allow in folder names");
  }
}

// The product name as a folder name: characters Windows refuses there
// replaced, trailing dots and spaces dropped.
std::string FolderNameFor(std::string name) {
  for (char& c : name) {
    if (std::strchr("<>:\"/\\|?*", c) != nullptr) c = '_';
  }
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name.empty() ? std::string("Program") : name;
}

std::string FindSetupProgram() {
  std::string looked;
  for (std::string candidate : StubCandidates(ExecutablePath())) {
    candidate = candidate.substr(0, candidate.size() - std::strlen(StubName(Elevation::Admin))) +
                SetupProgramName;
    if (KindOfPath(candidate) == PathKind::File) return candidate;
    looked += "\n  " + candidate;
  }
  throw EToolFailure("cannot find the setup program; looked for" + looked +
                     "\nBuild it (make build) or name a front-end of your own with --front-end SETUP.exe");
}

std::string ReadLicence(const std::string& path) {
  const std::unique_ptr<TFileStream> file = OpenInput(path);
  const int64_t size = InputSize(*file, path);
  if (size > LicenceLimit) {
    throw EToolFailure(path + ": " + std::to_string(size) + " bytes, more than a licence text "
                       "should be (at most 1 MiB); --license names a text file");
  }
  std::string text(static_cast<size_t>(size), '\0');
  if (size > 0 && file->Read(text.data(), static_cast<int32_t>(size)) != size) {
    throw EToolFailure(path + ": cannot read it; check its permissions");
  }
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  if (!IsValidUtf8(text)) {
    throw EUsage("--license " + path + ": not UTF-8 text; save the licence as UTF-8");
  }
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    throw EUsage("--license " + path + ": the file is empty");
  }
  return text;
}

}  // namespace

const char SetupHelp[] = R"(Without --front-end, the installer's front-end is stowaway's own setup
program: a wizard (welcome, licence, folder, progress, finish) that also
installs unattended (setup.exe /S /D=C:\Folder; setup.exe /? lists every
switch). Folders install as the trees they are. Its settings:

      --name NAME            the product's name, shown in every title
                             (required without --front-end)
      --version VERSION      shown on the welcome page
      --publisher NAME       shown on the welcome page
      --default-folder DIR   the folder offered; it may begin with
                             {programfiles} (the machine's programs folder) or
                             {userprograms} (the user's own); by default
                             {programfiles}\NAME, or {userprograms}\NAME
                             with --elevation user
      --run PROGRAM          a packed file (its path in the installer, as
                             'stowaway list' shows it) offered to be started
                             on the last page
      --license FILE         a UTF-8 text the user must accept first
      --setup-program FILE   the setup program to use, instead of the
                             stowaway-setup.exe found as the unpacker is
)";

std::vector<OptionSpec> SetupOptions() {
  return {{"name", 0, true},      {"version", 0, true}, {"publisher", 0, true},
          {"default-folder", 0, true}, {"run", 0, true}, {"license", 0, true},
          {"setup-program", 0, true}};
}

std::optional<SetupRequest> ReadSetupRequest(const Arguments& arguments, bool for_user) {
  if (arguments.Has("front-end")) {
    for (const OptionSpec& option : SetupOptions()) {
      if (arguments.Has(option.name)) {
        throw EUsage("--" + option.name + " is a setting of stowaway's setup program, which "
                     "--front-end replaces; leave out one of them");
      }
    }
    return std::nullopt;
  }
  SetupRequest request;
  SetupSettings& settings = request.settings;
  settings.Name = OptionText(arguments, "name", ShortTextLimit);
  if (settings.Name.find_first_not_of(' ') == std::string::npos) {
    throw EUsage("missing --name NAME, the product name the setup program shows (or name a "
                 "front-end of your own with --front-end SETUP.exe)");
  }
  settings.Version = OptionText(arguments, "version", ShortTextLimit);
  settings.Publisher = OptionText(arguments, "publisher", ShortTextLimit);
  if (arguments.Has("default-folder")) {
    settings.DefaultFolder = OptionText(arguments, "default-folder", 200);
    std::replace(settings.DefaultFolder.begin(), settings.DefaultFolder.end(), '/', '\\');
    CheckDefaultFolder(settings.DefaultFolder);
  } else {
    settings.DefaultFolder = std::string(for_user ? UserProgramsPlaceholder
                                                             : ProgramFilesPlaceholder) +
                             '\\' + FolderNameFor(settings.Name);
  }
  settings.Run = OptionText(arguments, "run", 200);
  std::replace(settings.Run.begin(), settings.Run.end(), '/', '\\');
  if (arguments.Has("license")) settings.Licence = ReadLicence(arguments.Value("license"));
  request.program = arguments.Has("setup-program") ? arguments.Value("setup-program") : FindSetupProgram();
  RequireProgram(request.program, "--setup-program", "the setup program");
  return request;
}

void CheckRunProgram(const SetupSettings& settings, const std::vector<std::string>& stored_paths) {
  if (settings.Run.empty()) return;
  std::string problem;
  const std::optional<std::string> wanted = Utf8ToWindows1252(settings.Run, problem);
  const bool found = wanted && std::any_of(stored_paths.begin(), stored_paths.end(), [&](const std::string& path) {
    return NameIdentity(path) == NameIdentity(*wanted);
  });
  if (!found) {
    throw EUsage("--run " + settings.Run + ": no file of that path is packed; give its path in "
                 "the installer, as 'stowaway list' shows it (for dist/ it begins with dist\\)");
  }
}

std::vector<uint8_t> SetupProgramWithSettings(const SetupRequest& request) {
  const std::unique_ptr<TFileStream> program = OpenInput(request.program);
  const int64_t size = InputSize(*program, request.program);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size > 0 && program->Read(bytes.data(), static_cast<int32_t>(size)) != size) {
    throw EToolFailure(request.program + ": cannot read it; check its permissions");
  }
  const std::vector<uint8_t> block = EncodeSettingsBlock(request.settings);
  bytes.insert(bytes.end(), block.begin(), block.end());
  return bytes;
}

FlatNames::FlatNames(const std::string& reserved) { taken_.insert(NameIdentity(reserved)); }

std::string FlatNames::Claim(const std::string& name) {
  if (taken_.insert(NameIdentity(name)).second) return name;
  const size_t dot = name.rfind('.');
  const size_t split = dot == std::string::npos || dot == 0 ? name.size() : dot;
  for (int n = 2;; ++n) {
    std::string candidate = name.substr(0, split) + '~' + std::to_string(n) + name.substr(split);
    if (taken_.insert(NameIdentity(candidate)).second) return candidate;
  }
}

}  // namespace stowaway
