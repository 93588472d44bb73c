#include <windows.h>

#include "platform/file.h"

namespace stowaway {
namespace {

FileHandle ToFileHandle(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return -1;
  return static_cast<FileHandle>(reinterpret_cast<intptr_t>(handle));
}

HANDLE ToHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(file));
}

FileHandle OpenWith(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  return ToFileHandle(::CreateFileA(path.c_str(), access, share, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

class Win32FileSystem final : public FileSystem {
 public:
  FileHandle OpenRead(const std::string& path) override {
    return OpenWith(path, GENERIC_READ, 0, OPEN_EXISTING);
  }
  FileHandle OpenReadShared(const std::string& path) override {
    return OpenWith(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  }
  FileHandle OpenReadWriteShared(const std::string& path) override {
    return OpenWith(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    OPEN_EXISTING);
  }
  FileHandle Create(const std::string& path) override {
    return OpenWith(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  }

  int32_t Read(FileHandle file, void* buffer, int32_t count) override {
    DWORD got = 0;
    if (!::ReadFile(ToHandle(file), buffer, static_cast<DWORD>(count), &got, nullptr)) return -1;
    return static_cast<int32_t>(got);
  }

  int32_t Write(FileHandle file, const void* buffer, int32_t count) override {
    DWORD put = 0;
    if (!::WriteFile(ToHandle(file), buffer, static_cast<DWORD>(count), &put, nullptr)) return -1;
    return static_cast<int32_t>(put);
  }

  int64_t Seek(FileHandle file, int64_t offset, SeekOrigin origin) override {
    LONG high = static_cast<LONG>(offset >> 32);
    ::SetLastError(NO_ERROR);
    const DWORD low = ::SetFilePointer(ToHandle(file), static_cast<LONG>(offset & 0xFFFFFFFF),
                                       &high, static_cast<DWORD>(origin));
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return -1;
    return (static_cast<int64_t>(high) << 32) | low;
  }

  void Close(FileHandle file) override { ::CloseHandle(ToHandle(file)); }

  bool Delete(const std::string& path) override { return ::DeleteFileA(path.c_str()) != 0; }

  bool CreateFolder(const std::string& path) override {
    return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
  }
};

}  // namespace

FileSystem& NativeFileSystem() {
  static Win32FileSystem files;
  return files;
}

}  // namespace stowaway
