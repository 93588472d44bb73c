// Reading an archive's trailer and extracting every entry, in file-name mode
// and in stored-path mode, into a scratch folder. Whatever the archive says,
// nothing is opened, created or deleted but the archive and paths below the
// destination folder, no file is left open, the scratch folder holds nothing
// else afterwards, and an entry is read only within its own bytes.
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "archive/directory.h"
#include "archive/packerunit.h"
#include "fuzz/fuzz_support.h"
#include "platform/file.h"
#include "platform/host.h"
#include "tests/support/test_data.h"

namespace {

namespace fs = std::filesystem;
using namespace stowaway;

// Bounds the disk traffic of one extraction; beyond it the disk is full.
constexpr int64_t WriteBudget = 1 << 16;
// More entries make more files, not other paths through the code: an
// archive announcing more than this (and no more than the reader takes) is
// passed over, so that one execution stays well under a millisecond.
constexpr int32_t MaxEntries = 32;

// The native file layer, confined: the archive may be opened for reading,
// and files and folders may be made or deleted only below the destination.
class ConfinedFiles final : public FileSystem {
 public:
  ConfinedFiles(std::string archive, std::string dest) : archive_(std::move(archive)), dest_(std::move(dest)) {}

  FileHandle OpenRead(const std::string& path) override { return Reading(path, &FileSystem::OpenRead); }
  FileHandle OpenReadShared(const std::string& path) override {
    return Reading(path, &FileSystem::OpenReadShared);
  }
  FileHandle OpenReadWriteShared(const std::string& path) override {
    return Reading(path, &FileSystem::OpenReadWriteShared);
  }
  FileHandle Create(const std::string& path) override {
    RequireInside(path);
    return Track(Native().Create(path));
  }
  int32_t Read(FileHandle file, void* buffer, int32_t count) override { return Native().Read(file, buffer, count); }
  int32_t Write(FileHandle file, const void* buffer, int32_t count) override {
    if (written_ + count > WriteBudget) return -1;
    const int32_t put = Native().Write(file, buffer, count);
    if (put > 0) written_ += put;
    return put;
  }
  int64_t Seek(FileHandle file, int64_t offset, SeekOrigin origin) override {
    return Native().Seek(file, offset, origin);
  }
  void Close(FileHandle file) override {
    fuzz::Require(open_.erase(file) == 1, "a file closed that was not open");
    Native().Close(file);
  }
  bool Delete(const std::string& path) override {
    RequireInside(path);
    return Native().Delete(path);
  }
  bool CreateFolder(const std::string& path) override {
    RequireInside(path);
    return Native().CreateFolder(path);
  }

  bool AllClosed() const { return open_.empty(); }

 private:
  static FileSystem& Native() { return NativeFileSystem(); }

  FileHandle Reading(const std::string& path, FileHandle (FileSystem::*open)(const std::string&)) {
    fuzz::Require(path == archive_, "a file other than the archive opened for reading");
    return Track((Native().*open)(path));
  }

  FileHandle Track(FileHandle file) {
    if (file > 0) open_.insert(file);
    return file;
  }

  // Below the destination: every component between separators ('\', and '/'
  // on the build machine) names something, is not '.' or '..' (nor what
  // Windows trims to them), and no ':' points at a drive or a stream.
  void RequireInside(const std::string& path) const {
    const std::string prefix = HostPathFromArchive(dest_ + '\\');
    fuzz::Require(path.compare(0, prefix.size(), prefix) == 0, "a path outside the destination");
    const std::string rest = path.substr(prefix.size());
    fuzz::Require(rest.find(':') == std::string::npos, "a drive or stream in an output path");
    size_t begin = 0;
    for (;;) {
      const size_t end = std::min(rest.find_first_of("\\/", begin), rest.size());
      const std::string part = rest.substr(begin, end - begin);
      fuzz::Require(part.find_first_not_of(". ") != std::string::npos, "an output path that climbs or names nothing");
      if (end == rest.size()) return;
      begin = end + 1;
    }
  }

  std::string archive_;
  std::string dest_;
  std::set<FileHandle> open_;
  int64_t written_ = 0;
};

void ProgressPoint() {
  int32_t read = -1;
  int32_t written = -1;
  GetEntryCounters(read, written);
  fuzz::Require(read >= 0 && written >= 0, "no counts while an entry is extracted");
  fuzz::Require(read <= CurrentPackedSize(), "an entry read beyond its own bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 4) {
    const auto count = static_cast<int32_t>(LoadLE32(data + size - 4));
    if (count > MaxEntries && count <= DirectorySlots) return 0;
  }
  // Removed when the process ends.
  static const testing::TempDir scratch;
  const fs::path archive = scratch.Path() / "setup.exe";
  const fs::path dest = scratch.Path() / "dest";
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  for (const bool stored_paths : {false, true}) {
    fs::remove_all(dest);
    fs::create_directory(dest);
    ConfinedFiles files(archive.string(), dest.string());
    {
      ScopedFileSystem scope(files);
      ExtractAllEntries(archive.string(), dest.string(), ProgressPoint, stored_paths);
    }
    fuzz::Require(files.AllClosed(), "a file left open");
    fuzz::Require(!ProgressHook, "the progress hook outlived the extraction");
  }
  for (const auto& item : fs::directory_iterator(scratch.Path())) {
    fuzz::Require(item.path() == archive || item.path() == dest, "something made beside the destination");
  }
  return 0;
}
