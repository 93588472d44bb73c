// The files that pack is given, found on disk and named as the archive will
// name them.
#pragma once

#include <string>
#include <vector>

namespace stowaway {

struct PayloadEntry {
  std::string source;  // the path on this system, as messages show it
  std::string stored;  // the path below the destination: Windows-1252 names joined by '\'
  bool folder = false;
};

// Walks the paths in the order given. A file stands for itself, stored under
// its own name. A folder stands for itself, stored under its own name, and
// for everything in it, depth first: each folder's names sorted by their
// Windows-1252 bytes, a folder before what it holds. A folder named as ".",
// "..", or ending in a separator followed by one of them stands for its
// contents alone, stored at the top. Links are followed.
//
// Raises EToolFailure with one line for each path at fault, all found in
// one walk: it cannot be reached (with the system's reason), it is neither
// a file nor a folder, its name cannot be represented in Windows-1252 or is
// not one Windows allows, a folder holds itself through a link, or a folder
// cannot be read.
std::vector<PayloadEntry> CollectPayload(const std::vector<std::string>& paths);

}  // namespace stowaway
