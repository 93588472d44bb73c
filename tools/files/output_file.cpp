#include "tools/files/output_file.h"

#include "platform/host.h"
#include "platform/system_error.h"
#include "tools/errors.h"

namespace stowaway {
namespace {

// A clash with another file of the same temporary name is worth a few more
// tries; other failures are not.
constexpr unsigned Attempts = 16;

const OpenFolder& OpenParent(std::optional<OpenFolder>& own, const std::string& path) {
  const std::string folder = SplitPath(path).first;
  own = OpenFolder::Open(folder);
  if (!own) {
    throw EToolFailure("cannot write " + path + ": its folder " + folder + " cannot be opened: " +
                       LastSystemError());
  }
  return *own;
}

}  // namespace

std::pair<std::string, std::string> SplitPath(const std::string& path) {
  size_t cut = path.find_last_of(PathSeparator() == '\\' ? "\\/:" : "/");
  if (cut == std::string::npos) return {".", path};
  const std::string name = path.substr(cut + 1);
  // The root keeps its separator, and a drive its colon.
  const bool keep = cut == 0 || path[cut] == ':' || (cut == 2 && path[1] == ':');
  return {path.substr(0, keep ? cut + 1 : cut), name};
}

std::string OutputFile::TemporaryName(unsigned number) {
  return ".stowaway-" + std::to_string(ProcessNumber()) + '-' + std::to_string(number) + ".tmp";
}

OutputFile::OutputFile(const std::string& path, bool replace, const std::string& notice)
    : folder_(&OpenParent(own_folder_, path)),
      name_(SplitPath(path).second),
      path_(path),
      replace_(replace) {
  Create(notice);
}

OutputFile::OutputFile(const OpenFolder& folder, const std::string& name, bool replace,
                       const std::string& notice)
    : folder_(&folder), name_(name), path_(folder.PathOf(name)), replace_(replace) {
  Create(notice);
}

void OutputFile::Create(const std::string& notice) {
  // Each file of a run gets a number of its own, so that no two share a
  // temporary name even when one is left behind.
  static unsigned next = 0;
  for (unsigned attempt = 0; attempt < Attempts; ++attempt) {
    temporary_ = TemporaryName(next++);
    guard_.emplace(*folder_, temporary_, notice);
    const FileHandle file = folder_->CreateNewFile(temporary_);
    if (file > 0) {
      stream_ = std::make_unique<TFileStream>(file);
      return;
    }
    const std::string reason = LastSystemError();
    guard_.reset();
    if (folder_->KindOf(temporary_) == EntryKind::Missing) {
      throw EToolFailure("cannot create " + path_ + ": " + reason);
    }
  }
  throw EToolFailure("cannot create " + path_ + ": " + std::to_string(Attempts) +
                     " temporary names in a row (" + temporary_ + " the last) are taken in " +
                     folder_->Path() + "; remove them");
}

OutputFile::~OutputFile() {
  stream_.reset();
  if (!committed_ && guard_) folder_->Remove(temporary_);
}

void OutputFile::Commit() {
  stream_.reset();
  if (!folder_->Rename(temporary_, name_, replace_)) {
    const std::string reason = LastSystemError();
    if (!replace_ && !folder_->IdentityOf(name_).empty()) {
      throw EToolFailure(path_ + " exists already; use --force to replace it");
    }
    // The rename is where the file gets its name, so its failure is the
    // name's: too long, or not one this file system takes.
    throw EToolFailure("cannot create " + path_ + ": " + reason);
  }
  committed_ = true;
  guard_.reset();
}

}  // namespace stowaway
