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
// A path the archive module built, in this system's form. The archive
// joins its folders and names with '\', as Windows does; elsewhere each '\'
// becomes the system's separator. Paths a user gives never pass through it:
// on POSIX '\' is a character of a name like any other.
std::string HostPathFromArchive(std::string path);
// True where programs receive and give file names in UTF-8 (POSIX systems);
// false where they come in the ANSI code page (Windows).
bool HostNamesAreUtf8();

}  // namespace stowaway
