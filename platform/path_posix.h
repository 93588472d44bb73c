// Paths reach the platform layer with '\' separators, as on Windows.
#pragma once

#include <algorithm>
#include <string>

namespace stowaway {

inline std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace stowaway
