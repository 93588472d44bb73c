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
// True where programs receive and give file names in UTF-8 (POSIX systems);
// false where they come in the ANSI code page (Windows).
bool HostNamesAreUtf8();

}  // namespace stowaway
