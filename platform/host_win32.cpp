#include <windows.h>

#include <vector>

#include "platform/host.h"

namespace stowaway {

std::string ExecutablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

uint32_t ProcessNumber() { return ::GetCurrentProcessId(); }

char PathSeparator() { return '\\'; }

std::string HostPathFromArchive(std::string path) { return path; }

bool HostNamesAreUtf8() { return false; }

}  // namespace stowaway
