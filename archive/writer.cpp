#include "archive/writer.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "archive/directory.h"
#include "archive/certificate_table.h"
#include "archive/errors.h"
#include "archive/integrity.h"
#include "archive/names.h"
#include "archive/parallel_pack.h"
#include "compression/bytes.h"

namespace stowaway {
namespace {

// Every byte of the archive passes here, which keeps the archive below
// ArchiveSizeLimit: a write that would reach it moves nothing.
class LimitedOutput final : public TStream {
 public:
  explicit LimitedOutput(TStream& out) : out_(out), position_(out.Position()) {
    if (position_ < 0) throw EArchiveError("Cannot write the archive");
  }

  int32_t Read(void*, int32_t) override { return -1; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (position_ + count >= ArchiveSizeLimit) {
      reached_ = true;
      return 0;
    }
    const int32_t put = out_.Write(buffer, count);
    if (put > 0) position_ += put;
    return put;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    const int64_t at = out_.Seek(offset, origin);
    if (at >= 0) position_ = at;
    return at;
  }

  int64_t At() const { return position_; }
  bool Reached() const { return reached_; }

 private:
  TStream& out_;
  int64_t position_;
  bool reached_ = false;
};

[[noreturn]] void WouldReachLimitAt(const std::string& place) {
  throw EArchiveError("Archive would reach 2 GiB at " + place);
}

[[noreturn]] void WouldReachLimit(const ArchiveItem& item) { WouldReachLimitAt("entry " + item.FileName); }

// How messages name a source: its path, or the name it is stored under.
std::string SourceName(const ByteSource& source, const std::string& stored_as) {
  return source.IsFile() ? source.Path() : stored_as;
}

// Bytes in memory are copied into a stream of their own for the time one
// entry is packed: they were in memory already.
std::unique_ptr<TStream> OpenSource(const ByteSource& source) {
  if (source.IsFile()) {
    return std::make_unique<TFileStream>(source.Path(), TFileStream::Mode::OpenRead);
  }
  return std::make_unique<TMemoryStream>(source.Bytes());
}

int64_t SourceSize(const ByteSource& source, const std::string& stored_as) {
  const int64_t size =
      source.IsFile() ? OpenSource(source)->Size() : static_cast<int64_t>(source.Bytes().size());
  if (size < 0) throw EArchiveError("Cannot read file " + source.Path());
  if (size >= ArchiveSizeLimit) {
    throw EArchiveError("File too large for an archive (2 GiB or more): " +
                        SourceName(source, stored_as));
  }
  return size;
}

void CheckNameLength(const std::string& name) {
  if (name.size() > static_cast<size_t>(record::NameCapacity)) {
    throw EArchiveError("Name too long for an archive entry (over 200 characters): " + name);
  }
}

// The name item extracts to, once it is known to be safe in layout; empty
// for a folder entry in the file-name layout, which extracts to nothing.
std::string CheckedOutputName(const ArchiveItem& item, ArchiveLayout layout) {
  const bool stored_paths = layout == ArchiveLayout::StoredPaths;
  if (item.IsFolder() && !stored_paths) return {};
  return SafeOutputName(item.FileName, item.StoredPath, stored_paths,
                        "Unsafe file name for an archive entry: ");
}

// place: what the archive would reach the limit at, for the message.
void WriteAll(LimitedOutput& out, const void* buffer, int32_t count, const std::string& place) {
  if (out.Write(buffer, count) == count) return;
  if (out.Reached()) WouldReachLimitAt(place);
  throw EArchiveError("Cannot write the archive");
}

void CopyImage(LimitedOutput& out, const ByteSource& image) {
  const std::unique_ptr<TStream> in = OpenSource(image);
  const std::string place = "the program image";
  std::vector<uint8_t> block(BlockSize);
  for (;;) {
    const int32_t got = in->Read(block.data(), BlockSize);
    if (got < 0) throw EArchiveError("Cannot read file " + image.Path());
    if (got == 0) return;
    WriteAll(out, block.data(), got, place);
  }
}

// Packs item into out (the archive, or a stream of the item's own while
// others are packed); returns the SHA-256 of its bytes.
Sha256Digest PackItem(Tlzrw1& codec, TStream& out, const ArchiveItem& item) {
  const std::unique_ptr<TStream> in = OpenSource(item.Content);
  THashingStream hashed(*in);
  codec.UseStream = true;
  codec.CompressMode = item.CompressMode;
  codec.InputStream = &hashed;
  codec.OutputStream = &out;
  try {
    codec.Compress();
  } catch (const Exception& failure) {
    throw EArchiveError("Cannot pack " + item.FileName + ": " + failure.Message());
  }
  if (hashed.Hashed() != in->Size()) {
    throw EArchiveError("Cannot pack " + item.FileName + ": it changed while it was read");
  }
  return hashed.Finish();
}

// Zero bytes that make an archive ending at end a multiple of the signing
// alignment long, so that signing appends its table without padding.
int32_t FillerSize(int64_t end) {
  return static_cast<int32_t>((SigningAlignment - end % SigningAlignment) % SigningAlignment);
}

Sha256Digest PackItem(Tlzrw1& codec, LimitedOutput& out, const ArchiveItem& item,
                      const std::function<void()>& hook) {
  HookInUse progress(hook);
  try {
    return PackItem(codec, static_cast<TStream&>(out), item);
  } catch (const EArchiveError&) {
    if (out.Reached()) WouldReachLimit(item);
    throw;
  }
}

// A stream packed on another thread, into the archive.
void CopyPacked(LimitedOutput& out, const std::vector<uint8_t>& packed, const ArchiveItem& item) {
  constexpr size_t Piece = size_t{1} << 20;
  for (size_t at = 0; at < packed.size(); at += Piece) {
    const auto count = static_cast<int32_t>(std::min(Piece, packed.size() - at));
    WriteAll(out, packed.data() + at, count, "entry " + item.FileName);
  }
}

int64_t WriteCheckedArchive(TStream& out, const ByteSource& image,
                            const std::vector<ArchiveItem>& items, const PackProgress& progress,
                            int jobs) {
  LimitedOutput archive(out);
  const int64_t first = archive.At();
  CopyImage(archive, image);
  IntegrityBlock hashes;
  hashes.EntryHashes.resize(items.size());
  std::vector<Sha256Digest>& entry_hashes = hashes.EntryHashes;
  std::unique_ptr<PackingPipeline> pipeline;
  if (jobs > 1) {
    // Each thread writes the hash of its own entry, which the writer reads
    // only once it has taken that entry's stream.
    pipeline = std::make_unique<PackingPipeline>(
        items, jobs, [&](Tlzrw1& codec, const ArchiveItem& item, TStream& packed) {
          entry_hashes[static_cast<size_t>(&item - items.data())] = PackItem(codec, packed, item);
        });
  }

  Tlzrw1 codec;
  std::vector<uint8_t> trailer(items.size() * DirectoryEntrySize + EntryCountSize);
  for (size_t i = 0; i < items.size(); ++i) {
    const ArchiveItem& item = items[i];
    const auto index = static_cast<int32_t>(i);
    ArchiveDirectoryEntry entry;
    entry.Signature = ArchiveSignature;
    entry.StartOffset = static_cast<int32_t>(archive.At());
    entry.FileName = item.FileName;
    entry.StoredPath = item.StoredPath;
    if (item.IsFolder()) {
      if (progress) progress(index, 0, 0);
    } else if (pipeline) {
      CopyPacked(archive, pipeline->Take(i, progress), item);
    } else {
      std::function<void()> hook;
      if (progress) hook = [&] { progress(index, codec.BytesRead, codec.BytesWritten); };
      entry_hashes[i] = PackItem(codec, archive, item, hook);
    }
    entry.EndOffset = static_cast<int32_t>(archive.At());
    EncodeDirectoryEntry(entry, trailer.data() + i * DirectoryEntrySize);
  }
  StoreLE32(trailer.data() + items.size() * DirectoryEntrySize,
            static_cast<uint32_t>(items.size()));
  hashes.DirectoryHash = Sha256::Of(trailer.data(), items.size() * DirectoryEntrySize);
  const std::vector<uint8_t> block = EncodeIntegrityBlock(hashes);

  // The filler lies behind the last packed stream, where readers going by
  // the records' offsets never look, and the count stays the last bytes.
  const std::string place = "entry " + items.back().FileName;
  const std::vector<uint8_t> filler(
      static_cast<size_t>(FillerSize(archive.At() + static_cast<int64_t>(block.size() + trailer.size()))), 0);
  WriteAll(archive, filler.data(), static_cast<int32_t>(filler.size()), place);
  WriteAll(archive, block.data(), static_cast<int32_t>(block.size()), place);
  WriteAll(archive, trailer.data(), static_cast<int32_t>(trailer.size()), place);
  return archive.At() - first;
}

}  // namespace

ByteSource ByteSource::File(std::string path) {
  ByteSource source;
  source.is_file_ = true;
  source.path_ = std::move(path);
  return source;
}

ByteSource ByteSource::Memory(std::vector<uint8_t> bytes) {
  ByteSource source;
  source.bytes_ = std::move(bytes);
  return source;
}

ArchiveItem ArchiveItem::Folder(const std::string& folder_path) {
  ArchiveItem item;
  item.FileName = folder_path;
  item.StoredPath = FolderEntryMark + folder_path;
  return item;
}

void CheckArchiveItems(const ByteSource& image, const std::vector<ArchiveItem>& items,
                       ArchiveLayout layout) {
  if (items.empty()) throw EArchiveError("An archive needs at least one entry");
  if (items.size() > static_cast<size_t>(DirectorySlots)) {
    throw EArchiveError("Too many entries for an archive: " + std::to_string(items.size()) +
                        " (at most 501)");
  }
  // Only the program image and the headers are certain before packing; the
  // packed sizes are watched while they are written.
  // The unpacker starts entry 0 by its file name, where a space would split
  // the program's name from its arguments.
  if (FileNamePart(items.front().FileName).find(' ') != std::string::npos) {
    throw EArchiveError("Entry 0 is the program the unpacker starts; its name must not hold a "
                        "space: " + items.front().FileName);
  }
  int64_t least_size = SourceSize(image, "program image");
  OutputClaims outputs;
  for (const ArchiveItem& item : items) {
    CheckNameLength(item.FileName);
    CheckNameLength(item.StoredPath);
    const std::string output = CheckedOutputName(item, layout);
    // The message names the later entry: no need to know the earlier.
    if (!output.empty() && outputs.Claim(output, item.IsFolder(), 0)) {
      throw EArchiveError("Two entries extract to the same file: " + output);
    }
    if (item.IsFolder()) continue;
    SourceSize(item.Content, item.FileName);
    least_size += PackedHeaderSize;
    if (least_size >= ArchiveSizeLimit) WouldReachLimit(item);
  }
  least_size += int64_t{DirectoryEntrySize} * static_cast<int64_t>(items.size()) + EntryCountSize +
                IntegrityBlockSize(static_cast<int64_t>(items.size())) + SigningAlignment - 1;
  if (least_size >= ArchiveSizeLimit) WouldReachLimit(items.back());
}

int64_t WriteArchive(TStream& out, const ByteSource& image, const std::vector<ArchiveItem>& items,
                     ArchiveLayout layout, const PackProgress& progress, int jobs) {
  CheckArchiveItems(image, items, layout);
  return WriteCheckedArchive(out, image, items, progress, jobs);
}

int64_t WriteArchiveFile(const std::string& path, const ByteSource& image,
                         const std::vector<ArchiveItem>& items, ArchiveLayout layout,
                         const PackProgress& progress, int jobs) {
  CheckArchiveItems(image, items, layout);
  auto out = std::make_unique<TFileStream>(path, TFileStream::Mode::Create);
  try {
    return WriteCheckedArchive(*out, image, items, progress, jobs);
  } catch (...) {
    out.reset();
    Files().Delete(path);
    throw;
  }
}

}  // namespace stowaway
