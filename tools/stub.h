// Where pack finds the unpacker when the user names none.
#pragma once

#include <string>
#include <vector>

namespace stowaway {

// The places looked at, in order, for a tool whose program file is
// executable: unpacker.exe beside it, then, in a build tree where the tool
// lies in <tree>/native/bin, <tree>/win32/bin/unpacker.exe.
std::vector<std::string> StubCandidates(const std::string& executable);

// The first candidate that exists for this program. Raises EToolFailure
// listing the places looked at.
std::string FindDefaultStub();

}  // namespace stowaway
