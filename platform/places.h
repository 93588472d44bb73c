// What an installing program asks of the system beyond files and windows:
// the usual installation folders, free space, moving files into place and
// removing what it leaves, and the text of the system's last error.
// Paths are in the ANSI code page, as the unpacker writes its files.
// Windows builds only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stowaway {

// The machine's program files folder (the 32-bit one on 64-bit Windows) and
// the current user's own programs folder (in the local application data).
std::string ProgramFilesFolder();
std::string UserProgramsFolder();

// The bytes free for this user on the volume of folder, which exists.
std::optional<int64_t> FreeSpaceAt(const std::string& folder);

// Moves the file at from to the path to, replacing a file there. False, and
// LastErrorText tells why, when it fails.
bool MoveReplacing(const std::string& from, const std::string& to);
// The same where nothing is at to; false, with nothing moved, where
// anything is.
bool MoveToFreePath(const std::string& from, const std::string& to);
// Removes an empty folder; false when it is not empty or cannot be removed.
bool RemoveEmptyFolder(const std::string& folder);
// Marks the file for removal when the system next starts; false where the
// system does not allow it (it takes an administrator).
bool RemoveAtRestart(const std::string& path);
// The files marked for removal at the next start, in the system's spelling.
std::vector<std::string> RemovalsAtRestart();

// Starts program with its folder as the current one, not waiting for it.
bool StartProgramIn(const std::string& program, const std::string& folder);

// The ANSI form of a UTF-8 text, none when a character has no place in it;
// and back.
std::optional<std::string> AnsiFromUtf8(const std::string& text);
std::string Utf8FromAnsi(const std::string& text);

// The system's description of the last failed call, without a line break.
std::string LastErrorText();

}  // namespace stowaway
