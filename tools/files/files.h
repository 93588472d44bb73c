// Checks and openings of the files named on a command line, with messages
// that name the file and say what to do.
#pragma once

#include <memory>
#include <string>

#include "platform/stream.h"

namespace stowaway {

// Raises EToolFailure when path names a folder or something other than a
// file (links followed); a missing file is left to the opening to explain.
void RequireFile(const std::string& path);
// Raises EToolFailure when path is a folder, or exists and force is false.
void RequireReplaceable(const std::string& path, bool force);
// Opens an existing file for reading. Raises EToolFailure with the
// system's reason ("a.txt: cannot be opened: No such file or directory").
std::unique_ptr<TFileStream> OpenInput(const std::string& path);
// Its size, or EToolFailure when it cannot be told.
int64_t InputSize(TStream& input, const std::string& path);
// Raises EToolFailure unless path is a Windows program, saying that option
// names role.
void RequireProgram(const std::string& path, const std::string& option, const std::string& role);

// What an interrupt prints while output is being written.
std::string InterruptNotice(const std::string& command, const std::string& output);

// Writes "stowaway COMMAND: note: text" to standard error.
void Note(const std::string& command, const std::string& text);

}  // namespace stowaway
