// What the tests read back from a Windows program file, independently of
// the platform: the libraries it imports and its application manifest.
#pragma once

#include <string>
#include <vector>

namespace stowaway::testing {

struct PeImage {
  std::vector<std::string> imports;  // the libraries named in its import table
  std::string manifest;              // resource 1 of type RT_MANIFEST; empty if none
};

// Raises std::runtime_error for a file that is not such a program.
PeImage ReadPeImage(const std::string& path);

}  // namespace stowaway::testing
