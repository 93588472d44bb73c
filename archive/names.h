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

}  // namespace stowaway
