#include <windows.h>

#include "platform/folder.h"
#include "platform/system_error.h"

namespace stowaway {
namespace {

// A search handle, closed when it goes.
class Search {
 public:
  Search(const std::string& pattern, WIN32_FIND_DATAA& found)
      : handle_(::FindFirstFileA(pattern.c_str(), &found)) {}
  ~Search() {
    if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
  }
  Search(const Search&) = delete;
  Search& operator=(const Search&) = delete;

  bool Found() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAA& found) { return ::FindNextFileA(handle_, &found) != 0; }

 private:
  HANDLE handle_;
};

// A file or folder opened only to be asked about; links are followed.
class Inspected {
 public:
  explicit Inspected(const std::string& path)
      : handle_(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
  ~Inspected() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  Inspected(const Inspected&) = delete;
  Inspected& operator=(const Inspected&) = delete;

  bool Describe(BY_HANDLE_FILE_INFORMATION& info) const {
    return handle_ != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(handle_, &info) != 0;
  }
  // The attributes alone: unlike Describe, no question about the volume,
  // which Wine answers through its mount manager at a few hundred
  // microseconds each.
  bool Attributes(DWORD& attributes) const {
    FILE_BASIC_INFO info;
    if (handle_ == INVALID_HANDLE_VALUE ||
        !::GetFileInformationByHandleEx(handle_, FileBasicInfo, &info, sizeof info)) {
      return false;
    }
    attributes = info.FileAttributes;
    return true;
  }

 private:
  HANDLE handle_;
};

}  // namespace

PathKind KindOfPath(const std::string& path) {
  DWORD attributes = 0;
  if (!Inspected(path).Attributes(attributes)) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
  return PathKind::File;
}

std::string UnreachableReason(const std::string& path) {
  if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return {};
  return LastSystemError();
}

bool IsLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  WIN32_FIND_DATAA found;
  Search search(folder + "\\*", found);
  if (!search.Found()) throw EFOpenError("Cannot read folder " + folder);
  std::vector<std::string> names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (search.Next(found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) throw EFOpenError("Cannot read folder " + folder);
  return names;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string FileIdentity(const std::string& path) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!Inspected(path).Describe(info)) return {};
  return std::to_string(info.dwVolumeSerialNumber) + ':' + std::to_string(info.nFileIndexHigh) +
         ':' + std::to_string(info.nFileIndexLow);
}

}  // namespace stowaway
