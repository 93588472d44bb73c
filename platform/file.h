// The operating system's files, behind one small interface so that tests can
// put a file layer of their own in its place (see ScopedFileSystem).
//
// Paths are this system's own, used as given (HostPathFromArchive in
// platform/host.h turns the archive's into that form).
#pragma once

#include <cstdint>
#include <string>

namespace stowaway {

// An open file. Positive values are open files; 0 means none and negative
// values a failed open, as the compression component's fields expect.
using FileHandle = int32_t;

enum class SeekOrigin : int { Begin = 0, Current = 1, End = 2 };

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // An existing file, read access, no sharing with other openers.
  virtual FileHandle OpenRead(const std::string& path) = 0;
  // An existing file, read access, others may read and write it meanwhile.
  virtual FileHandle OpenReadShared(const std::string& path) = 0;
  // An existing file, read and write access, shared for reading and writing:
  // the probe that measures a file's size (it fails on read-only files).
  virtual FileHandle OpenReadWriteShared(const std::string& path) = 0;
  // Creates the file, or truncates it if it exists; read and write access,
  // no sharing.
  virtual FileHandle Create(const std::string& path) = 0;

  // The number of bytes moved, 0 at the end of the file, -1 on failure.
  virtual int32_t Read(FileHandle file, void* buffer, int32_t count) = 0;
  virtual int32_t Write(FileHandle file, const void* buffer, int32_t count) = 0;
  // The new position, or a negative value on failure.
  virtual int64_t Seek(FileHandle file, int64_t offset, SeekOrigin origin) = 0;
  virtual void Close(FileHandle file) = 0;

  virtual bool Delete(const std::string& path) = 0;
  // Creates one folder; false when it exists already or cannot be made.
  virtual bool CreateFolder(const std::string& path) = 0;
};

// The operating system's own file layer.
FileSystem& NativeFileSystem();

// The file layer in use: the native one unless a ScopedFileSystem is alive.
FileSystem& Files();

// Puts another file layer in place for the lifetime of this object.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(FileSystem& replacement);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  FileSystem* previous_;
};

}  // namespace stowaway
