#include "archive/packerunit.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "archive/directory.h"
#include "archive/entry_stream.h"
#include "archive/errors.h"
#include "archive/integrity.h"
#include "archive/names.h"
#include "compression/LZRW1.h"
#include "platform/host.h"

namespace stowaway {
namespace {

struct PackerState {
  std::array<ArchiveDirectoryEntry, DirectorySlots> DirectoryTable;
  int32_t EntryCount = 0;
  // From the archive's integrity block: one SHA-256 per entry, or none.
  std::vector<Sha256Digest> EntryHashes;
  bool DirectoryLoaded = false;
  // The archive the table was read from: another archive needs its own.
  std::string DirectoryPath;
  std::unique_ptr<TFileStream> ArchiveStream;
  std::unique_ptr<TFileStream> TargetStream;
  std::unique_ptr<Tlzrw1> ArchiveCodec;
  std::string CurrentEntryName;
  int32_t CurrentPackedSize = 0;
};

PackerState Packer;

// The archive stream and the component of one operation. They are made here
// unless an ExtractAllEntries already holds them, and released by whoever
// made them.
class ArchiveInUse {
 public:
  ArchiveInUse(const std::string& path, const std::function<void()>& hook) {
    if (Packer.ArchiveCodec) return;
    auto stream = std::make_unique<TFileStream>(path, TFileStream::Mode::OpenRead);
    auto codec = std::make_unique<Tlzrw1>();
    codec->CompressMode = TCompressMode::Good;
    codec->UseStream = true;
    Packer.ArchiveStream = std::move(stream);
    Packer.ArchiveCodec = std::move(codec);
    hook_.emplace(hook);
  }
  ~ArchiveInUse() {
    if (!hook_) return;
    Packer.ArchiveCodec.reset();
    Packer.ArchiveStream.reset();
  }
  ArchiveInUse(const ArchiveInUse&) = delete;
  ArchiveInUse& operator=(const ArchiveInUse&) = delete;

 private:
  // Present when this operation made the component: its hook, or none for a
  // lone entry.
  std::optional<HookInUse> hook_;
};

// The output file of one entry: closed on every way out, and deleted unless
// the entry was extracted whole.
class TargetInUse {
 public:
  explicit TargetInUse(std::string path) : path_(std::move(path)) {
    Packer.TargetStream = std::make_unique<TFileStream>(path_, TFileStream::Mode::Create);
  }
  ~TargetInUse() {
    Packer.TargetStream.reset();
    if (!kept_) Files().Delete(path_);
  }
  TargetInUse(const TargetInUse&) = delete;
  TargetInUse& operator=(const TargetInUse&) = delete;

  void Keep() { kept_ = true; }

 private:
  std::string path_;
  bool kept_ = false;
};

}  // namespace

bool ReadArchiveDirectory(const std::string& path) {
  Packer.DirectoryLoaded = false;
  try {
    TFileStream archive(path, TFileStream::Mode::OpenRead);
    ArchiveIndex index = ReadArchiveIndex(archive, path);
    std::copy(index.Entries.begin(), index.Entries.end(), Packer.DirectoryTable.begin());
    Packer.EntryCount = static_cast<int32_t>(index.Entries.size());
    Packer.EntryHashes = std::move(index.Hashes);
    Packer.DirectoryPath = path;
    Packer.DirectoryLoaded = true;
  } catch (...) {
    Packer.EntryCount = 0;
    Packer.EntryHashes.clear();
  }
  return Packer.DirectoryLoaded;
}

bool ExtractArchiveEntry(const std::string& path, const std::string& dest, int32_t index,
                         bool UseStoredPath) {
  if (!Packer.DirectoryLoaded || Packer.DirectoryPath != path) {
    if (!ReadArchiveDirectory(path)) return false;
  }
  if (index < 0 || index >= Packer.EntryCount) {
    throw EArchiveError("Archive entry index out of range: " + std::to_string(index));
  }
  const ArchiveDirectoryEntry& entry = Packer.DirectoryTable[static_cast<size_t>(index)];
  // File-name mode puts every file straight into dest: a folder has no place.
  if (entry.IsFolder() && !UseStoredPath) return true;
  const std::string output = dest + '\\' +
                             SafeOutputName(entry.FileName, entry.StoredPath, UseStoredPath,
                                            "Unsafe file name in archive: ");

  ArchiveInUse archive(path, nullptr);
  if (entry.IsFolder()) {
    // An existing folder is what a second run finds; a missing parent shows
    // up in the entries that need it.
    Files().CreateFolder(HostPathFromArchive(output));
    return true;
  }
  TEntryStream packed(*Packer.ArchiveStream, entry);
  TargetInUse target(HostPathFromArchive(output));
  Packer.CurrentPackedSize = entry.EndOffset - entry.StartOffset;
  Packer.CurrentEntryName = FileNamePart(entry.FileName);
  Tlzrw1& codec = *Packer.ArchiveCodec;
  codec.InputStream = &packed;
  if (Packer.EntryHashes.empty()) {
    codec.OutputStream = Packer.TargetStream.get();
    codec.Decompress();
  } else {
    THashingStream hashed(*Packer.TargetStream);
    codec.OutputStream = &hashed;
    codec.Decompress();
    // A damaged body can decode to the right number of wrong bytes.
    if (hashed.Finish() != Packer.EntryHashes[static_cast<size_t>(index)]) {
      throw EArchiveError("Entry does not match its SHA-256 hash in archive: " + entry.FileName);
    }
  }
  target.Keep();
  return true;
}

bool ExtractAllEntries(const std::string& path, const std::string& dest,
                       const std::function<void()>& hook, bool UseStoredPath) {
  if (!ReadArchiveDirectory(path)) return false;
  try {
    ArchiveInUse archive(path, hook);
    for (int32_t index = 0; index < Packer.EntryCount; ++index) {
      ExtractArchiveEntry(path, dest, index, UseStoredPath);
    }
    return true;
  } catch (...) {
    return false;
  }
}

void GetEntryCounters(int32_t& bytes_read, int32_t& bytes_written) {
  if (!Packer.ArchiveCodec) return;
  bytes_read = Packer.ArchiveCodec->BytesRead;
  bytes_written = Packer.ArchiveCodec->BytesWritten;
}

const std::string& CurrentEntryName() { return Packer.CurrentEntryName; }

int32_t CurrentPackedSize() { return Packer.CurrentPackedSize; }

}  // namespace stowaway
