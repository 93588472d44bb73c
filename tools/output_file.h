// A file that appears under its name only once it is complete. It is
// written under a temporary name beside its final one and renamed into place
// by Commit; without Commit (a failure, Ctrl-C) the temporary file is
// removed and a file that had the final name before stays as it was.
#pragma once

#include <memory>
#include <string>

#include "platform/interrupt.h"
#include "platform/stream.h"

namespace stowaway {

class OutputFile {
 public:
  // notice is what an interrupt writes to standard error. Raises
  // EToolFailure when the temporary file cannot be created.
  OutputFile(const std::string& path, const std::string& notice);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  TStream& Stream() { return *stream_; }
  // Closes the file and gives it its final name, replacing a file of that
  // name. Raises EToolFailure when the rename fails.
  void Commit();

  // The temporary name used for path by this process.
  static std::string TemporaryName(const std::string& path);

 private:
  std::string path_;
  std::string temporary_;
  // Armed before the file exists and disarmed after it is gone or renamed.
  InterruptGuard guard_;
  std::unique_ptr<TFileStream> stream_;
  bool committed_ = false;
};

}  // namespace stowaway
