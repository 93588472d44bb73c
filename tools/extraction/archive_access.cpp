#include "tools/extraction/archive_access.h"

#include <algorithm>

#include "archive/directory.h"
#include "archive/entry_stream.h"
#include "archive/errors.h"
#include "archive/integrity.h"
#include "archive/names.h"
#include "compression/LZRW1.h"
#include "compression/bytes.h"
#include "tools/cli/codec_choice.h"
#include "tools/errors.h"
#include "tools/files/files.h"
#include "tools/payload/windows1252.h"
#include "tools/terminal/text.h"

namespace stowaway {
OpenedArchive OpenArchive(const std::string& path) {
  OpenedArchive archive;
  archive.file = OpenInput(path);
  try {
    ArchiveIndex index = ReadArchiveIndex(*archive.file, path);
    archive.directory = std::move(index.Entries);
    archive.hashes = std::move(index.Hashes);
    archive.records_offset = index.FirstRecord;
    archive.data_end = index.FirstRecord -
                       (archive.hashes.empty() ? 0 : IntegrityBlockSize(static_cast<int64_t>(archive.directory.size())));
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

std::vector<std::string> LayoutProblems(const OpenedArchive& archive) {
  const std::vector<ArchiveDirectoryEntry>& directory = archive.directory;
  std::vector<std::string> problems(directory.size());
  const int64_t file_end =
      archive.records_offset + 4 + static_cast<int64_t>(directory.size()) * DirectoryEntrySize;
  std::vector<size_t> order;
  for (size_t i = 0; i < directory.size(); ++i) {
    const ArchiveDirectoryEntry& entry = directory[i];
    // Offsets outside the file show up when the entry is read.
    if (entry.IsFolder() || entry.PackedSize() <= 0 || entry.StartOffset < 0 ||
        entry.EndOffset > file_end) {
      continue;
    }
    if (entry.EndOffset > archive.data_end) {
      problems[i] = "its packed bytes run into the directory records";
    }
    order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return directory[a].StartOffset < directory[b].StartOffset;
  });
  // Each entry against the one reaching furthest among those before it.
  size_t furthest = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t i = order[k];
    if (k > 0 && directory[i].StartOffset < directory[furthest].EndOffset && problems[i].empty()) {
      problems[i] = "its packed bytes overlap " + EntryLabel(furthest, directory[furthest]);
    }
    if (k == 0 || directory[i].EndOffset > directory[furthest].EndOffset) furthest = i;
  }
  return problems;
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
  header.damage = "its packed data cannot be read";
  try {
    TEntryStream packed(archive, entry);
    uint8_t bytes[PackedHeaderSize];
    if (packed.Read(bytes, PackedHeaderSize) != PackedHeaderSize) return header;
    const uint32_t signature = LoadLE32(bytes);
    if (signature != LzhIdentifier && signature != LzrwIdentifier) {
      header.damage = "its packed data begins with no codec's signature";
      return header;
    }
    header.codec = CodecName(signature == LzhIdentifier ? TCompressMode::Good : TCompressMode::Fast);
    header.original_size = static_cast<int32_t>(LoadLE32(bytes + 4));
    if (header.original_size < 0) {
      header.damage = "its packed header gives a negative size";
      return header;
    }
    header.readable = true;
    header.damage.clear();
  } catch (const Exception&) {
  }
  return header;
}

std::string EntryLabel(size_t index, const ArchiveDirectoryEntry& entry) {
  return "entry " + std::to_string(index) + " (" + ShownName(entry.FileName) + ")";
}

std::string NameRefusal(const std::string& path, size_t index, const ArchiveDirectoryEntry& entry,
                        bool stored_paths, const std::string& folder) {
  const std::string start = path + ": " + EntryLabel(index, entry);
  if (stored_paths && entry.StoredPath.empty()) {
    return start + " has no stored path: the installer was packed without --tree; extract it "
                   "without --stored-paths";
  }
  const std::string problem = OutputNameProblem(entry.FileName, entry.StoredPath, stored_paths);
  if (problem.empty()) return {};
  const std::string name = ShownName(stored_paths ? entry.StoredPath : entry.FileName);
  if (problem == LeadsOutside) return start + " has a name that would lead outside " + folder + ": " + name;
  return start + " has a name that Windows does not allow: " + name + "; it " +
         HostNameFromArchive(problem);
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
