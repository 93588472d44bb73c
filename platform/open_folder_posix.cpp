#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/open_folder.h"

namespace stowaway {
namespace {

// 0 means "no file" to the file layer's callers; a descriptor there is moved.
int OffZero(int fd) {
  if (fd != 0) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return moved;
}

int OpenAt(int folder, const char* name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(folder, name, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? -1 : OffZero(fd);
}

std::string Identity(const struct stat& info) {
  return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino);
}

}  // namespace

std::optional<OpenFolder> OpenFolder::Open(const std::string& path) {
  const int fd = OpenAt(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return std::nullopt;
  return OpenFolder(fd, path);
}

OpenFolder::~OpenFolder() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = -1;
  }
  return *this;
}

std::string OpenFolder::PathOf(const std::string& name) const {
  if (path_ == ".") return name;
  if (path_.empty() || path_.back() == '/') return path_ + name;
  return path_ + '/' + name;
}

EntryKind OpenFolder::KindOf(const std::string& name) const {
  struct stat info;
  if (::fstatat(static_cast<int>(handle_), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return EntryKind::Missing;
  }
  if (S_ISLNK(info.st_mode)) return EntryKind::Link;
  if (S_ISDIR(info.st_mode)) return EntryKind::Folder;
  if (S_ISREG(info.st_mode)) return EntryKind::File;
  return EntryKind::Other;
}

std::string OpenFolder::IdentityOf(const std::string& name) const {
  struct stat info;
  if (::fstatat(static_cast<int>(handle_), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return {};
  return Identity(info);
}

std::optional<OpenFolder> OpenFolder::Child(const std::string& name, bool make) const {
  const int folder = static_cast<int>(handle_);
  if (make && ::mkdirat(folder, name.c_str(), 0777) != 0 && errno != EEXIST) return std::nullopt;
  // O_NOFOLLOW refuses a link put in place of the folder, even one made
  // between the mkdirat and here.
  const int fd = OpenAt(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  return OpenFolder(fd, PathOf(name));
}

FileHandle OpenFolder::CreateNewFile(const std::string& name) const {
  return OpenAt(static_cast<int>(handle_), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW,
                0666);
}

bool OpenFolder::Rename(const std::string& from, const std::string& to, bool replace) const {
  const int folder = static_cast<int>(handle_);
  if (replace) return ::renameat(folder, from.c_str(), folder, to.c_str()) == 0;
  if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: a second name for the file, which fails
  // on an existing one, then the first name removed.
  if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0) return false;
  ::unlinkat(folder, from.c_str(), 0);
  return true;
}

bool OpenFolder::Remove(const std::string& name) const {
  return ::unlinkat(static_cast<int>(handle_), name.c_str(), 0) == 0;
}

std::string HandleIdentity(FileHandle file) {
  struct stat info;
  if (::fstat(file, &info) != 0) return {};
  return Identity(info);
}

}  // namespace stowaway
