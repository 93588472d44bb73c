// Ctrl-C, and the system's requests to end a program, while the program
// holds a half-written file that must not outlive it.
#pragma once

#include <string>

#include "platform/open_folder.h"

namespace stowaway {

// Raised by CheckInterrupt. Deliberately not an Exception, so that code on
// its way out that turns failures into messages lets it pass.
struct Interrupted {};

// While a guard lives, an interrupt removes the file at path, writes notice
// to standard error and ends the process: at once where the system lets the
// interrupt's handler remove the file (POSIX: the process then dies of the
// signal), or at the next CheckInterrupt, which raises Interrupted so that
// the caller's clean-up removes the file (Windows, where an open file cannot
// be removed). One guard at a time.
//
// While a guard lives, a write past the process's file-size limit fails
// (POSIX: SIGXFSZ is ignored) instead of killing the process, so that the
// failure is reported and the file removed.
class InterruptGuard {
 public:
  InterruptGuard(const std::string& path, const std::string& notice);
  // The file name inside folder, removed through the folder's handle.
  InterruptGuard(const OpenFolder& folder, const std::string& name, const std::string& notice);
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// Raises Interrupted when an interrupt came while a guard lives and has not
// ended the process yet. Long work calls it often.
void CheckInterrupt();

}  // namespace stowaway
