// The running program and the conventions of the system it runs on.
#pragma once

#include <cstdint>
#include <string>

namespace stowaway {

// The full path of this program's file.
std::string ExecutablePath();
uint32_t ProcessNumber();
// The separator the system writes between a folder and a name.
char PathSeparator();
// The characters that separate the names of a path here: '/' and
// PathSeparator().
inline bool IsPathSeparator(char c) { return c == '/' || c == PathSeparator(); }
// What may stand before the last name of a path: a separator, or on Windows
// the ':' that ends a drive prefix ("C:name").
inline bool EndsPathName(char c) { return IsPathSeparator(c) || (PathSeparator() == '\\' && c == ':'); }
// A path the archive module built, in this system's form. The archive
// joins its folders and names with '\', as Windows does; elsewhere each '\'
// becomes the system's separator. Paths a user gives never pass through it:
// on POSIX '\' is a character of a name like any other.
std::string HostPathFromArchive(std::string path);
// True where programs receive and give file names in UTF-8 (POSIX systems);
// false where they come in the ANSI code page (Windows).
bool HostNamesAreUtf8();

// Restricts where the libraries this program loads from now on are looked
// for to the system's own folder, so that none is taken from the program's
// folder or the current one (on POSIX systems, nothing to do).
void RestrictLibrarySearch();
// 64 bits from the system's random source.
uint64_t RandomNumber();

}  // namespace stowaway
