#include "tools/files/files.h"

#include <iostream>

#include "platform/folder.h"
#include "platform/terminal.h"
#include "tools/errors.h"

namespace stowaway {

void RequireFile(const std::string& path) {
  switch (KindOfPath(path)) {
    case PathKind::File:
    case PathKind::Missing:  // opening it tells why
      return;
    case PathKind::Folder:
      throw EToolFailure(path + " is a folder; name a file");
    case PathKind::Other:
      throw EToolFailure(path + ": not a regular file; name a file");
  }
}

void RequireReplaceable(const std::string& path, bool force) {
  const PathKind kind = KindOfPath(path);
  if (kind == PathKind::Folder) throw EToolFailure(path + " is a folder; name a file to write");
  if (!force && (kind != PathKind::Missing || IsLink(path))) {
    throw EToolFailure(path + " exists already; use --force to replace it");
  }
}

std::unique_ptr<TFileStream> OpenInput(const std::string& path) {
  RequireFile(path);
  std::string reason;
  std::unique_ptr<TFileStream> input = TFileStream::TryOpen(path, TFileStream::Mode::OpenRead, reason);
  if (!input) throw EToolFailure(path + ": cannot be opened: " + reason);
  return input;
}

int64_t InputSize(TStream& input, const std::string& path) {
  const int64_t size = input.Size();
  if (size < 0) throw EToolFailure(path + ": cannot tell its size; name a regular file");
  return size;
}

std::string InterruptNotice(const std::string& command, const std::string& output) {
  // On a terminal the notice may interrupt a progress bar's line.
  const std::string start = IsTerminal(Channel::Error) ? "\n" : "";
  return start + "stowaway " + command + ": interrupted; " + output + " was not written\n";
}

void Note(const std::string& command, const std::string& text) {
  std::cout.flush();
  std::cerr << "stowaway " << command << ": note: " << text << '\n';
}

void RequireProgram(const std::string& path, const std::string& option, const std::string& role) {
  const std::unique_ptr<TFileStream> program = OpenInput(path);
  char start[2] = {};
  if (program->Read(start, 2) != 2 || start[0] != 'M' || start[1] != 'Z') {
    throw EToolFailure(path + ": not a Windows program (it does not begin with \"MZ\"); " +
                       option + " names " + role);
  }
}

}  // namespace stowaway
