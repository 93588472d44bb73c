#include "archive/names.h"

#include <array>
#include <cstdint>

#include "archive/directory.h"
#include "archive/errors.h"

namespace stowaway {
namespace {

constexpr size_t FileNamePartLimit = 255;
constexpr std::string_view ReservedCharacters = "<>:\"/\\|?*";
constexpr std::string_view TrailersWindowsDrops = ". ";

// Windows trims trailing dots and spaces from a name, so that "...", ". ."
// and ".. " name the folder itself or its parent, as "." and ".." do; an
// empty name between separators names the folder too.
bool NamesNoFile(std::string_view name) {
  return name.find_first_not_of(TrailersWindowsDrops) == std::string_view::npos;
}

std::string_view WithoutTrailers(std::string_view name) {
  const size_t last = name.find_last_not_of(TrailersWindowsDrops);
  return name.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

// Devices answer to their name whatever extension follows it, and Windows
// drops the spaces before the extension.
bool IsDeviceName(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  constexpr std::array<std::string_view, 7> Devices = {"CON",    "PRN",     "AUX",   "NUL",
                                                       "CONIN$", "CONOUT$", "CLOCK$"};
  for (const std::string_view device : Devices) {
    if (stem == device) return true;
  }
  if (stem.size() != 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  // The digits 1 to 9 and the superscripts ¹ ² ³ (Windows-1252 B9, B2, B3).
  const auto digit = static_cast<uint8_t>(stem[3]);
  return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

std::string Quoted(std::string_view name) {
  std::string quoted(1, '\'');
  quoted.append(name);
  quoted += '\'';
  return quoted;
}

// Calls visit with each name of path between separators, in order, until it
// returns false; false then.
template <typename Visit>
bool EveryName(std::string_view path, Visit visit) {
  size_t begin = 0;
  for (;;) {
    size_t end = begin;
    while (end < path.size() && !IsNameSeparator(path[end])) ++end;
    if (!visit(path.substr(begin, end - begin))) return false;
    if (end == path.size()) return true;
    begin = end + 1;
  }
}

// LeadsOutside when a name of path names the folder or its parent, or path
// holds a drive or stream; otherwise the first name's NameProblem.
std::string PathProblem(std::string_view path) {
  if (path.find(':') != std::string_view::npos) return LeadsOutside;
  if (!EveryName(path, [](std::string_view name) { return !NamesNoFile(name); })) {
    return LeadsOutside;
  }
  std::string problem;
  EveryName(path, [&](std::string_view name) {
    problem = NameProblem(name);
    return problem.empty();
  });
  return problem;
}

// Letters of either case as one, as Windows compares them in Windows-1252.
std::string FoldCase(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<uint8_t>(c);
    uint8_t folded = byte;
    if (byte >= 'A' && byte <= 'Z') folded = static_cast<uint8_t>(byte + 0x20);
    // À to Þ but ×; Š Œ Ž; Ÿ.
    if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) folded = static_cast<uint8_t>(byte + 0x20);
    if (byte == 0x8A || byte == 0x8C || byte == 0x8E) folded = static_cast<uint8_t>(byte + 0x10);
    if (byte == 0x9F) folded = 0xFF;
    c = static_cast<char>(folded);
  }
  return text;
}

}  // namespace

std::string FileNamePart(const std::string& path) {
  const size_t cut = path.find_last_of("\\:");
  const size_t first = cut == std::string::npos ? 0 : cut + 1;
  return path.substr(first, FileNamePartLimit);
}

std::string NameProblem(std::string_view name) {
  if (NamesNoFile(name)) {
    return Quoted(name) + " is made of dots and spaces only, which Windows does not allow";
  }
  for (const char c : name) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x20) {
      return "holds a control character (" + std::to_string(byte) + "), which Windows does not allow";
    }
    if (ReservedCharacters.find(c) != std::string_view::npos) {
      return std::string("holds '") + c + "', which Windows does not allow in names";
    }
  }
  if (IsDeviceName(name)) return "is a device name on Windows (" + Quoted(name) + ")";
  return {};
}

std::string ExactNameProblem(std::string_view name) {
  std::string problem = NameProblem(name);
  if (problem.empty() && TrailersWindowsDrops.find(name.back()) != std::string_view::npos) {
    problem = std::string("ends with '") + name.back() + "', which Windows drops from names";
  }
  return problem;
}

std::string NameIdentity(std::string_view path) {
  std::string identity;
  bool first = true;
  EveryName(path, [&](std::string_view name) {
    if (!first) identity += NameSeparator;
    identity += WithoutTrailers(name);
    first = false;
    return true;
  });
  return FoldCase(std::move(identity));
}

std::string OutputNameProblem(const std::string& file_name, const std::string& stored_path,
                              bool use_stored_path) {
  if (use_stored_path) {
    return PathProblem(IsFolderPath(stored_path) ? std::string_view(stored_path).substr(1)
                                                 : std::string_view(stored_path));
  }
  // '/' does not end the file-name part, but Windows reads it as a separator.
  const std::string name = FileNamePart(file_name);
  const std::string problem = PathProblem(name);
  return problem == LeadsOutside ? problem : NameProblem(name);
}

std::string SafeOutputName(const std::string& file_name, const std::string& stored_path,
                           bool use_stored_path, const std::string& refusal) {
  if (!OutputNameProblem(file_name, stored_path, use_stored_path).empty()) {
    throw EArchiveError(refusal + (use_stored_path ? stored_path : file_name));
  }
  if (!use_stored_path) return FileNamePart(file_name);
  return IsFolderPath(stored_path) ? stored_path.substr(1) : stored_path;
}

std::optional<size_t> OutputClaims::Claim(const std::string& output, bool folder, size_t index) {
  const auto [place, fresh] = claimed_.emplace(NameIdentity(output), std::make_pair(index, folder));
  if (fresh || (folder && place->second.second)) return std::nullopt;
  return place->second.first;
}

}  // namespace stowaway
