// A file that appears under its name only once it is complete. It is
// written under a short temporary name in the folder of its final one and
// renamed into place by Commit; without Commit (a failure, Ctrl-C) the
// temporary file is removed and a file that had the final name before stays
// as it was. Everything goes through the folder's handle (platform/
// open_folder.h): the temporary file is made new, never opened through a
// link, and the rename replaces a link rather than following it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/interrupt.h"
#include "platform/open_folder.h"
#include "platform/stream.h"

namespace stowaway {

class OutputFile {
 public:
  // The file at path, in the folder path names (links in it followed: the
  // user named it). replace lets Commit replace a file of that name. notice
  // is what an interrupt writes to standard error. Raises EToolFailure
  // when the folder cannot be opened or the temporary file made, with the
  // system's reason.
  OutputFile(const std::string& path, bool replace, const std::string& notice);
  // The file name inside folder, which must outlive this object.
  OutputFile(const OpenFolder& folder, const std::string& name, bool replace,
             const std::string& notice);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  TFileStream& Stream() { return *stream_; }
  // The final path, for messages.
  const std::string& Path() const { return path_; }
  // Closes the file and gives it its final name. Raises EToolFailure when
  // the rename fails: without replace, because the name is taken.
  void Commit();

  // The temporary names this process uses, numbered from 0 in the order
  // they are made: short, whatever the final name, so that a name near the
  // system's limit still gets one.
  static std::string TemporaryName(unsigned number);

 private:
  void Create(const std::string& notice);

  std::optional<OpenFolder> own_folder_;
  const OpenFolder* folder_;
  std::string name_;
  std::string path_;
  bool replace_;
  std::string temporary_;
  // Armed before the file exists and disarmed after it is gone or renamed.
  std::optional<InterruptGuard> guard_;
  std::unique_ptr<TFileStream> stream_;
  bool committed_ = false;
};

// The folder part of path ("." when it has none) and its last name.
std::pair<std::string, std::string> SplitPath(const std::string& path);

}  // namespace stowaway
