// Finding the archive in a file, signed or not: the program header's
// certificate directory, signing's padding, the trailer and the integrity
// block. Whatever the file holds, the reader refuses it with the archive's
// own exception or gives a directory that lies within the file, in front of
// any certificate table that ends it, with one hash per entry or none.
#include <cstdint>
#include <vector>

#include "archive/directory.h"
#include "archive/errors.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stowaway;
  TMemoryStream file(std::vector<uint8_t>(data, data + size));
  try {
    const ArchiveIndex index = ReadArchiveIndex(file, "setup.exe");
    const auto count = static_cast<int64_t>(index.Entries.size());
    fuzz::Require(count >= 1 && count <= DirectorySlots, "a directory of no or too many entries");
    fuzz::Require(index.End <= static_cast<int64_t>(size), "an archive that ends beyond the file");
    fuzz::Require(index.FirstRecord >= 0 && index.FirstRecord + count * DirectoryEntrySize + 4 == index.End,
                  "records that are not where the count says");
    fuzz::Require(index.Hashes.empty() || static_cast<int64_t>(index.Hashes.size()) == count,
                  "hashes that do not match the entries");
  } catch (const EArchiveError&) {
  }
  return 0;
}
