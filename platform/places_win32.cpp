#include <windows.h>
#include <shlobj.h>

#include "platform/places.h"

namespace stowaway {
namespace {

std::string KnownFolder(int which) {
  char path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, which, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

std::wstring Wide(const std::string& text, UINT code_page) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
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

bool RemoveAtRestart(const std::string& path) {
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
  const std::wstring wide = Wide(text, CP_UTF8);
  if (wide.empty()) return std::string();
  BOOL lossy = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, &lossy);
  if (lossy) return std::nullopt;
  std::string ansi(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), size,
                        nullptr, nullptr);
  return ansi;
}

std::string Utf8FromAnsi(const std::string& text) {
  const std::wstring wide = Wide(text, CP_ACP);
  if (wide.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                        nullptr, nullptr);
  return utf8;
}

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
