#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/host.h"

namespace stowaway {

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) return {};
  return std::string(buffer.data(), static_cast<size_t>(length));
}

uint32_t ProcessNumber() { return static_cast<uint32_t>(::getpid()); }

char PathSeparator() { return '/'; }

std::string HostPathFromArchive(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool HostNamesAreUtf8() { return true; }

void RestrictLibrarySearch() {}

uint64_t RandomNumber() {
  uint64_t value = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&value);
  size_t got = 0;
  while (got < sizeof value) {
    const ssize_t n = ::getrandom(bytes + got, sizeof value - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
  }
  return value;
}

}  // namespace stowaway
