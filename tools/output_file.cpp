#include "tools/output_file.h"

#include "platform/folder.h"
#include "platform/host.h"
#include "tools/errors.h"

namespace stowaway {

namespace {

// Whatever has the name already is not ours to replace, and a link there
// could lead the data anywhere.
std::string UnusedTemporaryName(const std::string& path) {
  const std::string name = OutputFile::TemporaryName(path);
  if (KindOfPath(name) != PathKind::Missing || IsLink(name)) {
    throw EToolFailure(name + " is in the way of the file being written; remove it");
  }
  return name;
}

}  // namespace

std::string OutputFile::TemporaryName(const std::string& path) {
  return path + ".stowaway-" + std::to_string(ProcessNumber()) + ".tmp";
}

OutputFile::OutputFile(const std::string& path, const std::string& notice)
    : path_(path), temporary_(UnusedTemporaryName(path)), guard_(temporary_, notice) {
  try {
    stream_ = std::make_unique<TFileStream>(temporary_, TFileStream::Mode::Create);
  } catch (const Exception&) {
    throw EToolFailure("cannot create " + temporary_ + " (to become " + path_ +
                       "); check that its folder exists and can be written");
  }
}

OutputFile::~OutputFile() {
  stream_.reset();
  if (!committed_) Files().Delete(temporary_);
}

void OutputFile::Commit() {
  stream_.reset();
  if (!RenameFile(temporary_, path_)) {
    throw EToolFailure("cannot rename " + temporary_ + " to " + path_ +
                       "; check that " + path_ + " is not a folder or in use");
  }
  committed_ = true;
}

}  // namespace stowaway
