#include "tools/archive_access.h"

#include "archive/entry_stream.h"
#include "archive/errors.h"
#include "compression/LZRW1.h"
#include "compression/bytes.h"
#include "tools/codec_choice.h"
#include "tools/errors.h"
#include "tools/files.h"
#include "tools/windows1252.h"

namespace stowaway {
OpenedArchive OpenArchive(const std::string& path) {
  OpenedArchive archive;
  archive.file = OpenInput(path);
  try {
    archive.directory = ReadDirectory(*archive.file, path);
    return archive;
  } catch (const Exception&) {
    throw EToolFailure(path +
                       ": not an installer (no archive directory at its end); it may be "
                       "truncated or not made by stowaway pack");
  }
}

EntryHeader ReadEntryHeader(TStream& archive, const ArchiveDirectoryEntry& entry) {
  EntryHeader header;
  try {
    TEntryStream packed(archive, entry);
    uint8_t bytes[PackedHeaderSize];
    if (packed.Read(bytes, PackedHeaderSize) != PackedHeaderSize) return header;
    const uint32_t signature = LoadLE32(bytes);
    header.codec = signature == LzhIdentifier    ? CodecName(TCompressMode::Good)
                   : signature == LzrwIdentifier ? CodecName(TCompressMode::Fast)
                                                 : "unknown";
    header.original_size = static_cast<int32_t>(LoadLE32(bytes + 4));
    header.readable = true;
  } catch (const Exception&) {
  }
  return header;
}

std::string EntryLabel(size_t index, const ArchiveDirectoryEntry& entry) {
  return "entry " + std::to_string(index) + " (" + HostNameFromArchive(entry.FileName) + ")";
}

int32_t UnpackEntry(TStream& archive, const std::string& path, size_t index,
                    const ArchiveDirectoryEntry& entry, TStream& out,
                    const std::function<void(int32_t)>& progress) {
  const std::string failed = path + ": " + EntryLabel(index, entry) + " cannot be unpacked: ";
  try {
    TEntryStream packed(archive, entry);
    Tlzrw1 codec;
    codec.UseStream = true;
    codec.InputStream = &packed;
    codec.OutputStream = &out;
    HookInUse hook([&] {
      if (progress) progress(codec.BytesRead);
    });
    return codec.Decompress();
  } catch (const EArchiveError&) {
    throw EToolFailure(failed + "its packed bytes lie outside the file");
  } catch (const Exception& failure) {
    throw EToolFailure(failed + failure.Message());
  }
}

int32_t TDiscardStream::Write(const void*, int32_t count) {
  if (count <= 0) return 0;
  position_ += count;
  size_ = std::max(size_, position_);
  return count;
}

int64_t TDiscardStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t base = origin == SeekOrigin::Begin     ? 0
                       : origin == SeekOrigin::Current ? position_
                                                       : size_;
  if (base + offset < 0) return -1;
  position_ = base + offset;
  return position_;
}

}  // namespace stowaway
