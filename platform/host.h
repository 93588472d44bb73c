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

// Restricts where the libraries this program loads from now on are looked
// for to the system's own folder, so that none is taken from the program's
// folder or the current one (on POSIX systems, nothing to do).
void RestrictLibrarySearch();
// 64 bits from the system's random source.
uint64_t RandomNumber();

}  // namespace stowaway
