// Text between the program's narrow strings (UTF-8, or the ANSI code page
// where the file calls take it) and the system's UTF-16, for the Windows
// layers of this folder.
#pragma once

#include <windows.h>

#include <string>

namespace stowaway {

inline std::wstring Wide(const std::string& text, UINT code_page = CP_UTF8) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// With lossy, it tells whether a character had no equivalent in the code
// page; for UTF-8, which has one for every character, lossy must be none.
inline std::string Narrow(const std::wstring& wide, UINT code_page = CP_UTF8, BOOL* lossy = nullptr) {
  if (wide.empty()) return {};
  const int size = ::WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, lossy);
  std::string narrow(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), size, nullptr,
                        nullptr);
  return narrow;
}

}  // namespace stowaway
