#include <windows.h>
// After windows.h, which it needs.
#include <ntsecapi.h>

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

void RestrictLibrarySearch() {
  // Looked up rather than imported: an older system without the call would
  // refuse to start the program at all. There, the current folder at least
  // leaves the search.
  using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
  const auto set_default = reinterpret_cast<SetDefaultDirectories>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (set_default == nullptr || !set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    ::SetDllDirectoryA("");
  }
}

uint64_t RandomNumber() {
  uint64_t value = 0;
  ::RtlGenRandom(&value, sizeof value);
  return value;
}

}  // namespace stowaway
