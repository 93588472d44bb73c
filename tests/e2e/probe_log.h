// Reading the log that the probe front-end (tests/frontend) writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stowaway::testing {

struct LoggedReport {
  uintptr_t wParam = 0;
  uintptr_t dwData = 0;
  uint32_t cbData = 0;
  int32_t read = 0;
  int32_t written = 0;
  int percent = 0;
  int length = 0;
  std::string name;
};

struct ProbeLog {
  bool exists = false;
  uint32_t process_id = 0;
  std::string command_line;
  bool has_installer = false;  // the variables the unpacker set, if it did
  std::string installer;
  bool has_arguments = false;
  std::string arguments;
  uintptr_t unpacker = 0;
  std::vector<LoggedReport> reports;
  // Every line after "unpacker" in order, reduced to its first word, with
  // the number for "message" lines ("report", "message 1025", "finish", ...).
  std::vector<std::string> sequence;
  std::vector<std::string> messages;  // whole "message ..." lines
  std::string finish;                 // the "finish ..." line without its first word
  bool ended = false;
};

// An absent file gives a log whose `exists` is false.
ProbeLog ReadProbeLog(const std::string& path);

}  // namespace stowaway::testing
