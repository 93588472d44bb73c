#include <windows.h>
#include <shlobj.h>

#include <string_view>
#include <vector>

#include "platform/places.h"
#include "platform/wide_text_win32.h"

namespace stowaway {
namespace {

std::string KnownFolder(int which) {
  char path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, which, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

// How the system writes a path in its lists of work for the next start.
constexpr wchar_t SystemPathPrefix[] = L"\\??\\";

// The system keeps the removals it owes the next start as pairs of paths in
// its own form (SystemPathPrefix, then the path), the second empty for a
// removal.
std::vector<std::wstring> RemovalsOwed() {
  std::vector<std::wstring> removals;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return removals;
  }
  const wchar_t* const name = L"PendingFileRenameOperations";
  DWORD type = 0;
  DWORD size = 0;
  std::vector<wchar_t> value;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_MULTI_SZ) {
    // Two zeros more than it holds, so that a value without its own ends
    // still ends.
    value.resize(size / sizeof(wchar_t) + 2, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS) {
      value.clear();
    }
  }
  ::RegCloseKey(key);
  for (const wchar_t* at = value.data(); !value.empty() && *at != L'\0';) {
    const std::wstring source = at;
    at += source.size() + 1;
    const std::wstring target = at;
    at += target.size() + 1;
    if (target.empty()) removals.push_back(source);
    if (at >= value.data() + value.size() - 1) break;
  }
  return removals;
}

}  // namespace

std::string ProgramFilesFolder() { return KnownFolder(CSIDL_PROGRAM_FILES); }

std::string UserProgramsFolder() {
  const std::string local = KnownFolder(CSIDL_LOCAL_APPDATA);
  return local.empty() ? local : local + "\\Programs";
}

std::optional<int64_t> FreeSpaceAt(const std::string& folder) {
  ULARGE_INTEGER available;
  if (!::GetDiskFreeSpaceExA((folder + "\\").c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return static_cast<int64_t>(available.QuadPart);
}

bool MoveReplacing(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MoveToFreePath(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), 0) != 0;
}

bool RemoveEmptyFolder(const std::string& folder) { return ::RemoveDirectoryA(folder.c_str()) != 0; }

std::vector<std::string> RemovalsAtRestart() {
  std::vector<std::string> paths;
  for (const std::wstring& removal : RemovalsOwed()) {
    const std::wstring_view prefix = SystemPathPrefix;
    const bool prefixed = removal.rfind(prefix, 0) == 0;
    paths.push_back(Narrow(prefixed ? removal.substr(prefix.size()) : removal, CP_ACP));
  }
  return paths;
}

// The same file may be marked by every run until the next start: it is
// marked once.
bool RemoveAtRestart(const std::string& path) {
  const std::wstring wide = Wide(path, CP_ACP);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size != 0) {
    std::wstring full(size, L'\0');
    full.resize(::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr));
    const std::wstring own = SystemPathPrefix + full;
    for (const std::wstring& removal : RemovalsOwed()) {
      if (::CompareStringOrdinal(removal.data(), static_cast<int>(removal.size()), own.data(),
                                 static_cast<int>(own.size()), TRUE) == CSTR_EQUAL) {
        return true;
      }
    }
  }
  return ::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool StartProgramIn(const std::string& program, const std::string& folder) {
  std::string command = '"' + program + '"';
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

std::optional<std::string> AnsiFromUtf8(const std::string& text) {
  BOOL lossy = FALSE;
  std::string ansi = Narrow(Wide(text, CP_UTF8), CP_ACP, &lossy);
  if (lossy) return std::nullopt;
  return ansi;
}

std::string Utf8FromAnsi(const std::string& text) { return Narrow(Wide(text, CP_ACP), CP_UTF8); }

std::string LastErrorText() {
  const DWORD code = ::GetLastError();
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length != 0 ? std::string(text, length) : "error " + std::to_string(code);
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

}  // namespace stowaway
