// Where the archive of a signed installer ends. Signing a Windows program
// appends a certificate table to its file (after zero padding to a multiple
// of 8 bytes) and points the certificate directory of the program's header
// at it; the archive's trailer then lies in front of that table instead of
// at the end of the file. Files without a program header or without a
// certificate table keep their archive at the very end.
//
// The header fields read (all little-endian):
//   0x3C in the file         offset of the "PE\0\0" signature
//   signature + 24           the optional header: magic 0x10B (32-bit) or
//                            0x20B (64-bit), the number of data directories
//                            at +92 / +108 and the directories at +96 / +112
//   directory 4              the certificate table: its file offset, its size
// The table is a run of certificates, each starting on an 8-byte boundary:
// a 32-bit length (header included), a 16-bit revision (0x0100 or 0x0200)
// and a 16-bit type (1 to 4), then the certificate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace stowaway {

struct CertificateTable {
  int64_t Offset = 0;
  int64_t Size = 0;
  int64_t End() const { return Offset + Size; }
};

// Signing pads the file with up to this many zero bytes before the table.
inline constexpr int SigningAlignment = 8;

struct ArchiveBounds {
  // The table the program's header points to, if it has one.
  std::optional<CertificateTable> Table;
  // Where the archive may end, most likely first: the file's end, or, when
  // the table ends the file, the table's offset and then each position that
  // the padding in front of it may have been added from.
  std::vector<int64_t> Ends;
  // Whether the file begins with a program header.
  bool IsProgram = false;
};

// The bounds of the archive in file, whose size is size. Raises
// EUnreadableArchive (archive/errors.h) when the program's header points to a
// certificate table that is malformed: empty, at offset 0, past the end of
// the file, not aligned to 8 bytes, or not made of certificates (which is
// what a directory pointing into the archive looks like).
ArchiveBounds FindArchiveBounds(TStream& file, int64_t size, const std::string& name);

}  // namespace stowaway
