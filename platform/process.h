// Other processes: starting one, waiting for it with a time-out, ending it.
// Windows builds only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/exception.h"

namespace stowaway {

STOWAWAY_EXCEPTION_CLASS(EProcessError, Exception);

// The command line this process was started with, as the platform gives it.
std::string OwnCommandLine();
uint32_t OwnProcessId();

// For a process started by another one: true when the process of that id
// has ended within the time given, or is gone already.
bool WaitForProcess(uint32_t id, uint32_t milliseconds);
// Ends the process of that id at once, if it still runs.
void EndProcess(uint32_t id);

// A process this one started. The destructor ends it if it still runs, so a
// failed test never leaves one behind.
class ChildProcess {
 public:
  // Starts command_line with this process's environment, in which the
  // variables of `environment` are added or replaced. Raises EProcessError
  // "Cannot start process %s" when it cannot be started.
  ChildProcess(const std::string& command_line,
               const std::map<std::string, std::string>& environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  uint32_t Id() const { return id_; }
  // True when the process ended within the time given.
  bool WaitForExit(uint32_t milliseconds);
  // Ends the process at once, if it still runs, and waits for its end.
  void Terminate();
  // Valid once WaitForExit has returned true.
  uint32_t ExitCode() const;

 private:
  uintptr_t process_ = 0;
  uint32_t id_ = 0;
};

}  // namespace stowaway
