#include "archive/writer.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "archive/directory.h"
#include "archive/errors.h"
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

// Windows sees "A\b.txt", "a/B.TXT" and "a\b.txt" as one file.
std::string FileIdentity(std::string name) {
  for (char& c : name) {
    c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return name;
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

// out: the archive, or a stream of the item's own while others are packed.
void PackItem(Tlzrw1& codec, TStream& out, const ArchiveItem& item) {
  const std::unique_ptr<TStream> in = OpenSource(item.Content);
  codec.UseStream = true;
  codec.CompressMode = item.CompressMode;
  codec.InputStream = in.get();
  codec.OutputStream = &out;
  try {
    codec.Compress();
  } catch (const Exception& failure) {
    throw EArchiveError("Cannot pack " + item.FileName + ": " + failure.Message());
  }
}

void PackItem(Tlzrw1& codec, LimitedOutput& out, const ArchiveItem& item,
              const std::function<void()>& hook) {
  HookInUse progress(hook);
  try {
    PackItem(codec, static_cast<TStream&>(out), item);
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
  std::unique_ptr<PackingPipeline> pipeline;
  if (jobs > 1) {
    pipeline = std::make_unique<PackingPipeline>(
        items, jobs,
        [](Tlzrw1& codec, const ArchiveItem& item, TStream& packed) { PackItem(codec, packed, item); });
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
      PackItem(codec, archive, item, hook);
    }
    entry.EndOffset = static_cast<int32_t>(archive.At());
    EncodeDirectoryEntry(entry, trailer.data() + i * DirectoryEntrySize);
  }
  StoreLE32(trailer.data() + items.size() * DirectoryEntrySize,
            static_cast<uint32_t>(items.size()));
  WriteAll(archive, trailer.data(), static_cast<int32_t>(trailer.size()), "entry " + items.back().FileName);
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
  int64_t least_size = SourceSize(image, "program image");
  std::set<std::string> outputs;
  for (const ArchiveItem& item : items) {
    CheckNameLength(item.FileName);
    CheckNameLength(item.StoredPath);
    const std::string output = CheckedOutputName(item, layout);
    if (item.IsFolder()) continue;
    if (!outputs.insert(FileIdentity(output)).second) {
      throw EArchiveError("Two entries extract to the same file: " + output);
    }
    SourceSize(item.Content, item.FileName);
    least_size += PackedHeaderSize;
    if (least_size >= ArchiveSizeLimit) WouldReachLimit(item);
  }
  least_size += int64_t{DirectoryEntrySize} * static_cast<int64_t>(items.size()) + EntryCountSize;
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
