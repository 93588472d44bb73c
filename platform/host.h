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
