#include <windows.h>

#include "platform/open_folder.h"

// Windows has no calls relative to a folder's handle in its documented API.
// The same guarantee comes from holding every folder on the way down open
// without FILE_SHARE_DELETE: while the handle lives, the folder cannot be
// renamed, removed or replaced by a junction, so its path keeps leading to
// it. Each child is opened with FILE_FLAG_OPEN_REPARSE_POINT and refused when
// it is a reparse point (a link or a junction), and files are made with
// CREATE_NEW, which fails on anything already there, links included.

namespace stowaway {
namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

HANDLE OpenFolderHandle(const std::string& path, DWORD flags) {
  return ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

std::string Identity(const BY_HANDLE_FILE_INFORMATION& info) {
  return std::to_string(info.dwVolumeSerialNumber) + ':' + std::to_string(info.nFileIndexHigh) +
         ':' + std::to_string(info.nFileIndexLow);
}

}  // namespace

std::optional<OpenFolder> OpenFolder::Open(const std::string& path) {
  const HANDLE handle = OpenFolderHandle(path, 0);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_DIRECTORY);
    return std::nullopt;
  }
  return OpenFolder(reinterpret_cast<intptr_t>(handle), path);
}

OpenFolder::~OpenFolder() {
  if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
  if (this != &other) {
    if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = -1;
  }
  return *this;
}

std::string OpenFolder::PathOf(const std::string& name) const {
  if (path_ == ".") return name;
  if (path_.empty() || path_.back() == '\\' || path_.back() == '/' || path_.back() == ':') {
    return path_ + name;
  }
  return path_ + '\\' + name;
}

EntryKind OpenFolder::KindOf(const std::string& name) const {
  const DWORD attributes = ::GetFileAttributesA(PathOf(name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::Missing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Folder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::Other;
  return EntryKind::File;
}

std::string OpenFolder::IdentityOf(const std::string& name) const {
  const HANDLE handle = ::CreateFileA(PathOf(name).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
  ::CloseHandle(handle);
  return known ? Identity(info) : std::string();
}

std::optional<OpenFolder> OpenFolder::Child(const std::string& name, bool make) const {
  const std::string path = PathOf(name);
  if (make && !::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return std::nullopt;
  }
  const HANDLE handle = OpenFolderHandle(path, FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return std::nullopt;
  }
  return OpenFolder(reinterpret_cast<intptr_t>(handle), path);
}

FileHandle OpenFolder::CreateNewFile(const std::string& name) const {
  const HANDLE handle =
      ::CreateFileA(PathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  return static_cast<FileHandle>(reinterpret_cast<intptr_t>(handle));
}

bool OpenFolder::Rename(const std::string& from, const std::string& to, bool replace) const {
  return ::MoveFileExA(PathOf(from).c_str(), PathOf(to).c_str(),
                       replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
}

bool OpenFolder::Remove(const std::string& name) const {
  return ::DeleteFileA(PathOf(name).c_str()) != 0;
}

std::string HandleIdentity(FileHandle file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(file)), &info)) {
    return {};
  }
  return Identity(info);
}

}  // namespace stowaway
