#include "tools/archive_access.h"

#include "archive/directory.h"
#include "archive/entry_stream.h"
#include "archive/errors.h"
#include "archive/integrity.h"
#include "compression/LZRW1.h"
#include "compression/bytes.h"
#include "tools/codec_choice.h"
#include "tools/errors.h"
#include "tools/text.h"

namespace stowaway {
OpenedArchive OpenArchive(const std::string& path) {
  OpenedArchive archive;
  try {
    archive.file = std::make_unique<TFileStream>(path, TFileStream::Mode::OpenRead);
  } catch (const EFOpenError&) {
    throw EToolFailure(path + ": cannot be opened; check the name and that it can be read");
  }
  try {
    ArchiveIndex index = ReadArchiveIndex(*archive.file, path);
    archive.directory = std::move(index.Entries);
    archive.hashes = std::move(index.Hashes);
    return archive;
  } catch (const EUnreadableArchive& unreadable) {
    const std::string& reason = unreadable.Reason();
    switch (unreadable.WhatCause()) {
      case EUnreadableArchive::Cause::NoDirectory:
        throw EToolFailure(path + ": not a stowaway installer: " + reason +
                           "; it may be truncated or not made by stowaway pack");
      case EUnreadableArchive::Cause::MalformedCertificateDirectory:
        throw EToolFailure(path + ": not a stowaway installer, or one damaged after signing: its "
                           "certificate directory is malformed: " + reason);
      case EUnreadableArchive::Cause::DamagedDirectory:
        break;
    }
    throw EToolFailure(path + ": the installer is damaged: " + reason + "; download or build it again");
  } catch (const Exception& failure) {
    throw EToolFailure(path + ": cannot be read: " + failure.Message());
  }
}

const Sha256Digest* ExpectedHash(const OpenedArchive& archive, size_t index) {
  return archive.hashes.empty() ? nullptr : &archive.hashes[index];
}

std::string OnlySizesNote(const std::string& path) {
  return path + " carries no content hashes (packed before stowaway wrote them, or by another "
                "tool); only sizes can be checked";
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
  return "entry " + std::to_string(index) + " (" + ShownName(entry.FileName) + ")";
}

int32_t UnpackEntry(TStream& archive, const std::string& path, size_t index,
                    const ArchiveDirectoryEntry& entry, const Sha256Digest* expected, TStream& out,
                    const std::function<void(int32_t)>& progress) {
  const std::string failed = path + ": " + EntryLabel(index, entry) + " cannot be unpacked: ";
  try {
    TEntryStream packed(archive, entry);
    THashingStream hashed(out);
    Tlzrw1 codec;
    codec.UseStream = true;
    codec.InputStream = &packed;
    codec.OutputStream = expected != nullptr ? static_cast<TStream*>(&hashed) : &out;
    HookInUse hook([&] {
      if (progress) progress(codec.BytesRead);
    });
    const int32_t unpacked = codec.Decompress();
    if (expected != nullptr && hashed.Finish() != *expected) {
      throw EToolFailure(failed + "its content does not match its SHA-256 hash; the installer is damaged");
    }
    return unpacked;
  } catch (const EToolFailure&) {
    throw;
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
