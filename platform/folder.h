// Folders and what lies in them, as a program that walks and fills them
// needs to see them. Paths as in file.h: this system's own, used as given.
#pragma once

#include <string>
#include <vector>

#include "platform/exception.h"

namespace stowaway {

enum class PathKind { Missing, File, Folder, Other };

// What path names, following links: a link to a folder is a Folder, a link
// that leads nowhere is Missing.
PathKind KindOfPath(const std::string& path);
// The system's reason why path cannot be reached ("No such file or
// directory", "Too many levels of symbolic links"); empty when it can.
std::string UnreachableReason(const std::string& path);
// True when path itself is a symbolic link (on Windows: a reparse point,
// which junctions are too).
bool IsLink(const std::string& path);

// The names in folder, without "." and "..", in no particular order. Raises
// EFOpenError "Cannot read folder %s".
std::vector<std::string> FolderEntries(const std::string& folder);

// Gives the file at from the name to, replacing a file there; both lie in
// one folder. False when that fails.
bool RenameFile(const std::string& from, const std::string& to);

// A text that two paths share exactly when they name the same existing file
// or folder; empty when path names nothing.
std::string FileIdentity(const std::string& path);

}  // namespace stowaway
