// Where pack finds the unpacker when the user names none.
#pragma once

#include <string>
#include <vector>

namespace stowaway {

// The two unpackers, which differ in the execution level their manifest
// asks Windows for.
enum class Elevation {
  Admin,  // requireAdministrator: unpacker.exe
  User,   // asInvoker: unpacker-user.exe
};

// The unpacker's file name for that elevation.
const char* StubName(Elevation elevation);

// The places looked at, in order, for a tool whose program file is
// executable: the unpacker beside it, then, in a build tree where the tool
// lies in <tree>/native/bin, the one in <tree>/win32/bin.
std::vector<std::string> StubCandidates(const std::string& executable,
                                        Elevation elevation = Elevation::Admin);

// The first candidate that exists for this program. Raises EToolFailure
// listing the places looked at.
std::string FindDefaultStub(Elevation elevation = Elevation::Admin);

}  // namespace stowaway
