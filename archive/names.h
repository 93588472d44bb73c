// Names as Windows takes them, in Windows-1252 as archives hold them: what a
// name may be, which names are one file, and where an entry is extracted to.
// Every part of the system that writes, checks or extracts entries asks here,
// so that they all agree.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace stowaway {

// '\' and '/' both separate the names of a stored path, as they do on
// Windows; archives are written with '\'.
inline constexpr char NameSeparator = '\\';
inline bool IsNameSeparator(char c) { return c == '\\' || c == '/'; }

// The part of path after its last '\' or ':', at most 255 characters: the
// name file-name mode extracts an entry under. '/' is not a separator here.
std::string FileNamePart(const std::string& path);

// Why Windows would not take name as the name of a file or folder, in words
// that follow "the name" in a message ("holds '?', which Windows does not
// allow in names"); empty when it would. Refused: names of dots and spaces
// only (Windows reads "..." as "."), control characters, the characters
// <>:"/\|?*, and the names of devices (CON, PRN, AUX, NUL, COM1 to COM9 and
// LPT1 to LPT9 with the superscript digits ¹²³ too, CONIN$, CONOUT$, CLOCK$),
// whatever extension follows them.
std::string NameProblem(std::string_view name);

// NameProblem, and besides a trailing dot or space, which Windows drops, so
// that the file would be stored under another name than the one given.
std::string ExactNameProblem(std::string_view name);

// The form in which Windows compares names: each name of path without its
// trailing dots and spaces, letters of either case folded into one as in
// Windows-1252 ("ÉTÉ.TXT." becomes "été.txt"), '/' written as '\'. Two paths
// with one identity are one file.
std::string NameIdentity(std::string_view path);

// Where an entry goes below the destination folder: the file-name part of
// file_name in file-name mode, stored_path (a folder entry's without its
// '|') in stored-path mode. Raises EArchiveError with refusal followed by
// the text at fault when that name would lead outside the folder or is one
// Windows refuses.
std::string SafeOutputName(const std::string& file_name, const std::string& stored_path,
                           bool use_stored_path, const std::string& refusal);

// Why SafeOutputName would refuse the entry, in words that follow "the
// name"; empty when it would not. LeadsOutside when the name is empty or a
// name in it is made of dots and spaces only (it names the folder or its
// parent), when a stored path holds ':' (a drive or a stream), or when a
// file name holds '/' before such a name; otherwise the NameProblem of the
// first name Windows refuses.
inline constexpr char LeadsOutside[] = "would lead outside the folder";
std::string OutputNameProblem(const std::string& file_name, const std::string& stored_path,
                              bool use_stored_path);

// The output names of one archive's entries, for finding two that Windows
// would extract to one file.
class OutputClaims {
 public:
  // Claims output (an output name) for entry index. Returns the index of an
  // earlier entry with the same identity, unless both are folders, which is
  // one folder made twice.
  std::optional<size_t> Claim(const std::string& output, bool folder, size_t index);

 private:
  std::map<std::string, std::pair<size_t, bool>> claimed_;  // identity: index, folder
};

}  // namespace stowaway
