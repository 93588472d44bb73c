#include "archive/names.h"

#include <algorithm>
#include <string_view>

#include "archive/errors.h"
#include "archive/packerunit.h"

namespace stowaway {
namespace {

constexpr size_t FileNamePartLimit = 255;

// Windows trims trailing dots and spaces from a name, so that "...", ". ."
// and ".. " name the folder itself or its parent, as "." and ".." do.
bool NamesNoFile(std::string_view name) {
  return name.find_first_not_of(". ") == std::string_view::npos;
}

}  // namespace

std::string FileNamePart(const std::string& path) {
  const size_t cut = path.find_last_of("\\:");
  const size_t first = cut == std::string::npos ? 0 : cut + 1;
  return path.substr(first, FileNamePartLimit);
}

bool IsSafeFileName(const std::string& name) {
  if (NamesNoFile(name)) return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) return false;
  }
  return true;
}

bool IsSafeStoredPath(const std::string& path) {
  if (path.find(':') != std::string::npos) return false;
  // A leading separator shows up as an empty first component.
  const std::string_view rest(path);
  size_t begin = 0;
  for (;;) {
    const size_t end = std::min(rest.find_first_of("\\/", begin), rest.size());
    if (NamesNoFile(rest.substr(begin, end - begin))) return false;
    if (end == rest.size()) return true;
    begin = end + 1;
  }
}

std::string SafeOutputName(const std::string& file_name, const std::string& stored_path,
                           bool use_stored_path, const std::string& refusal) {
  if (!use_stored_path) {
    std::string name = FileNamePart(file_name);
    if (!IsSafeFileName(name)) throw EArchiveError(refusal + file_name);
    return name;
  }
  std::string path = IsFolderPath(stored_path) ? stored_path.substr(1) : stored_path;
  if (!IsSafeStoredPath(path)) throw EArchiveError(refusal + stored_path);
  return path;
}

}  // namespace stowaway
