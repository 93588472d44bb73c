#include "archive/certificate_table.h"

#include "archive/errors.h"
#include "compression/bytes.h"

namespace stowaway {
namespace {

namespace pe {
inline constexpr int64_t DosHeaderSize = 64;
inline constexpr int64_t SignatureOffsetAt = 0x3C;
inline constexpr int64_t OptionalHeaderAt = 24;  // behind the signature and the file header
inline constexpr int64_t OptionalHeaderSizeAt = 20;
inline constexpr uint16_t Magic32 = 0x10B;
inline constexpr uint16_t Magic64 = 0x20B;
inline constexpr int64_t DirectoryCountAt32 = 92;
inline constexpr int64_t DirectoryCountAt64 = 108;
inline constexpr int64_t DirectoriesAt32 = 96;
inline constexpr int64_t DirectoriesAt64 = 112;
inline constexpr uint32_t CertificateDirectory = 4;
inline constexpr int64_t DirectorySize = 8;
inline constexpr int64_t CertificateHeaderSize = 8;
// A table that chains more certificates than this is not one signing makes.
inline constexpr int MostCertificates = 16;
}  // namespace pe

// Every read lies within the file's size, so a short one is a failure.
void ReadAt(TStream& file, int64_t at, uint8_t* buffer, int32_t count, const std::string& name) {
  if (file.Seek(at, SeekOrigin::Begin) == at && file.Read(buffer, count) == count) return;
  throw EUnreadableArchive(EUnreadableArchive::Cause::NoDirectory, name, "it cannot be read");
}

[[noreturn]] void Malformed(const std::string& name, const std::string& reason) {
  throw EUnreadableArchive(EUnreadableArchive::Cause::MalformedCertificateDirectory, name, reason);
}

std::string Place(const CertificateTable& table) {
  return "its table of " + std::to_string(table.Size) + " bytes at offset " + std::to_string(table.Offset);
}

// The certificate directory of the program in file, or nothing when the
// file is no program or its header has no such directory.
std::optional<CertificateTable> CertificateDirectory(TStream& file, int64_t size, const std::string& name) {
  uint8_t dos[pe::DosHeaderSize];
  if (size < pe::DosHeaderSize) return std::nullopt;
  ReadAt(file, 0, dos, sizeof dos, name);
  if (dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const int64_t header = LoadLE32(dos + pe::SignatureOffsetAt);
  uint8_t start[pe::OptionalHeaderAt + 2];
  if (header + static_cast<int64_t>(sizeof start) > size) return std::nullopt;
  ReadAt(file, header, start, sizeof start, name);
  if (LoadLE32(start) != 0x00004550) return std::nullopt;
  const uint16_t magic = LoadLE16(start + pe::OptionalHeaderAt);
  if (magic != pe::Magic32 && magic != pe::Magic64) return std::nullopt;
  const bool wide = magic == pe::Magic64;
  const int64_t count_at = wide ? pe::DirectoryCountAt64 : pe::DirectoryCountAt32;
  const int64_t entry_at = (wide ? pe::DirectoriesAt64 : pe::DirectoriesAt32) +
                           pe::CertificateDirectory * pe::DirectorySize;
  const int64_t optional_size = LoadLE16(start + pe::OptionalHeaderSizeAt);
  const int64_t optional = header + pe::OptionalHeaderAt;
  uint8_t field[pe::DirectorySize];
  if (optional_size < entry_at + pe::DirectorySize || optional + entry_at + pe::DirectorySize > size) {
    return std::nullopt;
  }
  ReadAt(file, optional + count_at, field, 4, name);
  if (LoadLE32(field) <= pe::CertificateDirectory) return std::nullopt;
  ReadAt(file, optional + entry_at, field, pe::DirectorySize, name);
  CertificateTable table{LoadLE32(field), LoadLE32(field + 4)};
  if (table.Offset == 0 && table.Size == 0) return std::nullopt;
  return table;
}

// Refuses a table that is not what signing writes.
void CheckTable(TStream& file, int64_t size, const CertificateTable& table, const std::string& name) {
  if (table.Size == 0 || table.Offset == 0) Malformed(name, Place(table) + " cannot be a certificate table");
  if (table.End() > size) {
    Malformed(name, Place(table) + " reaches past the end of the file (" + std::to_string(size) + " bytes)");
  }
  if (table.Offset % SigningAlignment != 0) Malformed(name, Place(table) + " is not aligned to 8 bytes");
  int64_t at = table.Offset;
  for (int certificates = 0; at < table.End(); ++certificates) {
    uint8_t header[pe::CertificateHeaderSize] = {};
    if (at + pe::CertificateHeaderSize <= table.End()) ReadAt(file, at, header, sizeof header, name);
    const int64_t length = LoadLE32(header);
    const uint16_t revision = LoadLE16(header + 4);
    const uint16_t type = LoadLE16(header + 6);
    if (certificates == pe::MostCertificates || length < pe::CertificateHeaderSize ||
        at + length > table.End() || (revision != 0x0100 && revision != 0x0200) || type < 1 || type > 4) {
      Malformed(name, Place(table) + " holds no certificates at offset " + std::to_string(at) +
                          " (it may overlap the archive)");
    }
    at += (length + SigningAlignment - 1) / SigningAlignment * SigningAlignment;
  }
}

}  // namespace

ArchiveBounds FindArchiveBounds(TStream& file, int64_t size, const std::string& name) {
  ArchiveBounds bounds;
  uint8_t mark[2] = {};
  if (size >= 2) ReadAt(file, 0, mark, 2, name);
  bounds.IsProgram = mark[0] == 'M' && mark[1] == 'Z';
  bounds.Table = CertificateDirectory(file, size, name);
  if (!bounds.Table || bounds.Table->End() != size) {
    // A table that does not end the file belongs to the program image
    // itself; the archive was put behind it.
    if (bounds.Table) CheckTable(file, size, *bounds.Table, name);
    bounds.Ends.push_back(size);
    return bounds;
  }
  CheckTable(file, size, *bounds.Table, name);
  const int64_t end = bounds.Table->Offset;
  bounds.Ends.push_back(end);
  uint8_t padding[SigningAlignment - 1];
  const int64_t reach = end < SigningAlignment - 1 ? end : SigningAlignment - 1;
  ReadAt(file, end - reach, padding, static_cast<int32_t>(reach), name);
  for (int64_t zeros = 1; zeros <= reach && padding[reach - zeros] == 0; ++zeros) {
    bounds.Ends.push_back(end - zeros);
  }
  return bounds;
}

}  // namespace stowaway
