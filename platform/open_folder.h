// A folder held open, and what is made inside it through that handle. Once
// a folder is open, nothing done to the names above it (a folder renamed, a
// link put in its place) changes where its children go, so a check made on
// the way down cannot go stale. Below the folder first opened no link is
// followed: a link where a folder or file is expected is refused.
//
// Names given to the operations are single names inside the folder, never
// paths. Where an operation fails, LastSystemError() (platform/
// system_error.h) gives the system's reason right after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file.h"

namespace stowaway {

// What a name in a folder is, links not followed; Missing also for a name
// that cannot be looked at (too long, no permission).
enum class EntryKind { Missing, File, Folder, Link, Other };

class OpenFolder {
 public:
  // The folder at path, links in it followed (the user named it). Nothing
  // when it cannot be opened as a folder.
  static std::optional<OpenFolder> Open(const std::string& path);

  ~OpenFolder();
  OpenFolder(OpenFolder&& other) noexcept;
  OpenFolder& operator=(OpenFolder&& other) noexcept;
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;

  // The path this folder was reached by, for messages.
  const std::string& Path() const { return path_; }
  // Path() joined with name ("./a.txt" says no more than "a.txt").
  std::string PathOf(const std::string& name) const;

  EntryKind KindOf(const std::string& name) const;
  // A text that two names share exactly when they are the same file (links
  // not followed); empty when name is missing. Compares with FileIdentity
  // (platform/folder.h) and HandleIdentity.
  std::string IdentityOf(const std::string& name) const;

  // The folder name, made first when it is missing and make is true.
  // Nothing when it cannot be made or opened, or when name is a link or not
  // a folder.
  std::optional<OpenFolder> Child(const std::string& name, bool make) const;

  // Creates the file name, which must not exist (not even as a link): read
  // and write access, no sharing. A negative handle on failure; the file is
  // used and closed through Files().
  FileHandle CreateNewFile(const std::string& name) const;

  // Gives the file from the name to, both in this folder. With replace, a
  // file (or link) named to is replaced, never followed; without, the rename
  // fails when to exists.
  bool Rename(const std::string& from, const std::string& to, bool replace) const;
  // Removes the file name (a link itself, not what it leads to).
  bool Remove(const std::string& name) const;

  // The system's handle of the folder: a descriptor on POSIX.
  intptr_t Native() const { return handle_; }

 private:
  OpenFolder(intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  intptr_t handle_;
  std::string path_;
};

// The identity of an open file, in the form of OpenFolder::IdentityOf.
std::string HandleIdentity(FileHandle file);

}  // namespace stowaway
