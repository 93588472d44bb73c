#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"

namespace stowaway {
namespace {

FileHandle OpenWith(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  if (fd == 0) {
    // 0 means "no file" to the callers; move the descriptor off it.
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
    ::close(fd);
    if (moved < 0) return -1;
    fd = moved;
  }
  if ((flags & O_ACCMODE) == O_RDONLY) {
    struct stat info;
    // Only plain files: a folder opens for reading on POSIX but not on Windows.
    const bool stated = ::fstat(fd, &info) == 0;
    if (!stated || S_ISDIR(info.st_mode)) {
      const int reason = stated ? EISDIR : errno;
      ::close(fd);
      errno = reason;
      return -1;
    }
  }
  return fd;
}

class PosixFileSystem final : public FileSystem {
 public:
  FileHandle OpenRead(const std::string& path) override { return OpenWith(path, O_RDONLY); }
  FileHandle OpenReadShared(const std::string& path) override { return OpenWith(path, O_RDONLY); }
  FileHandle OpenReadWriteShared(const std::string& path) override { return OpenWith(path, O_RDWR); }
  FileHandle Create(const std::string& path) override {
    return OpenWith(path, O_RDWR | O_CREAT | O_TRUNC);
  }

  int32_t Read(FileHandle file, void* buffer, int32_t count) override {
    auto* out = static_cast<char*>(buffer);
    int32_t done = 0;
    while (done < count) {
      const ssize_t got = ::read(file, out + done, static_cast<size_t>(count - done));
      if (got < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (got == 0) break;
      done += static_cast<int32_t>(got);
    }
    return done;
  }

  int32_t Write(FileHandle file, const void* buffer, int32_t count) override {
    const auto* in = static_cast<const char*>(buffer);
    int32_t done = 0;
    while (done < count) {
      const ssize_t put = ::write(file, in + done, static_cast<size_t>(count - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return done > 0 ? done : -1;
      }
      if (put == 0) break;
      done += static_cast<int32_t>(put);
    }
    return done;
  }

  int64_t Seek(FileHandle file, int64_t offset, SeekOrigin origin) override {
    const int whence = origin == SeekOrigin::Begin ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                        : SEEK_END;
    const off_t at = ::lseek(file, static_cast<off_t>(offset), whence);
    return at < 0 ? -1 : static_cast<int64_t>(at);
  }

  void Close(FileHandle file) override { ::close(file); }

  bool Delete(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool CreateFolder(const std::string& path) override {
    return ::mkdir(path.c_str(), 0777) == 0;
  }
};

}  // namespace

FileSystem& NativeFileSystem() {
  static PosixFileSystem files;
  return files;
}

}  // namespace stowaway
