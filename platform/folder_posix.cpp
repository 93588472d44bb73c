#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>

#include <memory>

#include "platform/folder.h"
#include "platform/system_error.h"

namespace stowaway {
namespace {

struct FolderCloser {
  void operator()(DIR* folder) const { ::closedir(folder); }
};

}  // namespace

PathKind KindOfPath(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return PathKind::Missing;
  if (S_ISREG(info.st_mode)) return PathKind::File;
  if (S_ISDIR(info.st_mode)) return PathKind::Folder;
  return PathKind::Other;
}

std::string UnreachableReason(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) return {};
  return LastSystemError();
}

bool IsLink(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  const std::unique_ptr<DIR, FolderCloser> listing(::opendir(folder.c_str()));
  if (!listing) throw EFOpenError("Cannot read folder " + folder);
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing.get());
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (errno != 0) throw EFOpenError("Cannot read folder " + folder);
  return names;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string FileIdentity(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return {};
  return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino);
}

}  // namespace stowaway
