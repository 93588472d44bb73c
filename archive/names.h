// What an archive's names may be, so that extraction writes nothing outside
// the destination folder.
#pragma once

#include <string>

namespace stowaway {

// True when name can be one file's name inside a folder: not empty, not made
// of dots and spaces only (Windows reads "..." and ".. " as "." and ".."),
// and free of the characters Windows refuses in file names (both separators
// among them) and of control characters.
bool IsSafeFileName(const std::string& name);

// True when path stays below the folder it is joined to: it does not begin
// with '\' or '/', holds no ':' (a drive or a stream), and none of its
// components between separators ('\' and '/') is empty or made of dots and
// spaces only.
bool IsSafeStoredPath(const std::string& path);

// Where an entry goes below the destination folder: the file-name part of
// file_name in file-name mode, stored_path (a folder entry's without its
// '|') in stored-path mode. Raises EArchiveError with refusal followed by
// the text at fault when that would lead outside the folder.
std::string SafeOutputName(const std::string& file_name, const std::string& stored_path,
                           bool use_stored_path, const std::string& refusal);

}  // namespace stowaway
